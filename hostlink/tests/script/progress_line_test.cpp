#include <gtest/gtest.h>

#include "script/progress_line.h"

TEST(ProgressLine, Text) {
    const struct {
        long long done, total;
        double rate;
        const char* text;
    } cases[] = {
        {0, 524288, -1, "PROG_F: 0/524288 bytes (0%)"},
        {131072, 524288, 48230, "PROG_F: 131072/524288 bytes (25%), 48.2 kB/s"},
        {524288, 524288, 0, "PROG_F: 524288/524288 bytes (100%), 0.0 kB/s"},
        {1400, 0, -1, "PROG_F: 1400 bytes"},
    };
    for (const auto& c : cases) EXPECT_EQ(ProgressLine::text("PROG_F", c.done, c.total, c.rate), c.text);
}

TEST(ProgressLine, NotATerminalCountsNothingAndPrintsNothing) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        ProgressLine line("READ_BLOCK_F", 100, out);
        count_transfer(50);
    }
    EXPECT_EQ(std::ftell(out), 0);
    std::fclose(out);
}
