#pragma once
// What one operation of the front end works with: the installation tree, the
// interface chosen for it, and the seams to the outside world.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "seams.h"

namespace ndx {

// What an operation learnt on its way, for its record in the history.
struct OperationFacts {
    std::string versionBefore;  // read with the backup, before anything was written
    std::string versionRead;    // read by a version query that succeeded
    // The device's parameter image as read before the flash was touched;
    // empty when no backup was taken.
    std::vector<std::uint8_t> backup;
    std::chrono::system_clock::time_point backupTakenAt{};
    bool backupFailed = false;
    // program_flash.sh went as far as programming Kernel/image.dat.
    bool imageFlashed = false;
    // The values snr.tmp supplied.
    std::optional<float> snr, per;
    std::optional<int> pe;
};

struct Session {
    std::string base;         // the installation tree: the current directory at start-up
    std::string interfaceIp;  // set by the inputs check of the operation in progress
    std::string versionText;  // left by the last version query
    ProcessRunner& runner;
    MessageBoxes& boxes;
    ChildOutput* childOutput = nullptr;  // none: the children's output is dropped
    // Where a child's reason for a failed step is shown beside the step's
    // failure line (the window's log, standard error when headless).
    LogMemo* failureHints = nullptr;
    // Why the last child could not do its work, when that is known: the
    // loader's capture diagnosis in its output, or why it could not be started.
    std::string captureDiagnosis = {};
    // The step of the procedure in progress (after a failure: the step that
    // failed), named for a batch's report ("connect", "flash programming" …).
    std::string stage = {};
    // Told each new stage; none: nobody listens.
    std::function<void(const std::string& stage)> stageChanged = {};
    // Told once when a click has its outcome, just before its final message
    // box (a successful diagnosis has none), so that the window shows the
    // outcome and what to do next while the box is up; none: nobody listens.
    std::function<void(bool ok)> concluded = {};
    // The upgrade reads the device's parameters back before anything is
    // written (--no-backup: it does not).
    bool backupFirst = true;
    OperationFacts facts = {};
};

// Appends a line when a memo is given; some operations run without one.
inline void logLine(LogMemo* memo, const std::string& line)
{
    if (memo) memo->addLine(line);
}

inline void enterStage(Session& session, const std::string& stage)
{
    session.stage = stage;
    if (session.stageChanged) session.stageChanged(stage);
}

// A click's outcome is known: tell whoever listens, before the final box.
inline void conclude(Session& session, bool ok)
{
    if (session.concluded) session.concluded(ok);
}

// After a step's failure line: the reason the loader gave, when it gave one.
inline void showFailureHint(Session& session)
{
    if (!session.captureDiagnosis.empty()) logLine(session.failureHints, session.captureDiagnosis);
    session.captureDiagnosis.clear();
}

}  // namespace ndx
