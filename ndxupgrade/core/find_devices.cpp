#include "find_devices.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "run_and_wait.h"
#include "upgrade.h"

namespace ndx {
namespace {

const char* const kFindScript = "Tool/find.txt";
// Beside the kit's scripts, so that the loader finds it from the base
// directory by a path without blanks.
const char* const kWindowScriptPattern = "Tool/find-window.XXXXXX";
// The loader starts only with a device address; the search answers to none
// in particular, so the loader's own default stands here.
const char* const kAnyDeviceMac = "0A-3F-71-00-00-01";

// A script of one FIND_DEVICES line, removed when the search is over.
class WindowScript {
public:
    WindowScript(const std::string& base, int windowMs) : relative_(kWindowScriptPattern)
    {
        std::string path = base + "/" + relative_;
        const int fd = ::mkstemp(path.data());
        if (fd < 0) return;
        path_ = path;
        relative_ = path.substr(base.size() + 1);
        const std::string line = "FIND_DEVICES," + std::to_string(windowMs) + "\n";
        const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        if (::close(fd) != 0 || !written) remove();
    }
    ~WindowScript() { remove(); }
    WindowScript(const WindowScript&) = delete;
    WindowScript& operator=(const WindowScript&) = delete;

    bool ready() const { return !path_.empty(); }
    const std::string& relativePath() const { return relative_; }

private:
    void remove()
    {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::remove(path_, ec);
        path_.clear();
    }

    std::string relative_;
    std::string path_;
};

// "device 0a:3f:71:00:00:11", the loader's line for one device.
bool readDeviceLine(const std::string& line, MacAddress& mac)
{
    unsigned octets[6];
    int used = 0;
    if (std::sscanf(line.c_str(), "device %2x:%2x:%2x:%2x:%2x:%2x%n", &octets[0], &octets[1], &octets[2],
                    &octets[3], &octets[4], &octets[5], &used) != 6 ||
        static_cast<std::size_t>(used) != line.size() || line.size() != 24)
        return false;
    for (std::size_t i = 0; i < mac.size(); ++i) mac[i] = static_cast<std::uint8_t>(octets[i]);
    return true;
}

// "found 3 device(s)", the loader's closing line.
bool readFoundLine(const std::string& line, int& count)
{
    int used = 0;
    return std::sscanf(line.c_str(), "found %d device(s)%n", &count, &used) == 1 &&
           static_cast<std::size_t>(used) == line.size() && count >= 0;
}

// "Found 1 device." / "Found 3 devices."
std::string foundCountText(std::size_t count)
{
    return "Found " + std::to_string(count) + (count == 1 ? " device." : " devices.");
}

}  // namespace

FoundDevices findDevices(Session& session, int windowMs, LogMemo* memo)
{
    FoundDevices found;
    enterStage(session, "kit files");
    logLine(memo, "Find the devices on the wire:");
    std::string script = kFindScript;
    std::error_code ec;
    if (windowMs == 0 && !std::filesystem::is_regular_file(toolPath(session, "find.txt"), ec)) {
        logLine(memo, "Err: Can't find Tool/find.txt file.");
        return found;
    }
    std::optional<WindowScript> own;
    if (windowMs != 0) {
        own.emplace(session.base, windowMs);
        if (!own->ready()) {
            logLine(memo, "Err: Can't create " + session.base + "/" + kWindowScriptPattern);
            return found;
        }
        script = own->relativePath();
    }

    enterStage(session, "find devices");
    // The device lines come first, then one count that must match them; a
    // list of any other shape is not believed.
    int count = -1;
    bool malformed = false;
    const auto read = [&](const std::string& line) {
        MacAddress mac{};
        int n = 0;
        if (readDeviceLine(line, mac)) {
            if (count >= 0) malformed = true;
            found.devices.push_back(mac);
        } else if (readFoundLine(line, n)) {
            if (count >= 0) malformed = true;
            count = n;
        }
    };
    const int code = runAndWait(session, toolPath(session, "hostlink"), std::string("-M ") + kAnyDeviceMac + " -a " + session.interfaceIp + " -s " + script,
                                session.base, read);

    const bool listed = !malformed && count == static_cast<int>(found.devices.size());
    if (listed && count == 0) {
        found.outcome = FindOutcome::NoneFound;
        logLine(memo, "Err: no device answered.");
        return found;
    }
    if (!listed || code < 0) {
        found.devices.clear();
        logLine(memo, "Err: Can't find the devices.");
        showFailureHint(session);
        return found;
    }
    found.outcome = FindOutcome::Found;
    logLine(memo, foundCountText(found.devices.size()));
    return found;
}

}  // namespace ndx
