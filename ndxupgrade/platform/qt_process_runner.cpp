#include "qt_process_runner.h"

#include <signal.h>
#include <unistd.h>

#include <QByteArray>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>

#include <cstdint>

#include "../core/run_and_wait.h"
#include "stop_signals.h"

namespace ndx {
namespace {

// Splits what arrived on one stream into lines; a part line waits for its end.
void takeLines(QByteArray& pending, const QByteArray& arrived, const OutputLine& output)
{
    pending += arrived;
    qsizetype end;
    while ((end = pending.indexOf('\n')) >= 0) {
        QByteArray line = pending.left(end);
        pending.remove(0, end + 1);
        if (line.endsWith('\r')) line.chop(1);
        output(line.toStdString());
    }
}

}  // namespace

int signedExitStatus(int status)
{
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(status & 0xFF));
}

int QtProcessRunner::run(const std::vector<std::string>& argv, const std::string& workDir, const OutputLine& output)
{
    // After a stop signal nothing new starts, even between two steps.
    if (argv.empty() || shutDown_ || StopSignals::caught()) return -1;
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i) arguments << QString::fromStdString(argv[i]);

    QProcess process;
    process.setProgram(QString::fromStdString(argv[0]));
    process.setArguments(arguments);
    process.setWorkingDirectory(QString::fromStdString(workDir));
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // No console to type into, so input ends at once.
    process.setStandardInputFile(QProcess::nullDevice());
    if (groups_ == ChildGroups::OwnEach) process.setChildProcessModifier([] { ::setpgid(0, 0); });

    QByteArray pendingOut, pendingErr;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
        takeLines(pendingOut, process.readAllStandardOutput(), output);
    });
    QObject::connect(&process, &QProcess::readyReadStandardError, [&] {
        takeLines(pendingErr, process.readAllStandardError(), output);
    });
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) loop.quit();
    });
    process.start();
    if (process.state() != QProcess::NotRunning || process.error() != QProcess::FailedToStart) {
        current_ = &process;
        currentName_ = childName(argv);
        loop.exec();
        current_ = nullptr;
    }

    if (process.state() != QProcess::NotRunning) {
        // The application is quitting under us: do not leave the child behind.
        ::kill(target(static_cast<pid_t>(process.processId())), SIGKILL);
        process.waitForFinished(1000);
        return -1;
    }
    // The rest, and a last line without its line end.
    for (auto [pending, arrived] : {std::pair{&pendingOut, process.readAllStandardOutput()},
                                    std::pair{&pendingErr, process.readAllStandardError()}}) {
        takeLines(*pending, arrived, output);
        if (!pending->isEmpty()) takeLines(*pending, "\n", output);
    }
    if (process.error() == QProcess::FailedToStart || process.exitStatus() == QProcess::CrashExit) return -1;
    return signedExitStatus(process.exitCode());
}

std::string QtProcessRunner::shutDown()
{
    shutDown_ = true;
    if (!current_ || current_->state() == QProcess::NotRunning) return {};
    const pid_t group = target(static_cast<pid_t>(current_->processId()));
    ::kill(group, SIGTERM);
    std::string how = currentName_ + " stopped with SIGTERM";
    if (!current_->waitForFinished(stopGraceMs_)) {
        ::kill(group, SIGKILL);
        current_->waitForFinished(1000);
        how = currentName_ + " stopped with SIGKILL (SIGTERM was not enough within " +
              std::to_string(stopGraceMs_ / 1000) + " s)";
    }
    // What the child started and left behind goes with it (a shared group
    // is stopped by whoever leads it).
    if (groups_ == ChildGroups::OwnEach) ::kill(group, SIGKILL);
    return how;
}

}  // namespace ndx
