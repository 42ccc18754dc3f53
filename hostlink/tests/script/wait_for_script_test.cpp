#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "output_capture.h"
#include "script/script.h"
#include "script/wait_for_script.h"
#include "stop/stop_request.h"

// The wait mode in a scratch directory, driven the way a controlling program
// drives it: tickets dropped into script.txt, a byte on standard input as key.
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

class WaitMode : public testing::Test {
protected:
    fs::path old_directory;
    fs::path directory;
    int key_pipe[2] = {-1, -1};
    int saved_stdin = -1;
    std::mutex mutex;
    std::vector<std::string> scripts_run;
    std::atomic<int> script_result{0};
    // The script being run is stopped by SIGINT, as run_script ends then.
    std::atomic<bool> stop_in_script{false};
    std::thread mode;
    std::atomic<bool> mode_ended{false};

    void SetUp() override {
        old_directory = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "wait_mode_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        fs::current_path(directory);
        // Standard input is an open pipe with nothing in it: no key pressed.
        ASSERT_EQ(pipe(key_pipe), 0);
        saved_stdin = dup(STDIN_FILENO);
        dup2(key_pipe[0], STDIN_FILENO);
    }

    void TearDown() override {
        request_stop(0);
        press_key();
        if (mode.joinable()) mode.join();
        dup2(saved_stdin, STDIN_FILENO);
        close(saved_stdin);
        close(key_pipe[0]);
        close(key_pipe[1]);
        fs::current_path(old_directory);
        fs::remove_all(directory);
    }

    void start() {
        capture_stdout();
        mode = std::thread([this] {
            wait_for_script([this](const char* path) {
                std::lock_guard<std::mutex> lock(mutex);
                scripts_run.emplace_back(path);
                if (!stop_in_script) return script_result.load();
                request_stop(SIGINT);
                return STOPPED_RESULT;
            });
            mode_ended = true;
        });
    }

    std::string finish() {
        EXPECT_TRUE(eventually([this] { return mode_ended.load(); })) << "the mode did not end";
        if (mode.joinable()) mode.join();
        return captured_stdout();
    }

    void press_key() {
        if (key_pipe[1] >= 0 && !mode_ended) (void)!write(key_pipe[1], "k", 1);
    }

    bool ticket_taken() { return !fs::exists("script.txt"); }
};

const std::regex RESULT_TEXT("hostlink [A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] \\d\\d:\\d\\d:\\d\\d \\d{4}\n\n");

TEST_F(WaitMode, GoodTicketRunsScriptAndWritesResultThenEnd) {
    start();
    write_file("script.txt", "good.txt\r\n");
    ASSERT_TRUE(eventually([this] { return ticket_taken() && fs::exists("result.txt"); }));
    EXPECT_TRUE(std::regex_match(read_file("result.txt"), RESULT_TEXT)) << read_file("result.txt");
    fs::remove("result.txt");

    write_file("script.txt", "END\n");
    const std::string output = finish();
    EXPECT_TRUE(fs::exists("result.txt")) << "END is answered with a result";
    EXPECT_EQ(scripts_run, std::vector<std::string>{"good.txt"});
    EXPECT_TRUE(std::regex_match(output, std::regex("waiting for script file \"script.txt\": \\.*found!\n"
                                                    "waiting for script file \"script.txt\": \\.*found!\n")))
        << output;
}

TEST_F(WaitMode, FailingScriptLeavesNoResultAndWaitsAgain) {
    script_result = -3;
    start();
    write_file("script.txt", "bad.txt\n");
    ASSERT_TRUE(eventually([this] { return ticket_taken(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(fs::exists("result.txt"));
    write_file("script.txt", "ENDING");
    const std::string output = finish();
    EXPECT_EQ(scripts_run, std::vector<std::string>{"bad.txt"});
    EXPECT_EQ(std::count(output.begin(), output.end(), '!'), 2) << output;
    EXPECT_TRUE(fs::exists("result.txt"));
}

TEST_F(WaitMode, LowerCaseEndIsAPath) {
    start();
    write_file("script.txt", "end\n");
    ASSERT_TRUE(eventually([this] { return ticket_taken(); }));
    EXPECT_FALSE(mode_ended);
    write_file("script.txt", "END");
    finish();
    EXPECT_EQ(scripts_run, std::vector<std::string>{"end"});
}

TEST_F(WaitMode, EmptyTicketStaysAndDotsArePrinted) {
    write_file("script.txt", "");
    start();
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(fs::exists("script.txt"));
    write_file("script.txt", "END\n");
    const std::string output = finish();
    EXPECT_GT(std::count(output.begin(), output.end(), '.'), 10) << "one mark per poll of an empty ticket";
}

TEST_F(WaitMode, KeyEndsModeAndStaysInInput) {
    write_file("result.txt", "old");
    start();
    std::this_thread::sleep_for(20ms);
    press_key();
    const std::string output = finish();
    EXPECT_EQ(read_file("result.txt"), "old") << "a key writes no result";
    char key = 0;
    EXPECT_EQ(read(STDIN_FILENO, &key, 1), 1);
    EXPECT_EQ(key, 'k');
    EXPECT_TRUE(scripts_run.empty());
    EXPECT_EQ(output.find("found!"), std::string::npos);
}

// Without a console (</dev/null, a closed pipe, a file read to its end) the
// end of input is no key: the mode goes on serving tickets until END.
TEST_F(WaitMode, EndOfInputIsNoKey) {
    const auto inputs = {"/dev/null", "closed pipe", "file at its end"};
    for (const std::string input : inputs) {
        SCOPED_TRACE(input);
        int fd = -1;
        int ends[2] = {-1, -1};
        if (input == "/dev/null") {
            fd = open("/dev/null", O_RDONLY);
        } else if (input == "closed pipe") {
            ASSERT_EQ(pipe(ends), 0);
            close(ends[1]);
            fd = ends[0];
        } else {
            write_file("typed.txt", "");
            fd = open("typed.txt", O_RDONLY);
        }
        ASSERT_GE(fd, 0);
        dup2(fd, STDIN_FILENO);
        close(fd);
        mode_ended = false;
        scripts_run.clear();
        start();
        std::this_thread::sleep_for(150ms);
        EXPECT_FALSE(mode_ended) << "the end of input ended the mode";
        write_file("script.txt", "good.txt\n");
        ASSERT_TRUE(eventually([this] { return ticket_taken() && fs::exists("result.txt"); }));
        write_file("script.txt", "END\n");
        finish();
        EXPECT_EQ(scripts_run, std::vector<std::string>{"good.txt"});
        fs::remove("result.txt");
    }
    dup2(key_pipe[0], STDIN_FILENO);
}

TEST_F(WaitMode, UncreatableResultEndsMode) {
    fs::create_directory("result.txt");
    start();
    write_file("script.txt", "good.txt\n");
    const std::string output = finish();
    EXPECT_TRUE(ticket_taken());
    const std::string tail = "found!\nERROR: can not create result file, aborting!";
    ASSERT_GE(output.size(), tail.size());
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail);
}

TEST_F(WaitMode, LongTicketLineIsCutNotOverrun) {
    start();
    write_file("script.txt", std::string(1000, 'p') + "\n");
    ASSERT_TRUE(eventually([this] { return ticket_taken(); }));
    write_file("script.txt", "END\n");
    finish();
    ASSERT_EQ(scripts_run.size(), 1u);
    EXPECT_EQ(scripts_run[0], std::string(255, 'p'));
}

// A stop between tickets ends the mode at once and touches no file (a
// ticket dropped meanwhile is not taken); one inside a ticket ends it once
// the script has stopped: the ticket is deleted as after any ticket, no
// result is written, and no new prompt follows.
TEST_F(WaitMode, StopEndsTheMode) {
    write_file("result.txt", "old");
    start();
    std::this_thread::sleep_for(20ms);
    request_stop(SIGTERM);
    std::string output = finish();
    EXPECT_EQ(read_file("result.txt"), "old");
    EXPECT_TRUE(scripts_run.empty());
    EXPECT_EQ(output.find("found!"), std::string::npos);
    write_file("script.txt", "late.txt\n");
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ticket_taken());

    request_stop(0);
    fs::remove("script.txt");
    mode_ended = false;
    stop_in_script = true;
    start();
    write_file("script.txt", "stopped.txt\n");
    output = finish();
    EXPECT_EQ(scripts_run, std::vector<std::string>{"stopped.txt"});
    EXPECT_TRUE(ticket_taken());
    EXPECT_EQ(read_file("result.txt"), "old");
    const std::string tail = "found!\n";
    ASSERT_GE(output.size(), tail.size());
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail);
}

}  // namespace
