#include "output_writers.h"

#include <algorithm>
#include <cstdio>

namespace {

template <typename... Args>
void append_format(std::string& out, const char* format, Args... args) {
    char buffer[128];
    const int length = std::snprintf(buffer, sizeof buffer, format, args...);
    if (length > 0) out.append(buffer, std::min(static_cast<size_t>(length), sizeof buffer - 1));
}

}  // namespace

std::string format_hex_text(std::span<const uint8_t> region) {
    std::string out;
    for (size_t i = 0; i < region.size(); ++i) {
        append_format(out, "%2.2x", region[i]);
        if (i % 16 == 15) out += '\n';
    }
    if (region.size() % 16 != 0) out += '\n';
    return out;
}

std::string format_memory_script(std::span<const uint8_t> region, uint32_t first_address) {
    std::string out;
    for (size_t offset = 0; offset < region.size(); offset += 4) {
        uint8_t word[4] = {};
        for (size_t i = 0; i < 4 && offset + i < region.size(); ++i) word[i] = region[offset + i];
        append_format(out, "W,%04X,%08X\n", static_cast<unsigned>(first_address + offset), load_le(word, 4));
    }
    return out;
}

std::string format_parameter_dump(const ParameterImage& image) {
    std::string out;
    for (const ParameterDefinition& definition : parameter_definitions) {
        const uint8_t* field = image.data() + definition.offset;
        append_format(out, "nm=%-32.32s addr=0x%04X sz=%-2d val=", definition.name,
                      static_cast<unsigned>(device_parameter_address + definition.offset), definition.size);
        switch (definition.size) {
            case 1: append_format(out, "0x%02X\n", load_le(field, 1)); break;
            case 2: append_format(out, "0x%04X\n", load_le(field, 2)); break;
            case 4: append_format(out, "0x%08X\n", load_le(field, 4)); break;
            case 3: append_format(out, "%02X:%02X:%02X\n", field[0], field[1], field[2]); break;
            case 6:
            case 8:
                for (int i = 0; i < definition.size; ++i) append_format(out, i == 0 ? "%02X" : ":%02X", field[i]);
                out += '\n';
                break;
            default: {
                // A text field without a NUL ends at the field's end.
                size_t length = 0;
                while (length < static_cast<size_t>(definition.size) && field[length] != 0) ++length;
                out += '"';
                out.append(reinterpret_cast<const char*>(field), length);
                out += "\"\n";
                break;
            }
        }
    }
    return out;
}
