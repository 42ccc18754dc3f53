// libFuzzer target for the firmware download's section walk: any bytes as an
// image file, downloaded to a device that answers every request at once.
// The walk must stay inside the image, write each section at most once, and
// leave no table larger than its room.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "answering_link.h"
#include "hostif/firmware.h"
#include "hostif/host_interface.h"
#include "hostif/pause.h"
#include "settings/settings.h"

namespace {

void no_pause(int) {}

// Words the download writes besides the sections: the two reset clears, the
// boot mode and the section flags.
constexpr long FIXED_WRITES = 4 + 4 + 4 + 2;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > size_t(FIRMWARE_IMAGE_SIZE)) return 0;
    set_pause_function(no_pause);
    reset_header_template();
    forget_reply_history();
    debug_level = 3;

    AnsweringLink link;
    uint32_t before[AnsweringLink::descriptor_count][3];
    std::memcpy(before, link.descriptors, sizeof before);
    const int result = download_image(link, data, int(size), 0);

    if (result < -1 || result > int(size)) std::abort();
    if (link.bytes_written > long(size) + FIXED_WRITES) std::abort();
    for (int id = 0; id < AnsweringLink::descriptor_count; ++id) {
        if (link.descriptors[id][0] != before[id][0] || link.descriptors[id][2] != before[id][2]) std::abort();
        if (link.descriptors[id][1] > link.descriptors[id][2]) std::abort();
    }
    return 0;
}
