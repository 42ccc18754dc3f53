#pragma once
// The interface list and the address facts, read from libpcap and the kernel.

#include "../core/seams.h"

namespace ndx {

class LinuxInterfaceSource : public InterfaceSource {
public:
    bool listDevices(std::vector<CaptureDevice>& devices) override;
    bool listAdapters(std::vector<Adapter>& adapters) override;
};

}  // namespace ndx
