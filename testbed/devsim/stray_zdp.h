#pragma once

#include "device.h"

// --stray-zdp-ms: every that many milliseconds the device sends a ZDP frame
// that answers nothing to the PC that last sent it a host-interface request
// (none before one has), as a device busy with its own traffic does.
class StrayZdp {
public:
    explicit StrayZdp(Device& device);

private:
    void tick();

    Device& device_;
};
