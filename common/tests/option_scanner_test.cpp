#include "option_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs the scanner over argv and renders every result as "letter[=arg]" so a
// whole scan compares as one string.
std::string scan(std::vector<const char*> args, const char* options, int* stop_index = nullptr) {
    args.insert(args.begin(), "prog");
    std::vector<char*> argv;
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    OptionScanner scanner(static_cast<int>(argv.size()), argv.data(), options);
    std::string out;
    for (int c; (c = scanner.next()) != OptionScanner::end;) {
        if (!out.empty()) out += ' ';
        if (c == OptionScanner::unknown_letter) {
            out += "?" + std::string(1, static_cast<char>(scanner.bad_letter()));
        } else if (c == OptionScanner::missing_argument) {
            out += ":" + std::string(1, static_cast<char>(scanner.bad_letter()));
        } else {
            out += static_cast<char>(c);
            if (scanner.argument()) out += "=" + std::string(scanner.argument());
        }
    }
    if (stop_index) *stop_index = scanner.index();
    return out;
}

struct Case {
    std::vector<const char*> args;
    std::string expected;
    int stop_index;
};

TEST(OptionScanner, ScansTheAcceptedForms) {
    const char* options = "l:i:m:s:a:M:d:qhwvc";
    const std::vector<Case> cases = {
        {{}, "", 1},
        {{"-wc"}, "w c", 2},
        {{"/w", "/c"}, "w c", 3},
        {{"-s", "a.txt"}, "s=a.txt", 3},
        {{"-sa.txt"}, "s=a.txt", 2},
        {{"/s/tmp/x"}, "s=/tmp/x", 2},
        {{"-s", "/tmp/x", "-q"}, "s=/tmp/x q", 4},
        {{"-wm7"}, "w m=7", 2},
        {{"-x"}, "?x", 2},
        {{"-w:"}, "w ?:", 2},
        {{"-s"}, ":s", 2},
        {{"-w", "--", "-c"}, "w", 3},
        {{"-w", "-", "-c"}, "w", 3},
        {{"-w", "file", "-c"}, "w", 2},
        {{"file"}, "", 1},
        {{"-v", "-x"}, "v ?x", 3},
    };
    for (const Case& c : cases) {
        int stop = 0;
        EXPECT_EQ(scan(c.args, options, &stop), c.expected) << "args[0]=" << (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(stop, c.stop_index) << "args[0]=" << (c.args.empty() ? "" : c.args[0]);
    }
}

TEST(OptionScanner, DigitLettersAndGroupedFlags) {
    EXPECT_EQ(scan({"-0", "t0.hex", "-YC"}, "o:m:i:0:1:2:3:x:j:v:f:FBNHYCh"), "0=t0.hex Y C");
    EXPECT_EQ(scan({"-os", "-v2"}, "v:psomi0123M:f:h"), "o s v=2");
}

}  // namespace
