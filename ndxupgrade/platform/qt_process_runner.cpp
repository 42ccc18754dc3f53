#include "qt_process_runner.h"

#include <QEventLoop>
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <cstdio>

namespace ndx {

int signedExitStatus(int status)
{
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(status & 0xFF));
}

int QtProcessRunner::run(const std::vector<std::string>& argv, const std::string& workDir)
{
    if (argv.empty()) return -1;
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i) arguments << QString::fromStdString(argv[i]);

    QProcess process;
    process.setProgram(QString::fromStdString(argv[0]));
    process.setArguments(arguments);
    process.setWorkingDirectory(QString::fromStdString(workDir));
    // Output goes where ours goes; no console to type into, so input ends at once.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setStandardInputFile(QProcess::nullDevice());

    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) loop.quit();
    });
    std::fflush(stdout);
    process.start();
    if (process.state() != QProcess::NotRunning || process.error() != QProcess::FailedToStart) loop.exec();

    if (process.state() != QProcess::NotRunning) {
        // The application is quitting under us: do not leave the child behind.
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (process.error() == QProcess::FailedToStart || process.exitStatus() == QProcess::CrashExit) return -1;
    return signedExitStatus(process.exitCode());
}

}  // namespace ndx
