#include "option_scanner.h"

#include <cstring>

OptionScanner::OptionScanner(int argc, char* const* argv, const char* option_string)
    : argc_(argc), argv_(argv), option_string_(option_string) {}

static bool is_sign(char c) { return c == '-' || c == '/'; }

int OptionScanner::next() {
    argument_ = nullptr;
    bad_letter_ = 0;
    if (position_ == 0) {
        if (index_ >= argc_ || argv_[index_] == nullptr) return end;
        const char* element = argv_[index_];
        if (!is_sign(element[0])) return end;
        if (element[1] == '\0' || std::strcmp(element, "--") == 0) {
            ++index_;
            return end;
        }
        position_ = 1;
    }
    const char* element = argv_[index_];
    const char letter = element[position_++];
    const char* entry = letter == ':' ? nullptr : std::strchr(option_string_, letter);
    const bool at_group_end = element[position_] == '\0';

    if (entry == nullptr) {
        bad_letter_ = static_cast<unsigned char>(letter);
        if (at_group_end) {
            ++index_;
            position_ = 0;
        }
        return unknown_letter;
    }
    if (entry[1] != ':') {
        if (at_group_end) {
            ++index_;
            position_ = 0;
        }
        return letter;
    }
    // The letter takes an argument: the rest of this element, or the next one.
    const int rest = position_;
    position_ = 0;
    ++index_;
    if (!at_group_end) {
        argument_ = element + rest;
        return letter;
    }
    if (index_ >= argc_ || argv_[index_] == nullptr) {
        bad_letter_ = static_cast<unsigned char>(letter);
        return missing_argument;
    }
    argument_ = argv_[index_++];
    return letter;
}
