#include "console_input.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "console/console.h"

namespace {

void print_invalid_input() { std::printf("ERROR: Invalid input!\n"); }

void mark_ended(bool* ended) {
    if (ended != nullptr) *ended = true;
}

}  // namespace

std::string read_console_line(bool* ended, int length) {
    std::fflush(stdout);
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    if (!console_read_line(buffer.data(), static_cast<int>(buffer.size()))) {
        mark_ended(ended);
        return {};
    }
    return std::string(buffer.data());
}

uint32_t read_console_hex(bool* ended, bool* parsed) {
    bool input_ended = false;
    const std::string line = read_console_line(&input_ended, NUMBER_LINE_LENGTH);
    if (parsed != nullptr) *parsed = false;
    if (input_ended) {
        mark_ended(ended);
        return 0;
    }
    const char* start = line.c_str();
    while (*start == ' ' || *start == '\t') ++start;
    char* stop = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(start, &stop, 16);
    if (stop == start || *start == '-' || *start == '+') {
        print_invalid_input();
        return 0;
    }
    if (parsed != nullptr) *parsed = true;
    return errno == ERANGE || value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

// Read as strtoul reads on a 32-bit unsigned long: a minus sign negates the
// number modulo 2^32 ("-5" is 0xFFFFFFFB), and only a magnitude beyond 32
// bits overflows (to 0xFFFFFFFF).
uint32_t read_console_number(bool* ended) {
    bool input_ended = false;
    const std::string line = read_console_line(&input_ended, NUMBER_LINE_LENGTH);
    if (input_ended) {
        mark_ended(ended);
        return 0;
    }
    const char* start = line.c_str();
    const char* digits = start;
    while (std::isspace(static_cast<unsigned char>(*digits))) ++digits;
    const bool negative = *digits == '-';
    if (*digits == '-' || *digits == '+') ++digits;
    char* stop = const_cast<char*>(start);
    unsigned long long magnitude = 0;
    errno = 0;
    // A second sign or a blank after the sign is no number, as for strtoul.
    if (std::isalnum(static_cast<unsigned char>(*digits))) {
        magnitude = std::strtoull(digits, &stop, 0);
        if (stop == digits) stop = const_cast<char*>(start);
    }
    const bool overflow = errno == ERANGE || magnitude > UINT32_MAX;
    const char next = *stop;
    if (overflow || (next != ' ' && next != '\0' && next != '\n' && next != '\r')) print_invalid_input();
    if (overflow) return UINT32_MAX;
    const uint32_t value = static_cast<uint32_t>(magnitude);
    return negative ? 0u - value : value;
}

bool wait_for_key() {
    std::printf("Press any key to continue\n");
    std::fflush(stdout);
    return console_read_key() >= 0;
}

// A last unit that the data fills only in part is printed with the bytes
// there are, so nothing is read from beyond the data.
int dump_block(uint32_t address, const uint8_t* data, int length, std::FILE* output, int unit, bool* ended) {
    if (unit != 1 && unit != 2 && unit != 4) return 0;
    int offset = 0;
    for (; offset < length; offset += unit) {
        if (offset % 16 == 0) std::fprintf(output, "\n%x: ", address + static_cast<uint32_t>(offset));
        uint32_t value = 0;
        for (int i = unit - 1; i >= 0; --i) {
            value <<= 8;
            if (offset + i < length) value |= data[offset + i];
        }
        if (unit == 1) std::fprintf(output, "%02x ", value);
        if (unit == 2) std::fprintf(output, "%04x ", value);
        if (unit == 4) std::fprintf(output, "%08x ", value);
    }
    if (output == stdout && !wait_for_key()) mark_ended(ended);
    return length > 0 ? length : 0;
}
