#include "upgrade.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "parameter_backup.h"
#include "run_and_wait.h"
#include "scrambler.h"

namespace ndx {
namespace {

const char* const kDatName = "prm_NDX470.dat";
// In the order the upgrade uses them; the Tool/ programs are the ones the
// Kernel scripts call.
const char* const kStepFiles[] = {"Tool/hostlink", "Kernel/program_flash.sh", "Tool/tabgen", "Tool/imgbuild",
                                  "Kernel/version.sh"};
const char* const kInfName = "prm_NDX470.inf";
const std::size_t kVersionTextMax = 43;

bool isFile(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

void removeIfExists(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

bool readWhole(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    if (!isFile(path)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A short write (full disk) counts as a failed create: a half-written
// parameter file must never reach the programming step.
bool writeWhole(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

}  // namespace

const char* const plainParameterFileName = kInfName;
const char* const scrambledParameterFileName = kDatName;

bool preparePlainParameterFile(const std::string& base, MessageBoxes& boxes, const std::string& plainPath)
{
    const std::string dat = base + "/Tool/" + kDatName;
    const std::string inf = base + "/Tool/" + kInfName;
    std::vector<std::uint8_t> bytes;

    if (!exists(dat)) {
        boxes.show("Information", "Can't find " + dat + "\nTry to create it.", BoxIcon::Information);
        if (!exists(inf)) {
            boxes.show("Error", "Can't find " + inf, BoxIcon::Error);
            return false;
        }
        if (!readWhole(inf, bytes)) {
            boxes.show("Error", "Can't open " + inf, BoxIcon::Error);
            return false;
        }
        if (!writeWhole(dat, scramble(bytes))) {
            boxes.show("Error", "Can't create " + dat, BoxIcon::Error);
            return false;
        }
    }
    if (!readWhole(dat, bytes)) {
        boxes.show("Error", "Can't open " + dat, BoxIcon::Error);
        return false;
    }
    if (!writeWhole(plainPath, unscramble(bytes))) {
        boxes.show("Error", "Can't create " + plainPath, BoxIcon::Error);
        return false;
    }
    return true;
}

namespace {

struct ProgramFlashFailure {
    const char* line;   // logged before "Err: upgrade fail.", nullptr for none
    const char* stage;  // the stage a batch report names
};

ProgramFlashFailure programFlashFailure(int code)
{
    switch (code) {
    case -1: return {"Err: can't run program_flash.bat", "program_flash.sh"};
    case -101: return {"Err: invalid input of program_flash.bat.", "program_flash.sh input"};
    case -102: return {"Err: failed to process parameters of tabgen.exe", "parameter compiler"};
    case -103: return {"Err: prm.inf not found.", "parameter file"};
    case -104: return {"Err: image generation failed.", "image generation"};
    case -105: return {"Err: flash programming failed.", "flash programming"};
    default: return {nullptr, "program_flash.sh"};
    }
}

std::string hostlinkArguments(const std::string& macText, const std::string& ip, const char* script)
{
    return "-M " + macText + " -a " + ip + " -s " + script;
}

std::string firstWord(const std::string& path)
{
    std::ifstream in(path);
    std::string word;
    in >> word;
    return word;
}

}  // namespace

std::string toolPath(const Session& session, const std::string& name)
{
    return session.base + "/Tool/" + name;
}

std::string kernelDir(const Session& session)
{
    return session.base + "/Kernel";
}

bool canEnterDirectory(const std::string& dir)
{
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) && ::access(dir.c_str(), X_OK) == 0;
}

bool connectStep(Session& session, const std::string& macText, LogMemo* memo)
{
    enterStage(session, "connect");
    logLine(memo, "Connect to target " + macText + ":");
    int code = runAndWait(session, toolPath(session, "hostlink"),
                          hostlinkArguments(macText, session.interfaceIp, "Tool/connect.txt"), session.base);
    if (code < 0) {
        logLine(memo, "Err: Can't connect to target " + macText);
        showFailureHint(session);
        return false;
    }
    logLine(memo, "Ok.");
    return true;
}

bool versionQuery(Session& session, const std::string& macText, LogMemo* memo)
{
    const char* const failed = "Err: Can't get target's version.";
    enterStage(session, "version query");
    logLine(memo, "get target's version :");
    session.versionText.clear();

    const std::string kernel = kernelDir(session);
    const std::string verinfo = kernel + "/verinfo.txt";
    removeIfExists(verinfo);
    if (!canEnterDirectory(kernel)) {
        logLine(memo, "Err: Can't change dir to " + kernel);
        return false;
    }
    if (runAndWait(session, "version.sh", " " + session.interfaceIp + " " + macText, kernel) < 0) {
        logLine(memo, failed);
        showFailureHint(session);
        return false;
    }
    std::string version = firstWord(verinfo);
    if (version.size() > kVersionTextMax) version.resize(kVersionTextMax);
    if (version.empty() || version.find("ERROR") != std::string::npos) {
        logLine(memo, failed);
        return false;
    }
    version = shownVersion(version);
    session.versionText = version;
    session.facts.versionRead = version;
    logLine(memo, version);
    logLine(memo, "Ok.");
    return true;
}

bool upgradeProcedure(Session& session, const MacAddress& target, LogMemo& diagMemo, LogMemo* versionMemo)
{
    const std::string mac = macText(target);
    enterStage(session, "kit files");
    diagMemo.addLine("-----------------------------------------------");
    diagMemo.addLine("Start to upgrade " + mac);
    diagMemo.addLine("Check the necessary files:");

    const std::string kernel = kernelDir(session);
    if (!isFile(toolPath(session, kInfName))) {
        diagMemo.addLine("Err: Can't find prm file.");
        return false;
    }
    if (!isFile(toolPath(session, "connect.txt"))) {
        diagMemo.addLine("Err: Can't find Tool\\connect.txt file.");
        return false;
    }
    if (!isFile(toolPath(session, "reset.txt"))) {
        diagMemo.addLine("Err: Can't find Tool\\reset.txt file.");
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(kernel, ec)) {
        diagMemo.addLine("Err: Can't find Kernel directory.");
        return false;
    }
    // What the steps and the Kernel scripts run, checked before anything is
    // sent: a kit without version.sh would otherwise flash and reset the
    // device and only then fail.
    std::vector<const char*> stepFiles(std::begin(kStepFiles), std::end(kStepFiles));
    if (session.backupFirst) stepFiles.insert(stepFiles.begin() + 1, backupScriptPath);
    for (const char* file : stepFiles) {
        if (!isFile(session.base + "/" + file)) {
            diagMemo.addLine(std::string("Err: Can't find ") + file + " file.");
            return false;
        }
    }
    diagMemo.addLine("Ok.");

    if (!connectStep(session, mac, &diagMemo)) return false;
    if (session.backupFirst && !backupStep(session, mac, diagMemo)) return false;

    enterStage(session, "program_flash.sh");
    diagMemo.addLine("start to upgrade :");
    if (!canEnterDirectory(kernel)) {
        diagMemo.addLine("Err: Can't change dir to " + kernel);
        return false;
    }
    const std::string flashArgs =
        " " + session.interfaceIp + " " + mac + " phone1 ../Tool/" + kInfName + " " + mac;
    int code = runAndWait(session, kernel + "/program_flash.sh", flashArgs, kernel);
    // Only a failed programming has had the image on its way to the flash.
    session.facts.imageFlashed = code >= 0 || code == -105;
    if (code < 0) {
        const ProgramFlashFailure failure = programFlashFailure(code);
        if (failure.line) diagMemo.addLine(failure.line);
        enterStage(session, failure.stage);
        diagMemo.addLine("Err: upgrade fail.");
        showFailureHint(session);
        return false;
    }

    diagMemo.addLine("Ok.");
    enterStage(session, "reset");
    diagMemo.addLine("Reset target :");
    code = runAndWait(session, toolPath(session, "hostlink"),
                      hostlinkArguments(mac, session.interfaceIp, "Tool/reset.txt"), session.base);
    if (code < 0) {
        diagMemo.addLine("Err: Can't reset target");
        showFailureHint(session);
        return false;
    }
    diagMemo.addLine("Ok.");
    return versionQuery(session, mac, versionMemo);
}

ClickOutcome downloadClick(Session& session, const MacAddress& target, LogMemo& diagMemo, LogMemo* versionMemo)
{
    const std::string inf = toolPath(session, kInfName);
    if (!preparePlainParameterFile(session.base, session.boxes, inf)) return ClickOutcome::Stopped;
    bool ok = upgradeProcedure(session, target, diagMemo, versionMemo);
    removeIfExists(inf);
    return showUpgradeOutcome(session, ok);
}

ClickOutcome showUpgradeOutcome(Session& session, bool ok)
{
    conclude(session, ok);
    if (ok) {
        session.boxes.show("Success", "Upgrade complete. Current Version is " + session.versionText, BoxIcon::None);
        return ClickOutcome::Success;
    }
    session.boxes.show("Fail", "Upgrade Fail", BoxIcon::Error);
    return ClickOutcome::Failed;
}

bool versionClick(Session& session, const MacAddress& target, LogMemo* versionMemo)
{
    const bool ok = versionQuery(session, macText(target), versionMemo);
    conclude(session, ok);
    if (ok) {
        session.boxes.show("Success", "Current Version is " + session.versionText, BoxIcon::None);
        return true;
    }
    session.boxes.show("Error", "Can't get target's version", BoxIcon::Error);
    return false;
}

}  // namespace ndx
