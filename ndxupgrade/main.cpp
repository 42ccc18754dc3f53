#include <QApplication>
#include <QCoreApplication>
#include <QDir>

#include <string>
#include <vector>

#include "form/main_form.h"
#include "headless.h"
#include "platform/console_output.h"
#include "platform/linux_interfaces.h"
#include "platform/qt_message_boxes.h"
#include "platform/qt_process_runner.h"

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string base = QDir::currentPath().toStdString();
    ndx::LinuxInterfaceSource interfaces;
    ndx::QtProcessRunner runner;

    if (ndx::wantsHeadless(args)) {
        QCoreApplication app(argc, argv);
        ndx::ConsoleMessageBoxes boxes;
        ndx::ConsoleMemo log;
        return ndx::runHeadless(args, base, interfaces, runner, boxes, log);
    }

    QApplication app(argc, argv);
    ndx::QtMessageBoxes boxes;
    ndx::TMainForm form({interfaces, runner, boxes, base});
    boxes.setParent(&form);
    form.show();
    return app.exec();
}
