#include "c_number.h"

#include <gtest/gtest.h>

#include <string>

TEST(CNumber, ReadsCNotationAndSaturates) {
    struct Case {
        const char* text;
        int32_t value;
        int used;
    };
    const Case cases[] = {
        {"42", 42, 2},
        {"0x1F", 31, 4},
        {"017", 15, 3},
        {"-5", -5, 2},
        {"  12abc", 12, 4},
        {"abc", 0, 0},
        {"", 0, 0},
        {"0xFFFFFFFF", INT32_MAX, 10},
        {"-99999999999", INT32_MIN, 12},
        {"99999999999999999999999", INT32_MAX, 23},
    };
    for (const Case& c : cases) {
        const char* end = nullptr;
        EXPECT_EQ(read_c_number(c.text, &end), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.used) << c.text;
    }
}

TEST(CNumber, FixedBase) {
    EXPECT_EQ(read_number_base("010", 10), 10);
    EXPECT_EQ(read_number_base("ff", 16), 255);
}
