#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Reads a parameter file held in memory the way a 255-byte line buffer does:
// a line of up to 254 characters (its line end included) comes whole, a longer
// one in pieces of 254. Readers use tell/seek to hand a header line back.
class LineReader {
public:
    static constexpr size_t max_piece = 254;

    explicit LineReader(std::string_view contents) : contents_(contents) {}

    // The next line or piece into `line`; false at end of file. Like a C
    // string buffer, the line stops at an embedded NUL byte.
    bool read_line(std::string& line);

    size_t tell() const { return position_; }
    // False when the position lies outside the file.
    bool seek(size_t position);

private:
    std::string_view contents_;
    size_t position_ = 0;
};

// True when the line (or piece) ends with a line feed.
bool has_line_end(std::string_view line);
// A line that holds nothing but its line end ("\n" or "\r\n").
bool is_empty_line(std::string_view line);
// The line is exactly "[QoS]" or "[STATIC_ADDRESSES]" followed by its line end.
bool is_section_header_line(std::string_view line);

// Splits at any of `separators`, dropping empty tokens (strtok style).
std::vector<std::string_view> split_tokens(std::string_view text, std::string_view separators);

// Token readers: C notation, fixed base with 32-bit saturation; a token
// without leading digits reads as 0.
int read_token_c_number(std::string_view token);
int read_token_decimal(std::string_view token);
int read_token_hex(std::string_view token);
