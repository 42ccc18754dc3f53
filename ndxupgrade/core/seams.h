#pragma once
// The few places where the front end touches the outside world. The form and
// the headless driver plug in the real ones; tests plug in fakes.

#include <functional>
#include <string>
#include <vector>

namespace ndx {

enum class BoxIcon { None, Error, Information };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Modal: returns when the user has dismissed the box.
    virtual void show(const std::string& caption, const std::string& text, BoxIcon icon) = 0;
    // Modal Yes/No question with No as the default; true for Yes. Where no
    // one can answer, the answer is No.
    virtual bool ask(const std::string& /*caption*/, const std::string& /*text*/) { return false; }
};

// Receives each line a child prints, on either of its output streams.
using OutputLine = std::function<void(const std::string& line)>;

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Starts argv[0] with the remaining words as arguments in workDir and waits
    // for it to end while the caller's event loop keeps running; hands each
    // line of its output to `output`. Returns the exit status read as a signed
    // 8-bit number, or -1 when the child could not be started or was killed
    // by a signal.
    virtual int run(const std::vector<std::string>& argv, const std::string& workDir, const OutputLine& output) = 0;
    // For quitting while a child runs: stops that child and everything it
    // started, and starts no child any more. Says what it stopped and how
    // ("" when nothing ran).
    virtual std::string shutDown() { return {}; }
};

// Where the children's output and their comings and goings are shown: the
// window's Details pane and status bar, or standard error when headless.
class ChildOutput {
public:
    virtual ~ChildOutput() = default;
    virtual void childStarted(const std::string& /*child*/) {}
    virtual void childLine(const std::string& child, const std::string& line) = 0;
    virtual void childEnded(const std::string& /*child*/, int /*code*/) {}
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
