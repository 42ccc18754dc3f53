#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reading one memory script line: its kind, its command word, and the fields
// of its argument text. Everything here is pure (no device, no files, no
// output) so the parser can be driven on its own by tests and a fuzzer.

// Longest line the interpreter reads at once, terminator included; the rest
// of a longer line is read as the next line.
constexpr int SCRIPT_LINE_SIZE = 512;

enum class ScriptCommand {
    // Named commands matched ignoring case, in the order they are tried.
    PROG_F,
    PROG_E,
    LOAD_FW,
    SET_MAC,
    QUERY_MAC,
    GET_VERSION,
    QUERY_STATUS,
    WRITE_BLOCK_F,
    READ_BLOCK_F,
    WRITE_BLOCK,
    CALC_SNR,
    SLEEP,
    RESET,
    ACTIVATE,
    TX_CFG,
    PRINT,
    FIND_DEVICES,
    // Test commands matched with exact case, in the order they are tried.
    START_SEND,
    CONFIG_SEND,
    CONFIG_NODE,
    CONFIG_RECEIVE,
    ENABLE_CERT,
    DISABLE_CERT,
    REPORT_STATS,
    RESET_STATS,
    STOP_SEND,
    STOP_RECV,
    PLAY_FILE,
    TEST_NETWORK,
    GET_STATIONS,
    GET_TX_CHAN_TABLE,
    GET_RX_CHAN_TABLE,
    GET_TX_PE,
    GET_RX_PE,
    // Single letters, chosen by the first character alone.
    R,
    W,
    F,
    L,
    N,
    S,
    Z,
    I,
    A,
    X,
    G,
    UNKNOWN,
};

constexpr int SCRIPT_COMMAND_COUNT = static_cast<int>(ScriptCommand::UNKNOWN) + 1;

// The command word as scripts write it ("?" for UNKNOWN).
const char* command_name(ScriptCommand command);

// True for the test group (the commands matched with exact case).
bool is_test_command(ScriptCommand command);

enum class LineKind {
    comment,      // first character is not an ASCII letter: skipped, not counted
    no_comma,     // a command line without a comma: format error
    bad_address,  // the address field holds no hex number
    command,      // a command line (the command may be UNKNOWN)
};

struct ScriptLine {
    const char* text = nullptr;       // the line as read, line end included
    ScriptCommand command = ScriptCommand::UNKNOWN;
    uint32_t address = 0;             // the address field; 0 when it holds only blanks
    const char* arguments = nullptr;  // after the first comma, up to and including the line end
};

// Classifies a line and, for a command line, fills `line`.
LineKind classify_line(const char* text, ScriptLine* line);

// The command a command word (the start of a line) names.
ScriptCommand find_command(const char* text);

// Reads a hex number after optional white space, with an optional 0x prefix;
// reading stops at the first character that is not a hex digit. False when
// there is no digit or the number does not fit 32 bits.
bool read_hex_field(const char* text, uint32_t* value);

// Reads an unsigned decimal number after optional blanks; false when there is
// no digit or the number does not fit an int.
bool read_decimal_field(const char* text, int* value);

// The text after the next comma of `text`, or nullptr when there is none.
const char* next_field(const char* text);

// File name that starts after leading blanks and tabs and ends at the first
// carriage return, line feed or comma (F, L, N, X, PROG_F, PROG_E, LOAD_FW).
std::string name_after_blanks(const char* field);

// File name taken as written, up to the first carriage return, line feed or
// comma (WRITE_BLOCK_F, READ_BLOCK_F; PRINT text).
std::string name_as_written(const char* field);

// The text up to the next comma; false when no comma follows (S and Z: the
// length field must come after the name).
bool name_before_comma(const char* field, std::string* name);

// Parses the byte list of WRITE_BLOCK: tokens split at single spaces; tokens
// that start with a blank or a line end are skipped; every other token must
// start with a hex number (0x allowed) whose low 8 bits are stored. Gives the
// number of bytes stored, or -1 when a token is not hex or there are more
// bytes than `capacity`.
int parse_hex_stream(const char* text, uint8_t* out, size_t capacity);

// Six octets in node address syntax (hex groups separated by ':', '-',
// blanks; commas after the first), each of one or two hex digits. False when
// six such octets are not there.
bool parse_mac_field(const char* text, uint8_t mac[6]);

// The second token of `arguments` split at commas, blanks, tabs and line ends
// (PLAY_FILE's capture file); empty when there is none.
std::string second_token(const char* arguments);
