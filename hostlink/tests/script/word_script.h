#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// A memory script of `words` W lines at 0xA000 on, each followed by an R line
// of the word written one line earlier: a read that took the reply of the
// write before it, or of any other request, shows the wrong word.
struct WordScript {
    static constexpr uint32_t BASE = 0xA000;
    static uint32_t value(int i) { return 0x5A000001u + static_cast<uint32_t>(i) * 0x00010001u; }

    int words;
    std::string text;
    std::string expected_reads;

    explicit WordScript(int count) : words(count) {
        char line[64];
        for (int i = 0; i < words; ++i) {
            std::snprintf(line, sizeof line, "W,%X,%08X\n", BASE + 4 * i, value(i));
            text += line;
            const int read = i == 0 ? words - 1 : i - 1;  // the last word is not written yet
            std::snprintf(line, sizeof line, "R,%X\n", BASE + 4 * read);
            text += line;
            std::snprintf(line, sizeof line, "R,0x%06x:0x%08x\n", BASE + 4 * read, i == 0 ? 0u : value(read));
            expected_reads += line;
        }
    }
    // devsim's --dump option for the words written.
    std::string dump_option(const std::string& path) const {
        char range[32];
        std::snprintf(range, sizeof range, "%X:%X=", BASE, 4 * words);
        return range + path;
    }
    // The R lines of a run's output, in order.
    static std::string reads_in(const std::string& output) {
        std::string reads;
        for (size_t at = output.find("R,0x"); at != std::string::npos; at = output.find("R,0x", at + 1)) {
            if (at > 0 && output[at - 1] != '\n') continue;
            reads += output.substr(at, output.find('\n', at) + 1 - at);
        }
        return reads;
    }
    // What device memory holds once the script has run.
    std::string memory() const {
        std::string bytes;
        for (int i = 0; i < words; ++i)
            for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<char>(value(i) >> (8 * b)));
        return bytes;
    }
};
