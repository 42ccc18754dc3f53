// Fuzz target for the memory script line parser: any byte sequence, cut the
// way the interpreter reads lines, must classify and parse field by field
// without reading or writing outside the line or the block buffer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "script/script_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char text[SCRIPT_LINE_SIZE];
    const size_t length = size < sizeof text - 1 ? size : sizeof text - 1;
    std::memcpy(text, data, length);
    text[length] = '\0';

    ScriptLine line;
    if (classify_line(text, &line) != LineKind::command) return 0;
    const char* arguments = line.arguments;

    uint32_t value = 0;
    int number = 0;
    uint8_t block[1496];
    uint8_t mac[6];
    std::string name;
    for (const char* field = arguments; field != nullptr; field = next_field(field)) {
        read_hex_field(field, &value);
        read_decimal_field(field, &number);
        name_after_blanks(field);
        name_as_written(field);
        name_before_comma(field, &name);
        parse_hex_stream(field, block, sizeof block);
        parse_mac_field(field, mac);
    }
    second_token(arguments);
    command_name(line.command);
    return 0;
}
