#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>

#include "hostif/host_interface.h"
#include "hostif/memory_file.h"
#include "progress_line.h"
#include "script_commands.h"
#include "settings/settings.h"

namespace {

constexpr uint32_t MAC_ADDRESS_LOCATION = 0x8060;
// The data area of the shared message buffer.
constexpr size_t BLOCK_BUFFER_SIZE = MESSAGE_BUFFER_SIZE - MESSAGE_DATA_OFFSET;

LineEnd bad_value(const ScriptRun& run, const ScriptLine& line) {
    std::printf("ERROR: bad VAL32 at line #%d: \"%s\", aborting...\n", run.command_count, line.text);
    return LineEnd::failure_stop;
}

LineEnd bad_length(const ScriptRun& run, const ScriptLine& line) {
    std::printf("ERROR: bad LEN32 at line #%d: \"%s\", aborting...\n", run.command_count, line.text);
    return LineEnd::failure_stop;
}

LineEnd load_words(ScriptRun& run, const ScriptLine& line, int swap) {
    const char* field = next_field(line.arguments);
    std::string name = field ? name_after_blanks(field) : std::string();
    if (name.empty()) return format_error(run, line);
    if (load_memory_file(run.link, name.c_str(), line.address, swap) < 0) {
        std::printf("ERROR: failed to load file %s to address 0x%x\n", name.c_str(), line.address);
        return LineEnd::failure_stop;
    }
    return LineEnd::go_on;
}

// S and Z: ADDR, file, LEN32 (hex words), optional TEXT/BIN mode.
LineEnd store_words(ScriptRun& run, const ScriptLine& line, int step) {
    const char* field = next_field(line.arguments);
    std::string name;
    if (!field || !name_before_comma(field, &name) || name.empty()) return format_error(run, line);
    const char* length_field = next_field(field);
    uint32_t count = 0;
    if (!read_hex_field(length_field, &count) || count > 0x7FFFFFFF) return bad_length(run, line);
    int binary = 1;
    if (const char* mode = next_field(length_field)) {
        while (*mode == ' ' || *mode == '\t') ++mode;
        if (strncasecmp(mode, "TEXT", 4) == 0) binary = 0;
    }
    int length = static_cast<int>(count);
    if (store_memory_file(run.link, name.c_str(), line.address, length, binary, step) < 0) {
        std::printf("ERROR: failed to store file %s address 0x%x len %d\n", name.c_str(), line.address, length);
        return LineEnd::failure_stop;
    }
    return LineEnd::go_on;
}

}  // namespace

LineEnd read_memory_line(ScriptRun& run, const ScriptLine& line) {
    uint32_t value = 0;
    if (read_word(run.link, line.address, &value) != 0) {
        std::printf("ERROR: failed to read memory\n");
        return LineEnd::failure_stop;
    }
    if (debug_level >= 3)
        std::printf("R,0x%06lx:0x%08lx\n", static_cast<unsigned long>(line.address), static_cast<unsigned long>(value));
    return LineEnd::go_on;
}

LineEnd write_memory_line(ScriptRun& run, const ScriptLine& line) {
    const char* field = next_field(line.arguments);
    if (!field) return format_error(run, line);
    uint32_t value = 0;
    if (!read_hex_field(field, &value)) return bad_value(run, line);
    if (debug_level >= 3)
        std::printf("W,0x%06lx:0x%08lx\n", static_cast<unsigned long>(line.address), static_cast<unsigned long>(value));
    if (write_word(run.link, line.address, value) != 0) {
        std::printf("ERROR: Failed to write address\n");
        return LineEnd::failure_go_on;
    }
    return LineEnd::go_on;
}

LineEnd read_afe_line(ScriptRun& run, const ScriptLine& line) {
    uint32_t value = 0;
    if (read_serial(run.link, line.address, &value) != 0) {
        std::printf("ERROR: Failed to read AFE");
        return LineEnd::failure_stop;
    }
    return LineEnd::go_on;
}

// A line without a valid value stops the run but does not mark it failed.
LineEnd write_afe_line(ScriptRun& run, const ScriptLine& line) {
    const char* field = next_field(line.arguments);
    if (!field) {
        format_error(run, line);
        return LineEnd::stop;
    }
    uint32_t value = 0;
    if (!read_hex_field(field, &value)) {
        bad_value(run, line);
        return LineEnd::stop;
    }
    if (write_serial(run.link, line.address, value) != 0) {
        std::printf("ERROR: Failed to write AFE\n");
        return LineEnd::failure_stop;
    }
    return LineEnd::go_on;
}

LineEnd load_words_line(ScriptRun& run, const ScriptLine& line) { return load_words(run, line, 0); }

LineEnd load_swapped_words_line(ScriptRun& run, const ScriptLine& line) { return load_words(run, line, 1); }

LineEnd store_words_line(ScriptRun& run, const ScriptLine& line) { return store_words(run, line, 1); }

LineEnd sample_word_line(ScriptRun& run, const ScriptLine& line) { return store_words(run, line, 0); }

LineEnd write_block_line(ScriptRun& run, const ScriptLine& line) {
    const char* field = next_field(line.arguments);
    if (!field) return format_error(run, line);
    int count = parse_hex_stream(field, message_buffer + MESSAGE_DATA_OFFSET, BLOCK_BUFFER_SIZE);
    if (count <= 0) {
        std::printf("ERROR: bad HEX stream at line #%d: \"%s\", aborting...\n", run.command_count, line.text);
        return LineEnd::failure_stop;
    }
    if (write_block(run.link, line.address, count, 0) < 1) {
        std::printf("ERROR: Write block failed\n");
        // The bytes did not reach the device: the script must not end as a success.
        return LineEnd::failure_go_on;
    }
    return LineEnd::go_on;
}

LineEnd write_block_file_line(ScriptRun& run, const ScriptLine& line) {
    const char* field = next_field(line.arguments);
    std::string name = field ? name_as_written(field) : std::string();
    if (name.empty()) return format_error(run, line);
    if (with_progress("WRITE_BLOCK_F", file_size(name),
                      [&] { return write_block_from_file(run.link, line.address, name.c_str()); }) <= 0) {
        std::printf("ERROR: Failed to write block to %x from file %s aborting...\n", line.address, name.c_str());
        return LineEnd::failure_stop;
    }
    return LineEnd::go_on;
}

LineEnd read_block_file_line(ScriptRun& run, const ScriptLine& line) {
    const char* field = next_field(line.arguments);
    std::string name = field ? name_as_written(field) : std::string();
    const char* length_field = field ? next_field(field) : nullptr;
    if (name.empty() || !length_field) return format_error(run, line);
    int length = 0;
    if (!read_decimal_field(length_field, &length)) return bad_length(run, line);
    if (with_progress("READ_BLOCK_F", length,
                      [&] { return read_block_to_file(run.link, line.address, length, name.c_str()); }) <= 0) {
        std::printf("ERROR: Failed to read block from %x to file %s aborting...\n", line.address, name.c_str());
        return LineEnd::failure_stop;
    }
    return LineEnd::go_on;
}

// Without six octets nothing is written: a wrong device address is worse than none.
LineEnd set_mac_line(ScriptRun& run, const ScriptLine& line) {
    const char* field = next_field(line.arguments);
    uint8_t mac[6];
    if (!field || !parse_mac_field(field, mac)) return format_error(run, line);
    std::memcpy(message_buffer + MESSAGE_DATA_OFFSET, mac, sizeof mac);
    if (write_block(run.link, MAC_ADDRESS_LOCATION, sizeof mac, 0) < 1) {
        std::printf("ERROR: failed to write MAC address\n");
        return LineEnd::failure_go_on;
    }
    return LineEnd::go_on;
}
