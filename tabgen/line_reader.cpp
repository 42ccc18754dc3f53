#include "line_reader.h"

#include "c_number.h"

#include <algorithm>

bool LineReader::read_line(std::string& line) {
    if (position_ >= contents_.size()) return false;
    const std::string_view rest = contents_.substr(position_);
    size_t length = std::min(rest.size(), max_piece);
    const size_t line_feed = rest.substr(0, length).find('\n');
    if (line_feed != std::string_view::npos) length = line_feed + 1;
    position_ += length;
    const std::string_view piece = rest.substr(0, length);
    line.assign(piece.substr(0, piece.find('\0')));
    return true;
}

bool LineReader::seek(size_t position) {
    if (position > contents_.size()) return false;
    position_ = position;
    return true;
}

bool has_line_end(std::string_view line) { return !line.empty() && line.back() == '\n'; }

bool is_empty_line(std::string_view line) { return line == "\n" || line == "\r\n"; }

bool is_section_header_line(std::string_view line) {
    for (std::string_view header : {std::string_view("[QoS]"), std::string_view("[STATIC_ADDRESSES]")}) {
        if (line.starts_with(header) && is_empty_line(line.substr(header.size()))) return true;
    }
    return false;
}

std::vector<std::string_view> split_tokens(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> tokens;
    size_t start = text.find_first_not_of(separators);
    while (start != std::string_view::npos) {
        const size_t stop = text.find_first_of(separators, start);
        tokens.push_back(text.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start));
        if (stop == std::string_view::npos) break;
        start = text.find_first_not_of(separators, stop);
    }
    return tokens;
}

int read_token_c_number(std::string_view token) { return read_c_number(std::string(token).c_str()); }

int read_token_decimal(std::string_view token) { return read_number_base(std::string(token).c_str(), 10); }

int read_token_hex(std::string_view token) { return read_number_base(std::string(token).c_str(), 16); }
