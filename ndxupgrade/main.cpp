#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "command_line.h"
#include "self_path.h"
#include "core/base_directory.h"
#include "core/interruption.h"
#include "form/main_form.h"
#include "headless.h"
#include "history/history_commands.h"
#include "history/history_store.h"
#include "platform/console_output.h"
#include "platform/linux_interfaces.h"
#include "platform/private_temp_directory.h"
#include "platform/qt_message_boxes.h"
#include "platform/qt_process_runner.h"
#include "platform/stop_signals.h"

int main(int argc, char* argv[])
{
    // The command line first: help, version and mistakes need no display.
    const ndx::CommandLine command = ndx::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (command.action) {
    case ndx::Action::Help: std::fputs(ndx::usageText().c_str(), stdout); return 0;
    case ndx::Action::Version: std::fputs(ndx::versionText().c_str(), stdout); return 0;
    case ndx::Action::UsageError:
        std::fprintf(stderr, "%s\n%s", command.error.c_str(), ndx::usageText().c_str());
        return 2;
    default: break;
    }

    // A shared history that is not a database URL is a mistake on the
    // command line, found before anything starts. Without a window the
    // history's problems go to standard error.
    std::unique_ptr<ndx::HistoryStore> historyStore;
    std::string historyError;
    if (!ndx::makeHistoryStore(
            command.historyDb, "", [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); },
            historyStore, historyError)) {
        std::fprintf(stderr, "ndxupgrade: %s: %s\n", command.historyDb.empty() ? "NDX_HISTORY_DB" : "--history-db",
                     historyError.c_str());
        return 2;
    }

    // Lookups in the history need no kit and no interface.
    if (command.action == ndx::Action::History || command.action == ndx::Action::ExportBackup) {
        QCoreApplication app(argc, argv);
        return command.action == ndx::Action::History ? ndx::printHistory(command, *historyStore, stdout, stderr)
                                                      : ndx::exportBackup(command, *historyStore, stdout, stderr);
    }

    // One device of a batch leads the group that holds everything it starts,
    // so that the batch can stop it as a whole.
    if (command.batchWorker && ::getpgrp() != ::getpid()) ::setpgid(0, 0);

    // Before any window: a kit that cannot be used starts nothing.
    const ndx::StartBase base = ndx::settleBaseDirectory(ndx::processBaseCandidates());
    ndx::LinuxInterfaceSource interfaces;
    ndx::QtProcessRunner runner(5000, command.batchWorker ? ndx::ChildGroups::Shared : ndx::ChildGroups::OwnEach);
    // Made before any thread exists: it changes the environment.
    ndx::PrivateTempDirectory temporaryFiles;

    if (command.action != ndx::Action::Window) {
        ndx::ErrorStreamMemo errors;
        errors.addLine(base.note);
        if (base.directory.empty()) return 1;
        ndx::ConsoleMemo log;
        if (command.batch) {
            // The batch starts processes of its own: no Qt, no threads.
            ndx::ConsoleMessageBoxes errorBoxes(stderr);
            return ndx::runBatch(command, base.directory, {interfaces, log, errors, errorBoxes, self_path()});
        }
        QCoreApplication app(argc, argv);
        ndx::StopSignals stopSignals([&runner](int) { runner.shutDown(); });
        // A search keeps standard output for the addresses alone.
        const bool find = command.action == ndx::Action::Find;
        ndx::ConsoleMessageBoxes boxes(find ? stderr : stdout);
        ndx::ErrorStreamChildOutput childOutput;
        historyStore->start();
        return ndx::runHeadless(command, base.directory,
                                {interfaces, runner, boxes, find ? static_cast<ndx::LogMemo&>(errors) : log,
                                 &childOutput, &errors, command.batchWorker ? &errors : nullptr, &errors,
                                 &ndx::StopSignals::caught, find ? &log : nullptr, historyStore.get()});
    }

    QApplication app(argc, argv);
    ndx::QtMessageBoxes boxes;
    if (base.directory.empty()) {
        // Nothing may start from a base that is not known.
        boxes.show("Error", base.note, ndx::BoxIcon::Error);
        return 1;
    }
    ndx::TMainForm form({interfaces, runner, boxes, base.directory, base.note, base.copyRefreshed, command.diagnosticPage,
                         {}, true, command.historyDb});
    boxes.setParent(&form);
    QObject::connect(&form, &ndx::TMainForm::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    ndx::StopSignals stopSignals([&form](int signalNumber) { form.stopBySignal(signalNumber); });
    form.show();
    const int status = app.exec();
    return ndx::StopSignals::caught() ? ndx::signalExitStatus(ndx::StopSignals::caught()) : status;
}
