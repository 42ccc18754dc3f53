#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "token_reader.h"

// Reads the lines of a block command (CONFIG_NODE ... CONFIG_NODE_END and the
// like) from the open script file, one "keyword value" line at a time.
class ScriptBlock {
public:
    static constexpr int LINE_SIZE = 512;   // lines of up to 511 characters

    // keyword_delimiters separate the keyword from its value ("=\n\r " and the like).
    ScriptBlock(std::FILE* script, const char* keyword_delimiters);

    // Keyword of the next line that has one; nullptr at end of file.
    const char* next_keyword();
    // The current line's value as a signed decimal number (0 when it has none).
    long long number();
    // The current line after its keyword, for address values.
    const char* rest() const;

private:
    std::FILE* script_;
    const char* keyword_delimiters_;
    std::unique_ptr<TokenReader> tokens_;
};

// Failure text of a block whose script file ended before its end line.
std::string missing_end_line_text(const char* end_word);
