#pragma once

#include <cstdint>
#include <vector>

#include "../link/ethernet_link.h"

// Builds, sends and matches the ZDP test requests (sub-protocol 0x02) of the
// loader. One instance per process, bound to the link once it is open.
class ZdpClient {
public:
    static constexpr int FRAME_SIZE = 1500;

    ZdpClient() = default;
    virtual ~ZdpClient() = default;

    // Binds the client to an open link; the link's local_mac becomes the source address.
    ZdkStatus init(EthernetLink* link);

    EthernetLink* link() const { return link_; }

protected:
    EthernetLink* link_ = nullptr;
    std::vector<uint8_t> frame_;        // the request buffer, allocated by init
    uint8_t template_destination_[6] = {};
    uint8_t template_source_[6] = {};
    uint16_t template_ethertype_ = 0;   // 0x886C in network order once bound
    uint16_t sequence_ = 0;
};
