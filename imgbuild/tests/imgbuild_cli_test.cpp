#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "image_walker.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int status;  // the exit status as the caller of a script reads it: signed 8 bits
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs the real program in `dir` with argv[0] "imgbuild".
RunResult run_imgbuild(const fs::path& dir, const std::vector<std::string>& args) {
    const fs::path out = dir / "stdout.txt";
    const fs::path err = dir / "stderr.txt";
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        std::vector<std::string> words{"imgbuild"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        execv(IMGBUILD_BINARY, argv.data());
        _exit(127);
    }
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    EXPECT_TRUE(WIFEXITED(wait_status));
    return {static_cast<signed char>(WEXITSTATUS(wait_status)), slurp(out), slurp(err)};
}

class ImgbuildCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/imgbuild_cli_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        write("five.hex", "0102030405\n");
        write("empty.hex", "");
        write("comments.hex", "; nothing but a comment\n");
        write("boot.hex", "00010203040506070809\n");
    }
    void TearDown() override { fs::remove_all(dir_); }
    void write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }

    fs::path dir_;
};

const char* const usage_text =
    "\nUsage: imgbuild [ -option filename ] ...\n"
    " -o OEM parameters (section1+section2)\n"
    " -m manufecturer parameters (section3)\n"
    " -i hardware initialization parameters (section4)\n"
    " -0 table with id=0 (calssifier rules)\n"
    " -1 table with id=1 (calssifier filters)\n"
    " -2 table with id=2 (flow parameters)\n"
    " -3 table with id=3 (static addresses)\n"
    " -x extension function\n"
    " -j jump to boot code address (default is 0x000100)\n"
    " -v vector file for alternate boot code\n"
    " -f image file name (default is image.dat\n"
    " -F flash format (default is I2C)\n"
    " -B 19-bit address I2C format (default is 11-bit)\n"
    " -N do not output line-feeds (default is 16 values per line)\n"
    " -H output one byte value per line (default is 16 values per line)\n"
    " -Y binarY file format (default is ASCII)\n"
    " -C C language code static declarations \n";

TEST_F(ImgbuildCli, ExitStatusAndStreams) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"no options", {}, 0, "5a52313100000000\n", ""},
        {"one section", {"-o", "five.hex"}, 0, "5a523131080000005a52505300000000\n0102030405ffffff\n", ""},
        {"no line feeds with -H dropped", {"-N", "-H", "-o", "five.hex"}, 0,
         "5a523131080000005a525053000000000102030405ffffff", "ERROR: both -H and -N used, ignoring -H!!!\n"},
        {"one value per line", {"-H"}, 0, "5a\n52\n31\n31\n00\n00\n00\n00\n", ""},
        {"C lines, -H dropped", {"-H", "-C"}, 0, "0x5a,\n0x52,\n0x31,\n0x31,\n0x00,\n0x00,\n0x00,\n0x00,\n",
         "ERROR: both -H and -N used, ignoring -H!!!\n"},
        {"unopened file writes no image", {"-o", "five.hex", "-m", "nope.hex"}, -20, "",
         "ERROR: can not open input hex file nope.hex\nERROR: can not read input file nope.hex\n"},
        {"unreadable file writes no image", {"-Y", "-o", "five.hex", "-m", "."}, -20, "",
         "ERROR: can not read input file .\n"},
        {"help", {"-h"}, 1, "", usage_text},
        {"unknown letter", {"-o", "five.hex", "-q"}, 1, "", usage_text},
        {"missing argument", {"-o"}, 1, "", usage_text},
        {"colon is no option letter", {"-F:"}, 1, "", usage_text},
        {"empty -3", {"-3", "empty.hex"}, -9, "", ""},
        {"empty -0", {"-0", "empty.hex"}, -10, "", ""},
        {"empty -1", {"-1", "empty.hex"}, -11, "", ""},
        {"empty -2", {"-2", "empty.hex"}, -12, "", ""},
        {"empty -o", {"-o", "empty.hex"}, -13, "", ""},
        {"empty -m", {"-m", "empty.hex"}, -14, "", ""},
        {"empty -i", {"-i", "empty.hex"}, -15, "", ""},
        {"empty -x", {"-x", "empty.hex"}, -16, "", ""},
        {"-x without hex data", {"-o", "five.hex", "-x", "comments.hex", "-m", "nope.hex"}, -16, "", ""},
        {"unwritable image file", {"-Y", "-f", "no/such/dir/image.dat"}, -17, "",
         "binary image file redirected to file no/such/dir/image.dat\nfailed opening file no/such/dir/image.dat\n"},
    };
    for (const Case& c : cases) {
        const RunResult run = run_imgbuild(dir_, c.args);
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.out, c.out) << c.name;
        EXPECT_EQ(run.err, c.err) << c.name;
    }
    EXPECT_FALSE(fs::exists(dir_ / "image.dat"));
}

TEST_F(ImgbuildCli, BinaryImageGoesToTheImageFile) {
    struct Case {
        std::vector<std::string> args;
        std::string file;
        std::string err;
    };
    const Case cases[] = {
        {{"-FY", "-j", "boot.hex"}, "image.dat", "binary image file redirected to file image.dat\n"},
        {{"-Y", "-H", "-f", "flash.bin", "-F", "-j", "boot.hex"}, "flash.bin",
         "ERROR: both -Y and -H used, ignoring -H!!!\nbinary image file redirected to file flash.bin\n"},
    };
    for (const Case& c : cases) {
        const RunResult run = run_imgbuild(dir_, c.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
        const std::string image = slurp(dir_ / c.file);
        ASSERT_EQ(image.size(), 100u);
        EXPECT_EQ(image.substr(0, 8), std::string("\x80\x02\x00\x20\xff\xff\xff\x7f", 8));
        EXPECT_EQ(image.substr(8, 4), "ZR21");
    }
}

TEST_F(ImgbuildCli, FailedRunLeavesAnExistingImageFileAlone) {
    write("image.dat", "previous");
    const RunResult run = run_imgbuild(dir_, {"-Y", "-o", "five.hex", "-x", "empty.hex"});
    EXPECT_EQ(run.status, -16);
    EXPECT_EQ(slurp(dir_ / "image.dat"), "previous");
}

}  // namespace
