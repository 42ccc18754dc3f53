#pragma once
// Stand-ins for the seams and a throw-away installation tree.

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <unistd.h>
#include <string>
#include <vector>

#include "core/scrambler.h"
#include "core/seams.h"

namespace ndx::test {

struct ShownBox {
    std::string caption, text;
    BoxIcon icon;
};

class RecordingBoxes : public MessageBoxes {
public:
    void show(const std::string& caption, const std::string& text, BoxIcon icon) override
    {
        shown.push_back({caption, text, icon});
        if (onShow) onShow(shown.back());
    }
    bool ask(const std::string& caption, const std::string& text) override
    {
        shown.push_back({caption, text, BoxIcon::None});
        return onAsk ? onAsk() : false;
    }
    std::vector<ShownBox> shown;
    std::function<bool()> onAsk;                   // the answer; none: No
    std::function<void(const ShownBox&)> onShow;  // while the box is up
};

class RecordingMemo : public LogMemo {
public:
    void addLine(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

class FakeInterfaces : public InterfaceSource {
public:
    bool listDevices(std::vector<CaptureDevice>& d) override
    {
        d = devices;
        return devicesOk;
    }
    bool listAdapters(std::vector<Adapter>& a) override
    {
        a = adapters;
        return adaptersOk;
    }
    std::vector<CaptureDevice> devices = {{"hl0", "veth hl0", "192.0.2.2"}};
    std::vector<Adapter> adapters = {{"hl0", "192.0.2.2", false}};
    bool devicesOk = true, adaptersOk = true;
};

struct Call {
    std::vector<std::string> argv;
    std::string workDir;
};

// Names each child by what it is for: "connect", "reset", "find", or the script name.
inline std::string stepName(const std::vector<std::string>& argv)
{
    if (argv.size() > 1 && argv[0] == "/bin/sh") return std::filesystem::path(argv[1]).filename().string();
    for (const std::string& a : argv) {
        if (a == "Tool/connect.txt") return "connect";
        if (a == "../Tool/backup.txt") return "backup";
        if (a == "Tool/reset.txt") return "reset";
        if (a == "Tool/find.txt" || a.rfind("Tool/find-window.", 0) == 0) return "find";
    }
    return "?";
}

class ScriptedRunner : public ProcessRunner {
public:
    int run(const std::vector<std::string>& argv, const std::string& workDir, const OutputLine& output) override
    {
        calls.push_back({argv, workDir});
        const std::string step = stepName(argv);
        if (auto it = printed.find(step); it != printed.end())
            for (const std::string& line : it->second) output(line);
        if (auto it = effects.find(step); it != effects.end()) {
            it->second(workDir);
        } else if (step == "backup") {
            // As the loader with Tool/backup.txt: the 428-byte image in Kernel/.
            std::ofstream(std::filesystem::path(workDir) / "backup.bin", std::ios::binary)
                << std::string(428, '\x5a');
        }
        // Stopped while it ran: as the real runner, -1.
        if (stopped) return -1;
        auto it = codes.find(step);
        return it == codes.end() ? 0 : it->second;
    }
    // As the real runner: no child starts any more (this one never refuses
    // to start, so that a test sees what the procedure would try).
    std::string shutDown() override
    {
        stopped = true;
        return {};
    }
    bool stopped = false;
    std::vector<std::string> steps() const
    {
        std::vector<std::string> s;
        for (const Call& c : calls) s.push_back(stepName(c.argv));
        return s;
    }
    std::map<std::string, int> codes;
    std::map<std::string, std::vector<std::string>> printed;  // the lines each step prints
    std::map<std::string, std::function<void(const std::string& workDir)>> effects;
    std::vector<Call> calls;
};

inline void writeFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A complete installation tree in a fresh temporary directory.
class TempBase {
public:
    TempBase()
    {
        static int counter = 0;
        root = std::filesystem::temp_directory_path() /
               ("ndxupgrade-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "Tool");
        std::filesystem::create_directories(root / "Kernel");
        const std::string plain = "MAC_ADDR=00:01:40:00:00:01\n";
        std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
        std::vector<std::uint8_t> dat = scramble(bytes);
        writeFile(root / "Tool/prm_NDX470.dat", std::string(dat.begin(), dat.end()));
        writeFile(root / "Tool/connect.txt", "W 8000 1\n");
        writeFile(root / "Tool/backup.txt", "READ_BLOCK_F,8000,backup.bin,428\n");
        writeFile(root / "Tool/reset.txt", "W 8000 2\n");
        writeFile(root / "Tool/find.txt", "FIND_DEVICES,500\n");
        for (const char* program : {"hostlink", "tabgen", "imgbuild"}) {
            writeFile(root / "Tool" / program, "");
            std::filesystem::permissions(root / "Tool" / program, std::filesystem::perms::owner_exec,
                                         std::filesystem::perm_options::add);
        }
        for (const char* script : {"program_flash.sh", "version.sh", "per_test.sh"})
            writeFile(root / "Kernel" / script, "exit 0\n");
    }
    ~TempBase() { std::filesystem::remove_all(root); }
    std::string path() const { return root.string(); }
    std::filesystem::path root;
};

}  // namespace ndx::test
