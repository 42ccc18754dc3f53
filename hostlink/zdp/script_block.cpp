#include "script_block.h"

#include <cstdlib>

ScriptBlock::ScriptBlock(std::FILE* script, const char* keyword_delimiters)
    : script_(script), keyword_delimiters_(keyword_delimiters) {}

const char* ScriptBlock::next_keyword() {
    char line[LINE_SIZE];
    if (script_ == nullptr) return nullptr;
    while (std::fgets(line, sizeof line, script_) != nullptr) {
        tokens_ = std::make_unique<TokenReader>(line);
        const char* keyword = tokens_->next(keyword_delimiters_);
        if (keyword != nullptr) return keyword;
    }
    tokens_.reset();
    return nullptr;
}

long long ScriptBlock::number() {
    if (!tokens_) return 0;
    const char* value = tokens_->next("=\n");
    return value != nullptr ? std::strtoll(value, nullptr, 10) : 0;
}

const char* ScriptBlock::rest() const { return tokens_ ? tokens_->rest() : ""; }

std::string missing_end_line_text(const char* end_word) {
    return std::string("failure : missing ") + end_word + "\n";
}
