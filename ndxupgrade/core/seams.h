#pragma once
// The few places where the front end touches the outside world. The form and
// the headless driver plug in the real ones; tests plug in fakes.

#include <string>
#include <vector>

namespace ndx {

enum class BoxIcon { None, Error, Information };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Modal: returns when the user has dismissed the box.
    virtual void show(const std::string& caption, const std::string& text, BoxIcon icon) = 0;
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Starts argv[0] with the remaining words as arguments in workDir and waits
    // for it to end while the caller's event loop keeps running. Returns the
    // exit status read as a signed 8-bit number, or -1 when the child could
    // not be started or was killed by a signal.
    virtual int run(const std::vector<std::string>& argv, const std::string& workDir) = 0;
};

// A log memo: DiagMemo, MemoUpgrade, or standard output when headless.
class LogMemo {
public:
    virtual ~LogMemo() = default;
    virtual void addLine(const std::string& line) = 0;
};

// One capture device as the capture library lists it.
struct CaptureDevice {
    std::string name;
    std::string description;
    std::string ipv4;  // first IPv4 address in dotted text, empty when none
};

// One kernel interface with the address and DHCP facts of the status panel.
struct Adapter {
    std::string name;
    std::string ipAddress;  // "0.0.0.0" when the interface has no IPv4 address
    bool dhcpEnabled = false;
};

class InterfaceSource {
public:
    virtual ~InterfaceSource() = default;
    virtual bool listDevices(std::vector<CaptureDevice>& devices) = 0;
    virtual bool listAdapters(std::vector<Adapter>& adapters) = 0;
};

}  // namespace ndx
