#include "token_reader.h"

#include <cstring>

TokenReader::TokenReader(const char* text) {
    if (text == nullptr) text = "";
    length_ = std::strlen(text);
    if (length_ > CAPACITY) length_ = CAPACITY;
    std::memcpy(buffer_, text, length_);
    buffer_[length_] = '\0';
}

const char* TokenReader::next(const char* delimiters) {
    while (position_ < length_ && std::strchr(delimiters, buffer_[position_]) != nullptr) ++position_;
    if (position_ >= length_) return nullptr;
    std::size_t start = position_;
    while (position_ < length_ && std::strchr(delimiters, buffer_[position_]) == nullptr) ++position_;
    if (position_ < length_) {
        buffer_[position_] = '\0';
        ++position_;
    }
    return buffer_ + start;
}
