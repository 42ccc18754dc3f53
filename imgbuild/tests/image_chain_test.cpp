#include <gtest/gtest.h>

#include "image_walker.h"

namespace {

struct Expected {
    const char* tag;
    const char* file;
    int table_id;  // -1 for a plain section
};

// The parameter sections and the four tables as the parameter compiler
// writes them, built the way the upgrade builds its flash image.
TEST(ImageChain, EverySectionSitsOnTheChainWithItsBytes) {
    const Expected expected[] = {
        {"ZRPS", "section_o.hex", -1}, {"ZRPM", "section_m.hex", -1}, {"ZRPT", "table0.hex", 0},
        {"ZRPT", "table1.hex", 1},     {"ZRPT", "table2.hex", 2},     {"ZRPT", "table3.hex", 3},
    };
    MemoryFiles files;
    for (const Expected& e : expected) files.add(e.file, read_test_data(e.file));
    const std::vector<std::string> sections = {"-o", "section_o.hex", "-m", "section_m.hex", "-0", "table0.hex",
                                               "-1", "table1.hex",    "-2", "table2.hex",    "-3", "table3.hex"};

    struct Format {
        std::vector<std::string> options;
        int first_link;
        std::string messages;
    };
    const Format formats[] = {
        {{"-F", "-Y"}, 12, ""},
        {{"-B"}, 4, ""},
        {{}, 4, ""},
    };
    for (const Format& format : formats) {
        std::vector<std::string> args = format.options;
        args.insert(args.end(), sections.begin(), sections.end());
        const BuildResult result = run_builder(args, files);
        ASSERT_EQ(result.status, 0);
        EXPECT_EQ(result.messages, format.messages);
        const auto chain = walk_sections(result.image, format.first_link);
        ASSERT_EQ(chain.size(), std::size(expected));
        for (std::size_t i = 0; i < chain.size(); ++i) {
            const Expected& e = expected[i];
            const WalkedSection& section = chain[i];
            EXPECT_EQ(section.tag, e.tag) << i;
            EXPECT_EQ(section.offset % 4, 0) << i;
            int body = section.offset + 8;
            const std::string want = read_test_data(e.file);
            std::string digits;
            for (const char c : want)
                if (c != '\n') digits += c;
            if (e.table_id >= 0) {
                EXPECT_EQ(word_at(result.image, body), static_cast<std::uint32_t>(digits.size() / 2) |
                                                           static_cast<std::uint32_t>(e.table_id) << 24)
                    << i;
                body += 4;
            }
            const int end = section.next != 0 ? section.next : static_cast<int>(result.image.size());
            ASSERT_LE(body + static_cast<int>(digits.size() / 2), end) << i;
            EXPECT_EQ(digits_of({result.image.begin() + body, result.image.begin() + body + digits.size() / 2}), digits)
                << i;
            // Whatever lies between the data and the next section is padding.
            for (int p = body + static_cast<int>(digits.size() / 2); p < end; ++p)
                EXPECT_EQ(result.image[static_cast<std::size_t>(p)], 0xFF) << i;
        }
    }
}

}  // namespace
