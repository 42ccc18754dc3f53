#include "script_line.h"

#include <cstring>
#include <strings.h>

namespace {

struct CommandWord {
    const char* word;
    bool any_case;
    ScriptCommand command;
};

// The order is the order of the tests: a word that begins with an earlier
// word would otherwise be taken for it (WRITE_BLOCK_F before WRITE_BLOCK).
constexpr CommandWord COMMAND_WORDS[] = {
    {"PROG_F", true, ScriptCommand::PROG_F},
    {"PROG_E", true, ScriptCommand::PROG_E},
    {"LOAD_FW", true, ScriptCommand::LOAD_FW},
    {"SET_MAC", true, ScriptCommand::SET_MAC},
    {"QUERY_MAC", true, ScriptCommand::QUERY_MAC},
    {"GET_VERSION", true, ScriptCommand::GET_VERSION},
    {"QUERY_STATUS", true, ScriptCommand::QUERY_STATUS},
    {"WRITE_BLOCK_F", true, ScriptCommand::WRITE_BLOCK_F},
    {"READ_BLOCK_F", true, ScriptCommand::READ_BLOCK_F},
    {"WRITE_BLOCK", true, ScriptCommand::WRITE_BLOCK},
    {"CALC_SNR", true, ScriptCommand::CALC_SNR},
    {"SLEEP", true, ScriptCommand::SLEEP},
    {"RESET", true, ScriptCommand::RESET},
    {"ACTIVATE", true, ScriptCommand::ACTIVATE},
    {"TX_CFG", true, ScriptCommand::TX_CFG},
    {"PRINT", true, ScriptCommand::PRINT},
    {"FIND_DEVICES", true, ScriptCommand::FIND_DEVICES},
    {"START_SEND", false, ScriptCommand::START_SEND},
    {"CONFIG_SEND", false, ScriptCommand::CONFIG_SEND},
    {"CONFIG_NODE", false, ScriptCommand::CONFIG_NODE},
    {"CONFIG_RECEIVE", false, ScriptCommand::CONFIG_RECEIVE},
    {"ENABLE_CERT", false, ScriptCommand::ENABLE_CERT},
    {"DISABLE_CERT", false, ScriptCommand::DISABLE_CERT},
    {"REPORT_STATS", false, ScriptCommand::REPORT_STATS},
    {"RESET_STATS", false, ScriptCommand::RESET_STATS},
    {"STOP_SEND", false, ScriptCommand::STOP_SEND},
    {"STOP_RECV", false, ScriptCommand::STOP_RECV},
    {"PLAY_FILE", false, ScriptCommand::PLAY_FILE},
    {"TEST_NETWORK", false, ScriptCommand::TEST_NETWORK},
    {"GET_STATIONS", false, ScriptCommand::GET_STATIONS},
    {"GET_TX_CHAN_TABLE", false, ScriptCommand::GET_TX_CHAN_TABLE},
    {"GET_RX_CHAN_TABLE", false, ScriptCommand::GET_RX_CHAN_TABLE},
    {"GET_TX_PE", false, ScriptCommand::GET_TX_PE},
    {"GET_RX_PE", false, ScriptCommand::GET_RX_PE},
};

// Chosen by the first character alone; the rest of the word is not examined.
constexpr CommandWord LETTER_COMMANDS[] = {
    {"R", false, ScriptCommand::R}, {"W", false, ScriptCommand::W}, {"F", false, ScriptCommand::F},
    {"L", false, ScriptCommand::L}, {"N", false, ScriptCommand::N}, {"S", false, ScriptCommand::S},
    {"Z", false, ScriptCommand::Z}, {"I", false, ScriptCommand::I}, {"A", false, ScriptCommand::A},
    {"X", false, ScriptCommand::X}, {"G", false, ScriptCommand::G},
};

bool begins_with(const char* text, const CommandWord& word) {
    size_t n = std::strlen(word.word);
    return word.any_case ? strncasecmp(text, word.word, n) == 0 : std::strncmp(text, word.word, n) == 0;
}

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool is_line_end(char c) { return c == '\r' || c == '\n'; }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char* skip_white(const char* text) {
    while (is_white(*text)) ++text;
    return text;
}

// Reads hex digits at `text` (after an optional 0x); false without a digit.
// Keeps the low 32 bits and tells through `overflow` whether more were given.
bool read_hex_digits(const char* text, uint64_t* value, bool* overflow) {
    *overflow = false;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && hex_digit(text[2]) >= 0) text += 2;
    if (hex_digit(*text) < 0) return false;
    uint64_t v = 0;
    for (; hex_digit(*text) >= 0; ++text) {
        v = (v << 4) | static_cast<uint64_t>(hex_digit(*text));
        if (v > 0xFFFFFFFFull) {
            *overflow = true;
            v &= 0xFFFFFFFFull;
        }
    }
    *value = v;
    return true;
}

}  // namespace

const char* command_name(ScriptCommand command) {
    for (const CommandWord& word : COMMAND_WORDS)
        if (word.command == command) return word.word;
    for (const CommandWord& letter : LETTER_COMMANDS)
        if (letter.command == command) return letter.word;
    return "?";
}

bool is_test_command(ScriptCommand command) {
    return command >= ScriptCommand::START_SEND && command <= ScriptCommand::GET_RX_PE;
}

ScriptCommand find_command(const char* text) {
    // A statistics reset must never be taken for a device reset.
    if (std::strncmp(text, "RESET_STATS", 11) == 0) return ScriptCommand::RESET_STATS;
    for (const CommandWord& word : COMMAND_WORDS)
        if (begins_with(text, word)) return word.command;
    for (const CommandWord& letter : LETTER_COMMANDS)
        if (begins_with(text, letter)) return letter.command;
    return ScriptCommand::UNKNOWN;
}

LineKind classify_line(const char* text, ScriptLine* line) {
    if (!is_ascii_letter(text[0])) return LineKind::comment;
    const char* comma = std::strchr(text, ',');
    if (!comma) return LineKind::no_comma;
    line->text = text;
    line->arguments = comma + 1;
    const char* field = skip_white(line->arguments);
    if (*field == '\0') {
        // Nothing but blanks up to the line end (as in "RESET,"): reads as 0.
        line->address = 0;
    } else if (!read_hex_field(field, &line->address)) {
        return LineKind::bad_address;
    }
    line->command = find_command(text);
    return LineKind::command;
}

bool read_hex_field(const char* text, uint32_t* value) {
    uint64_t wide = 0;
    bool overflow = false;
    if (!read_hex_digits(skip_white(text), &wide, &overflow) || overflow) return false;
    *value = static_cast<uint32_t>(wide);
    return true;
}

bool read_decimal_field(const char* text, int* value) {
    while (*text == ' ' || *text == '\t') ++text;
    if (*text < '0' || *text > '9') return false;
    long long v = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        v = v * 10 + (*text - '0');
        if (v > 0x7FFFFFFF) return false;
    }
    *value = static_cast<int>(v);
    return true;
}

const char* next_field(const char* text) {
    const char* comma = std::strchr(text, ',');
    return comma ? comma + 1 : nullptr;
}

std::string name_after_blanks(const char* field) {
    while (*field == ' ' || *field == '\t') ++field;
    return name_as_written(field);
}

std::string name_as_written(const char* field) {
    size_t n = std::strcspn(field, "\r\n,");
    return std::string(field, n);
}

bool name_before_comma(const char* field, std::string* name) {
    const char* comma = std::strchr(field, ',');
    if (!comma) return false;
    name->assign(field, static_cast<size_t>(comma - field));
    return true;
}

int parse_hex_stream(const char* text, uint8_t* out, size_t capacity) {
    size_t count = 0;
    const char* token = text;
    while (true) {
        const char* space = std::strchr(token, ' ');
        bool skipped = *token == '\0' || *token == ' ' || *token == '\t' || is_line_end(*token);
        if (!skipped) {
            uint64_t value = 0;
            bool overflow = false;
            if (!read_hex_digits(token, &value, &overflow)) return -1;
            if (count == capacity) return -1;
            out[count++] = static_cast<uint8_t>(value & 0xFF);
        }
        if (!space) break;
        token = space + 1;
    }
    return static_cast<int>(count);
}

bool parse_mac_field(const char* text, uint8_t mac[6]) {
    const char* p = text;
    for (int i = 0; i < 6; ++i) {
        const char* separators = i == 0 ? " \t:-" : " \t:-,";
        while (*p && std::strchr(separators, *p)) ++p;
        int first = hex_digit(*p);
        if (first < 0) return false;
        int value = first;
        ++p;
        if (hex_digit(*p) >= 0) value = value * 16 + hex_digit(*p++);
        // A group of more than two digits, or one glued to other text, is no octet.
        if (*p && !std::strchr(" \t:-,\r\n", *p)) return false;
        mac[i] = static_cast<uint8_t>(value);
    }
    return true;
}

std::string second_token(const char* arguments) {
    const char* delimiters = ", \t\r\n";
    const char* p = arguments + std::strspn(arguments, delimiters);
    p += std::strcspn(p, delimiters);
    p += std::strspn(p, delimiters);
    return std::string(p, std::strcspn(p, delimiters));
}
