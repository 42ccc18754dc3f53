// libFuzzer target for devsim's frame handling: the emulated device with its
// programming mailbox, boot loader and test stations takes a sequence of
// frames from the input. The first byte picks fault and part options; then
// each frame is a pause byte (units of 2 ms) and a frame record (FuzzInput).
// Every frame the device sends must be one a PC can take.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "boot.h"
#include "device.h"
#include "frame_layout.h"
#include "fuzz_input.h"
#include "nonvolatile_memory.h"
#include "options.h"
#include "programming_mailbox.h"
#include "zdp_stations.h"

namespace {

class CheckingWire : public Wire {
public:
    void transmit(const uint8_t* bytes, size_t length) override {
        if (length < frame::min_frame || length > frame::max_frame) std::abort();
        if (frame::get16be(bytes + frame::ether_type) != frame::ether_type_value) std::abort();
        if (bytes[frame::protocol_mark] != frame::protocol_mark_value) return;
        if (bytes[frame::sub_protocol] == frame::host_interface) {
            const size_t field = frame::get16le(bytes + frame::length);
            if (field < frame::length_overhead || frame::data + field - frame::length_overhead > length) std::abort();
        } else if (bytes[frame::sub_protocol] == frame::zdp) {
            if (zdp::length + frame::get16be(bytes + zdp::length) + 2 > length) std::abort();
        }
    }
};

DevsimOptions options_for(uint8_t choice) {
    DevsimOptions options;
    options.nodes = {{0x02, 0x00, 0x00, 0x00, 0x00, 0x07}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x08}};
    // The pace of the sessions the seeds were recorded from.
    options.busy_ms = 5;
    options.reset_ms = 30;
    options.erase_ms = 20;
    options.program_ms = 5;
    // Small parts keep each run cheap; the flash still has two pieces.
    options.flash_size = 2 * ProgrammingMailbox::piece_size;
    options.eeprom_size = choice & 0x01 ? 4 * 1024 : 2048;
    if (choice & 0x02) options.delay_ms = 3;
    if (choice & 0x04) options.short_write = 5;
    if (choice & 0x08) options.zdp_stale = true;
    if (choice & 0x10) options.zdp_error = 5;
    if (choice & 0x20) options.drop_first = 1;
    if (choice & 0x40) options.loss = 0.1;
    if (choice & 0x80) {
        options.reply_header_set = true;
        options.reply_header = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    }
    return options;
}

constexpr int64_t PAUSE_UNIT_US = 2000;
// Long enough for every busy window and acknowledgement a run can start.
constexpr int64_t SETTLE_US = 600'000'000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const DevsimOptions options = options_for(input.byte());
    CheckingWire wire;
    NonvolatileMemory flash(options.flash_size, "");
    NonvolatileMemory eeprom(options.eeprom_size, "");
    Device device(options, wire);
    ProgrammingMailbox mailbox(device, flash, eeprom);
    BootLoader boot(device, flash, eeprom);
    ZdpStations stations(device);

    int64_t now = 0;
    while (!input.empty()) {
        now += input.byte() * PAUSE_UNIT_US;
        const FuzzInput::Frame frame = input.frame();
        if (frame.length > frame::max_frame) continue;
        device.receive(frame.bytes, frame.length, now);
    }
    device.advance(now + SETTLE_US);
    return 0;
}
