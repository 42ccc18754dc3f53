#include "zdp_client.h"

#include <arpa/inet.h>

#include <cstring>
#include <new>

ZdkStatus ZdpClient::init(EthernetLink* link) {
    if (link == nullptr) return ZDK_INVALID_PARAMETER;
    if (link->is_open() != 1) return ZDK_INVALID_STATE;
    try {
        frame_.assign(FRAME_SIZE, 0);
    } catch (const std::bad_alloc&) {
        return ZDK_OUT_OF_MEMORY;
    }
    link_ = link;
    template_ethertype_ = htons(0x886C);
    std::memcpy(template_source_, link->local_mac, 6);
    return ZDK_SUCCESS;
}
