#include "parameter_file_reader.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "line_reader.h"
#include "section_readers.h"

namespace {

constexpr std::string_view line_separators = " =\t\r\n";
// Byte arrays split again, so that "0A:3F:71:00:00:07" and "0A-3F-..." both work.
constexpr std::string_view byte_array_separators = " =\t:-\r\n";

bool is_integer_size(int size) { return size == 1 || size == 2 || size == 4; }

// Stores the value of one parameter line; returns 0 or an exit code.
int store_value(std::string_view line, const std::vector<std::string_view>& tokens, ParameterLocation location,
                int line_number, ParameterImage& image, Messages& messages) {
    uint8_t* field = image.data() + location.offset;
    const std::string_view value = tokens[1];

    if (is_integer_size(location.size)) {
        store_le(field, location.size, static_cast<uint32_t>(read_token_c_number(value)));
        return 0;
    }
    if (value.starts_with('"')) {
        // The last character is taken to be the closing quote.
        const std::string_view text = value.substr(1, value.size() >= 2 ? value.size() - 2 : 0);
        const size_t count = std::min(text.size(), static_cast<size_t>(location.size));
        std::copy_n(text.begin(), count, field);
        if (count < static_cast<size_t>(location.size)) {
            field[count] = 0;
        } else {
            messages.report(1, "WARNING: text of %s cut to %d characters on line %1d!!!\n",
                            std::string(tokens[0]).c_str(), location.size, line_number);
        }
        return 0;
    }
    const auto bytes = split_tokens(line, byte_array_separators);
    if (bytes.size() < static_cast<size_t>(location.size) + 1) {
        messages.report(1, "ERROR: bad syntax on line %1d (missing value)!!!\n", line_number);
        return exit_bad_syntax;
    }
    for (int i = 0; i < location.size; ++i) field[i] = static_cast<uint8_t>(read_token_hex(bytes[i + 1]));
    return 0;
}

}  // namespace

int read_parameter_text(std::string_view contents, ParameterSet& parameters, Messages& messages) {
    parameters.image = default_parameter_image();
    parameters.tables = QosTables{};

    LineReader reader(contents);
    std::string line;
    bool header_pending = false;
    int line_number = 0;
    for (;;) {
        if (!header_pending && !reader.read_line(line)) return 0;
        header_pending = false;
        ++line_number;
        if (!has_line_end(line) || line.starts_with('#')) continue;

        const auto tokens = split_tokens(line, line_separators);
        if (tokens.empty()) continue;

        if (tokens[0] == "[QoS]" || tokens[0] == "[STATIC_ADDRESSES]") {
            const SectionOutcome outcome =
                tokens[0] == "[QoS]" ? read_qos_section(reader, line, parameters.tables, messages)
                                     : read_static_addresses(reader, line, parameters.tables, messages);
            if (outcome == SectionOutcome::capacity_exceeded) return exit_bad_syntax;
            header_pending = outcome == SectionOutcome::header_handed_back;
            continue;
        }

        if (tokens.size() < 2) {
            messages.report(1, "ERROR: bad syntax on line %1d (missing value)!!!\n", line_number);
            return exit_bad_syntax;
        }
        const ParameterLocation location = find_parameter(tokens[0]);
        if (location.size == 0) {
            messages.report(1, "ERROR: unknown parameter (%s)!!!\n", std::string(tokens[0]).c_str());
            return exit_unknown_parameter;
        }
        const int status = store_value(line, tokens, location, line_number, parameters.image, messages);
        if (status != 0) return status;
    }
}

int read_parameter_file(const std::string& path, ParameterSet& parameters, Messages& messages) {
    std::ifstream file(path, std::ios::binary);
    std::string contents;
    if (file) {
        std::ostringstream buffer;
        buffer << file.rdbuf();
        if (!file.bad()) contents = buffer.str();
    }
    return read_parameter_text(contents, parameters, messages);
}
