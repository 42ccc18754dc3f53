#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console_input.h"
#include "hostif/host_interface.h"
#include "hostif/memory_file.h"
#include "menu_entries.h"
#include "script_line.h"
#include "stop/stop_request.h"

namespace {

constexpr int LOOPBACK_MIN_SIZE = 64;
constexpr int LOOPBACK_MAX_SIZE = MESSAGE_BUFFER_SIZE;
constexpr int LOOPBACK_RANDOM_SPAN = 1436;
constexpr int RANDOM_RANGE = 32768;
constexpr int LOOPBACK_RETRIES = 10;
constexpr int DUMP_PART = 512;

uint8_t* block_data() { return message_buffer + MESSAGE_DATA_OFFSET; }

}  // namespace

void run_loopback_test(MenuContext& menu) {
    std::printf("Enter packet size (64-%d) [random]: ", LOOPBACK_MAX_SIZE);
    const uint32_t size_entered = read_console_number(&menu.input_ended);
    if (menu.input_ended) return;
    std::printf("Enter number of packets [%d] : ", 1);
    uint32_t count = read_console_number(&menu.input_ended);
    if (menu.input_ended) return;

    const bool random_sizes = size_entered == 0;
    int size = 0;
    if (!random_sizes) {
        size = size_entered > LOOPBACK_MAX_SIZE ? LOOPBACK_MAX_SIZE
               : static_cast<int>(size_entered) < LOOPBACK_MIN_SIZE ? LOOPBACK_MIN_SIZE
                                                                    : static_cast<int>(size_entered);
        for (int i = 0; i < size; ++i) message_buffer[i] = static_cast<uint8_t>(i);
    }
    if (count == 0) count = 1;

    for (uint32_t packet = 0; packet < count && !stop_requested(); ++packet) {
        int length = size;
        if (random_sizes) {
            length = LOOPBACK_MIN_SIZE + std::rand() % RANDOM_RANGE * LOOPBACK_RANDOM_SPAN / RANDOM_RANGE;
            for (int i = 0; i < length; ++i) message_buffer[i] = static_cast<uint8_t>(i + length);
        }
        std::printf("%d: %d=>", static_cast<int>(packet), length);
        std::fflush(stdout);
        const int sent = send_message(menu.link, message_buffer, length);
        const int received = receive_message(menu.link, message_buffer, MESSAGE_BUFFER_SIZE, LOOPBACK_RETRIES);
        if (received == 0) {
            if (!stop_requested()) std::printf("\nerror at packet #%d\n", static_cast<int>(packet));
            return;
        }
        if (received != sent) std::printf("warning: actual data size mismatch %d <> %d\n", received, sent);
        std::printf("\n");
    }
}

void run_block_dump(MenuContext& menu) {
    std::printf("Enter memory address (hex) : ");
    uint32_t address = read_console_hex(&menu.input_ended);
    if (menu.input_ended) return;
    std::printf("Enter length (hex) : ");
    const uint32_t length = read_console_hex(&menu.input_ended);
    if (menu.input_ended) return;
    std::printf("Enter formatting length (1|2|4): ");
    const int unit = static_cast<int>(read_console_number(&menu.input_ended));
    if (menu.input_ended) return;
    std::printf("Enter file to dump [Enter to screen)\n");
    const std::string name = read_console_line(&menu.input_ended);
    if (menu.input_ended) return;

    std::FILE* file = name.empty() ? nullptr : std::fopen(name.c_str(), "w+");
    std::FILE* output = file != nullptr ? file : stdout;
    // The length is taken as the signed count the device tools always used.
    int remaining = static_cast<int32_t>(length);
    while (remaining > 0) {
        const int part = remaining < DUMP_PART ? remaining : DUMP_PART;
        const int got = read_block(menu.link, address, part, 0);
        if (got <= 0) {
            std::printf("ERROR: Read failed\n");
            break;
        }
        dump_block(address, block_data(), got, output, unit, &menu.input_ended);
        if (menu.input_ended || (file != nullptr && std::ferror(file))) break;
        address += static_cast<uint32_t>(got);
        remaining -= got;
    }
    if (file != nullptr) finish_written_file(file, name.c_str(), true);
}

void run_block_write(MenuContext& menu) {
    std::printf("Enter memory address (hex) : ");
    bool parsed = false;
    const uint32_t address = read_console_hex(&menu.input_ended, &parsed);
    // An address that does not parse abandons the entry: nothing is written.
    if (menu.input_ended || !parsed) return;
    std::printf("Enter data in space delimited bytes (hex) XX XX XX: ");
    const std::string bytes = read_console_line(&menu.input_ended);
    if (menu.input_ended) return;
    const int count = parse_hex_stream(bytes.c_str(), block_data(), MESSAGE_DATA_CAPACITY);
    if (count <= 0 || write_block(menu.link, address, count, 0) == 0) std::printf("ERROR: Write block failed\n");
}
