#include "stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>

namespace ndx {
namespace {

constexpr int stopSignalNumbers[] = {SIGINT, SIGTERM, SIGHUP};

// Signal dispositions belong to the process: so does what the handler writes.
volatile sig_atomic_t firstCaught = 0;
int wakeRead = -1, wakeWrite = -1;

void noteSignal(int signalNumber)
{
    if (!firstCaught) firstCaught = signalNumber;
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    static_cast<void>(::write(wakeWrite, &byte, 1) == 1);
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal))
{
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return;
    wakeRead = ends[0];
    wakeWrite = ends[1];
    notifier_ = new QSocketNotifier(wakeRead, QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, [this] {
        unsigned char byte;
        while (::read(wakeRead, &byte, 1) == 1) onSignal_(byte);
    });
    for (int s : stopSignalNumbers) {
        struct sigaction current {};
        if (::sigaction(s, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = noteSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(s, &action, nullptr);
    }
}

StopSignals::~StopSignals()
{
    if (!notifier_) return;
    for (int s : stopSignalNumbers) {
        struct sigaction current {};
        if (::sigaction(s, nullptr, &current) == 0 && current.sa_handler == noteSignal) ::signal(s, SIG_DFL);
    }
    delete notifier_;
    ::close(wakeRead);
    ::close(wakeWrite);
    wakeRead = wakeWrite = -1;
}

int StopSignals::caught()
{
    return firstCaught;
}

}  // namespace ndx
