#include "mac_argument.h"

#include <cstring>

#include "line_reader.h"

bool parse_mac_argument(const char* text, std::array<uint8_t, 6>& mac) {
    constexpr size_t max_text = 64;
    if (text == nullptr || std::strlen(text) > max_text) return false;
    const auto tokens = split_tokens(text, ":- ");
    if (tokens.size() != mac.size()) return false;
    for (std::string_view token : tokens) {
        const int value = read_token_c_number(token);
        if (value < 0 || value > 255) return false;
    }
    for (size_t i = 0; i < mac.size(); ++i) mac[i] = static_cast<uint8_t>(read_token_hex(tokens[i]));
    return true;
}
