#include "parameter_backup.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "run_and_wait.h"
#include "upgrade.h"

namespace ndx {

const char* const backupScriptPath = "Tool/backup.txt";
const char* const backupFileName = "backup.bin";

namespace {

// The loader's GET_VERSION line: three decimal numbers with points.
bool isVersionLine(const std::string& line)
{
    int numbers = 0, points = 0;
    bool inNumber = false;
    for (char c : line) {
        if (c >= '0' && c <= '9') {
            if (!inNumber) ++numbers;
            inNumber = true;
        } else if (c == '.' && inNumber) {
            ++points;
            inNumber = false;
        } else {
            return false;
        }
    }
    return numbers == 3 && points == 2 && inNumber;
}

// Passes the loader's lines on and keeps the version it printed.
class VersionListener : public ChildOutput {
public:
    explicit VersionListener(ChildOutput* inner) : inner_(inner) {}
    void childStarted(const std::string& child) override
    {
        if (inner_) inner_->childStarted(child);
    }
    void childLine(const std::string& child, const std::string& line) override
    {
        std::string trimmed = line;
        while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == ' ')) trimmed.pop_back();
        if (isVersionLine(trimmed)) version = trimmed;
        if (inner_) inner_->childLine(child, line);
    }
    void childEnded(const std::string& child, int code) override
    {
        if (inner_) inner_->childEnded(child, code);
    }
    std::string version;

private:
    ChildOutput* inner_;
};

// Exactly the image's size: a short file is a read that broke off.
bool readImage(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && bytes.size() == kParameterImageSize;
}

}  // namespace

std::string shownVersion(const std::string& version)
{
    return version == "0.0.1" ? "1.2d or earlier" : version;
}

bool backupStep(Session& session, const std::string& macText, LogMemo& memo)
{
    enterStage(session, "parameter backup");
    memo.addLine("Back up target :");
    const std::string kernel = kernelDir(session);
    const std::string file = kernel + "/" + backupFileName;
    // An image left by an earlier backup must never pass for this device's.
    std::error_code ec;
    std::filesystem::remove(file, ec);

    VersionListener listener(session.childOutput);
    ChildOutput* const previous = session.childOutput;
    session.childOutput = &listener;
    // Run in Kernel/, so that the image lands beside the other results and,
    // in a batch, in the device's own folder.
    const int code = runAndWait(session, toolPath(session, "hostlink"),
                                "-M " + macText + " -a " + session.interfaceIp + " -s ../" + backupScriptPath,
                                kernel);
    session.childOutput = previous;

    std::vector<std::uint8_t> image;
    if (code < 0 || !readImage(file, image)) {
        session.facts.backupFailed = true;
        memo.addLine("Err: Can't back up the device's parameters; nothing was written.");
        showFailureHint(session);
        return false;
    }
    session.facts.backup = std::move(image);
    session.facts.backupTakenAt = std::chrono::system_clock::now();
    session.facts.versionBefore = shownVersion(listener.version);
    memo.addLine("Ok.");
    return true;
}

}  // namespace ndx
