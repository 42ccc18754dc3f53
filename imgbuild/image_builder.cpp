#include "image_builder.h"

#include <algorithm>

#include "boot_stub.h"
#include "build_state.h"
#include "exit_status.h"
#include "hex_reader.h"
#include "message_log.h"
#include "option_scanner.h"
#include "usage.h"

namespace {

constexpr const char* option_string = "o:m:i:0:1:2:3:x:j:v:f:FBNHYCh";

constexpr std::uint32_t flash_header_word0 = 0x381F0100;
constexpr std::uint32_t flash_header_word1 = 0x40;
constexpr std::uint32_t boot_branch_opcode = 0x20000000;
constexpr std::uint32_t boot_branch_word1 = 0x7FFFFFFF;
constexpr int largest_vector_region = 0xFF00;
constexpr int i2c_11bit_capacity = 0x800;
constexpr int i2c_19bit_capacity = 0x80000;
constexpr int flash_capacity = 0x100000;

// The options that append a section from a hex file, with the status that
// ends the run when their file yields no bytes.
struct SectionOption {
    char letter;
    const char* tag;
    int table_id;  // -1 for a plain section
    int empty_status;
};

constexpr SectionOption section_options[] = {
    {'o', "ZRPS", -1, exit_status::empty_oem_parameters},
    {'m', "ZRPM", -1, exit_status::empty_manufacturer_parameters},
    {'i', "ZRPH", -1, exit_status::empty_hardware_parameters},
    {'x', "ZRX1", -1, exit_status::empty_extension_function},
    {'0', "ZRPT", 0, exit_status::empty_table0},
    {'1', "ZRPT", 1, exit_status::empty_table1},
    {'2', "ZRPT", 2, exit_status::empty_table2},
    {'3', "ZRPT", 3, exit_status::empty_table3},
};

const SectionOption* find_section_option(int letter) {
    for (const SectionOption& option : section_options)
        if (option.letter == letter) return &option;
    return nullptr;
}

// What option processing does after one option.
enum class Next { option, finish, exit };
struct Step {
    Next next;
    int status = exit_status::image_written;
};

HexReadResult read_section_file(BuildState& state, const SectionOption& option, const std::string& name,
                                const InputFiles& files, std::string& log) {
    state.image.put_tag(state.write_position, option.tag);
    if (option.table_id < 0) return read_hex_file(files, name, state.image, state.write_position, log);

    // A table has a length word after its next-field; the reader's 8 then
    // reaches past both.
    state.write_position += 4;
    const HexReadResult read = read_hex_file(files, name, state.image, state.write_position, log);
    if (read.count > 0)
        state.image.put_word(state.pending_link + 4,
                             static_cast<std::uint32_t>(read.count) | static_cast<std::uint32_t>(option.table_id) << 24);
    return read;
}

HexReadResult read_boot_code_file(BuildState& state, const std::string& name, const InputFiles& files,
                                  std::string& log) {
    if (state.boot_stub_offset != 0) append_message(log, "WARNNING: multiple jump address given!!!\n");
    const int section = state.write_position;
    state.image.put_tag(section, "ZRX0");
    state.boot_stub_offset = section + 8;
    const BootStub stub = make_boot_stub(state.vector_length != 0, section + 8 + boot_stub_bytes);
    if (state.vector_length == 0 && critical_code_straddles_cache_line(state.boot_stub_offset))
        append_message(log, "WARNNING: critical code on cache-line boundry!!!\n");
    for (int i = 0; i < boot_stub_words; ++i) state.image.put_word(state.boot_stub_offset + 4 * i, stub[static_cast<std::size_t>(i)]);
    state.write_position = section + boot_stub_bytes;
    const HexReadResult read = read_hex_file(files, name, state.image, state.write_position, log);
    state.image.put_word(state.boot_stub_offset + 4 * boot_stub_length_word, boot_code_length_words(read.count));
    return read;
}

// Links the section just read into the chain: its next-field will point at
// whatever follows on the next 4-byte boundary.
void complete_section(BuildState& state) {
    state.write_position = (state.write_position + 3) & ~3;
    state.image.put_word(state.pending_link, static_cast<std::uint32_t>(state.write_position));
    state.last_link = state.pending_link;
    state.pending_link = state.write_position + 4;
    state.section_added = true;
}

// Ends the run when the file named by an option could not be opened or read.
bool unreadable(const HexReadResult& read, const std::string& name, std::string& log) {
    if (read.count >= 0) return false;
    append_message(log, "ERROR: can not read input file %s\n", name.c_str());
    return true;
}

Step add_section(BuildState& state, int letter, const std::string& name, const InputFiles& files, std::string& log) {
    HexReadResult read;
    if (letter == 'j') {
        read = read_boot_code_file(state, name, files, log);
        if (read.overflowed) return {Next::exit, exit_status::boot_code_too_large};
    } else {
        const SectionOption& option = *find_section_option(letter);
        read = read_section_file(state, option, name, files, log);
        if (read.count == 0) return {Next::exit, option.empty_status};
    }
    if (unreadable(read, name, log)) return {Next::exit, exit_status::input_unreadable};
    // Empty boot code ends the option list here; the image built so far is
    // still finished and written.
    if (read.count == 0) return {Next::finish};
    complete_section(state);
    return {Next::option};
}

Step place_vector(BuildState& state, const std::string& name, const InputFiles& files, std::string& log) {
    if (state.vector_given) append_message(log, "WARNNING: multiple vector definitions given!!!\n");
    if (state.write_position > 16) {
        // Sections already lie where the vector bytes would go; placing it
        // would overwrite them, so the image stays as built.
        append_message(log, "ERROR: vector definition must be first!!!\n");
        return {Next::option};
    }
    state.write_position = -8;
    const HexReadResult read = read_hex_file(files, name, state.image, state.write_position, log);
    if (unreadable(read, name, log)) return {Next::exit, exit_status::input_unreadable};
    if (read.overflowed || read.count > largest_vector_region) {
        if (!read.overflowed) append_message(log, "ERROR: too much data, current input hex file %s\n", name.c_str());
        return {Next::exit, exit_status::vector_too_large};
    }
    const int vector_length = read.count > 0 ? (read.count + 255) / 256 * 256 : 0;
    state.vector_length = vector_length;
    state.vector_given = true;
    state.image.put_tag(vector_length + 8, "ZR11");
    state.image.put_word(vector_length + 12, static_cast<std::uint32_t>(vector_length + 16));
    state.last_link = vector_length + 12;
    state.write_position = vector_length + 16;
    state.pending_link = vector_length + 20;
    return {Next::option};
}

void choose_flash_format(BuildState& state, std::string& log) {
    if (state.section_added || state.vector_given) {
        append_message(log, "ERROR: -F given too late, ignoring!!!\n");
        return;
    }
    state.flash_format = true;
    state.image.put_word(0, flash_header_word0);
    state.image.put_word(4, static_cast<std::uint32_t>(state.boot_stub_offset));
    state.image.put_tag(8, "ZR21");
    state.image.put_word(12, 16);
    state.last_link = 12;
    state.write_position = 16;
    state.pending_link = 20;
}

void write_boot_branch(BuildState& state, std::string& log) {
    if (state.vector_length != 0 && state.boot_stub_offset == 0)
        append_message(log, "ERROR: alternate vector without boot code!!!\n");
    if (state.boot_stub_offset != 0) {
        state.image.put_word(0, boot_branch_opcode | static_cast<std::uint32_t>(state.boot_stub_offset - 4) << 5);
        state.image.put_word(4, boot_branch_word1);
    } else if (state.flash_format) {
        state.image.put_word(0, flash_header_word0);
        state.image.put_word(4, flash_header_word1);
    }
}

void settle_output_flags(OutputSettings& output, std::string& log) {
    if (output.binary && output.one_value_per_line) {
        append_message(log, "ERROR: both -Y and -H used, ignoring -H!!!\n");
        output.one_value_per_line = false;
    }
    if (output.one_value_per_line && !output.line_feeds) {
        append_message(log, "ERROR: both -H and -N used, ignoring -H!!!\n");
        output.one_value_per_line = false;
    }
}

// The size messages are warnings: the image is written all the same.
void mark_format_and_check_size(BuildState& state, int image_length, std::string& log) {
    if (state.i2c_19bit) {
        if (state.flash_format) {
            // The flash header stays: "ZR19" over its first word would leave
            // an image that neither the loader nor the flash can use.
            append_message(log, "ERROR: both -B and -F used, ignored!!!\n");
        } else {
            state.image.put_tag(state.vector_length, "ZR19");
            if (image_length > i2c_19bit_capacity)
                append_message(log, "too much data for 19-bit address I2C memory!!!\n");
        }
    } else if (!state.flash_format && image_length > i2c_11bit_capacity) {
        append_message(log, "too much data for 11-bit address I2C memory!!!\n");
    }
    if (state.flash_format) {
        state.image.put_tag(state.vector_length + 8, "ZR21");
        if (image_length > flash_capacity) append_message(log, "too much data for 20-bit address Flash memory!!!\n");
    }
}

void finish(BuildState& state, BuildResult& result) {
    write_boot_branch(state, result.messages);
    state.image.put_word(state.last_link, 0);
    settle_output_flags(state.output, result.messages);
    const int image_length = std::clamp(state.write_position, 0, ImageBuffer::size);
    mark_format_and_check_size(state, image_length, result.messages);
    result.image = state.image.prefix(image_length);
    result.output = state.output;
    result.output_due = true;
    result.status = exit_status::image_written;
}

}  // namespace

BuildResult build_image(int argc, char* const* argv, const InputFiles& files) {
    BuildResult result;
    BuildState state;
    OptionScanner scanner(argc, argv, option_string);
    std::string& log = result.messages;
    for (int letter = scanner.next(); letter != OptionScanner::end; letter = scanner.next()) {
        Step step{Next::option};
        switch (letter) {
        case 'o': case 'm': case 'i': case 'x':
        case '0': case '1': case '2': case '3':
        case 'j':
            step = add_section(state, letter, scanner.argument(), files, log);
            break;
        case 'v':
            step = place_vector(state, scanner.argument(), files, log);
            break;
        case 'F':
            choose_flash_format(state, log);
            break;
        case 'f':
            state.output.image_file_name = scanner.argument();
            break;
        case 'B':
            state.i2c_19bit = true;
            break;
        case 'H':
            state.output.one_value_per_line = true;
            break;
        case 'N':
            state.output.line_feeds = false;
            break;
        case 'Y':
            state.output.binary = true;
            state.output.line_feeds = false;
            break;
        case 'C':
            state.output.c_lines = true;
            state.output.line_feeds = false;
            break;
        default:  // -h, an unknown letter, a missing argument
            append_usage(log, argc > 0 && argv[0] != nullptr ? argv[0] : "imgbuild");
            result.status = exit_status::usage;
            return result;
        }
        if (step.next == Next::exit) {
            result.status = step.status;
            return result;
        }
        if (step.next == Next::finish) break;
    }
    finish(state, result);
    return result;
}
