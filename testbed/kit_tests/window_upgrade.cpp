// The upgrade driven through the real window on the offscreen platform, with
// the real interface list and process runner, against the installed kit:
// picks hl0, types the device MAC, clicks DownloadBtn and reports the log and
// the message box. Run by window_upgrade_test.sh, which provides the kit and
// the device.
//
// Environment: KIT_DIR (the installed kit, the window's base directory) and
// DEVICE_MAC (XX-XX-XX-XX-XX-XX). Prints the log memo, then the boxes as
// "BOX caption|text" and the status bar's outcome as "STATUS text"; exit
// status 0 when the click ended in a box. As the program does, it gives its
// children a private TMPDIR and takes SIGINT, SIGTERM and SIGHUP as a stop:
// status 128 + the signal then.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "form/main_form.h"
#include "platform/linux_interfaces.h"
#include "platform/private_temp_directory.h"
#include "platform/qt_process_runner.h"
#include "platform/stop_signals.h"

namespace {

class RecordingBoxes : public ndx::MessageBoxes {
public:
    struct Box {
        std::string caption, text;
    };
    std::vector<Box> shown;
    void show(const std::string& caption, const std::string& text, ndx::BoxIcon) override
    {
        shown.push_back({caption, text});
    }
};

template <typename W>
W* control(ndx::TMainForm& form, const char* name)
{
    W* w = form.findChild<W*>(QString::fromLatin1(name));
    if (!w) std::fprintf(stderr, "window_upgrade: the window has no control %s\n", name);
    return w;
}

}  // namespace

int main(int argc, char* argv[])
{
    ndx::PrivateTempDirectory temporaryFiles;
    QApplication app(argc, argv);
    const char* kit = std::getenv("KIT_DIR");
    const char* mac = std::getenv("DEVICE_MAC");
    if (!kit || !mac || std::string(mac).size() != 17) {
        std::fprintf(stderr, "window_upgrade: KIT_DIR and DEVICE_MAC (XX-XX-XX-XX-XX-XX) must be set\n");
        return 2;
    }

    ndx::LinuxInterfaceSource interfaces;
    ndx::QtProcessRunner runner;
    RecordingBoxes boxes;
    ndx::TMainForm form({interfaces, runner, boxes, kit});
    ndx::StopSignals stopSignals([&form](int signalNumber) { form.stopBySignal(signalNumber); });
    form.show();

    auto* interfaceList = control<QComboBox>(form, "IFSelectUpgrade");
    auto* download = control<QPushButton>(form, "DownloadBtn");
    auto* log = control<QPlainTextEdit>(form, "DiagMemo");
    auto* status = control<QLabel>(form, "StatusLabel");
    if (!interfaceList || !download || !log || !status) return 2;

    int hl0 = -1;
    for (int i = 0; i < interfaceList->count(); ++i)
        if (interfaceList->itemText(i).endsWith(QStringLiteral(" hl0"))) hl0 = i;
    if (hl0 < 0) {
        std::fprintf(stderr, "window_upgrade: hl0 is not in the interface list\n");
        return 2;
    }
    interfaceList->setCurrentIndex(hl0);

    const std::string text(mac);
    for (int i = 0; i < 6; ++i) {
        const std::string name = "Amac" + std::to_string(i + 1);
        auto* field = control<QLineEdit>(form, name.c_str());
        if (!field) return 2;
        field->setText(QString::fromStdString(text.substr(static_cast<std::size_t>(i) * 3, 2)));
    }

    if (!download->isEnabled()) {
        std::fprintf(stderr, "window_upgrade: DownloadBtn is disabled for hl0\n");
        return 2;
    }
    // The click returns when the upgrade has ended: the children are waited
    // for with the event loop running.
    download->click();

    std::printf("%s\n", log->toPlainText().toStdString().c_str());
    for (const auto& box : boxes.shown) std::printf("BOX %s|%s\n", box.caption.c_str(), box.text.c_str());
    std::printf("STATUS %s\n", status->text().toStdString().c_str());
    if (const int s = ndx::StopSignals::caught()) return 128 + s;
    return boxes.shown.empty() ? 1 : 0;
}
