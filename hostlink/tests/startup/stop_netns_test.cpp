#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "devsim_process.h"
#include "stop_lines.h"
#include "temp_dir.h"

// The real loader stopped by a signal on the namespace's veth pair, its
// standard output in a file as when a script or the window keeps it: what
// it printed before the signal is in the file, one line on standard error
// names the signal, the status is 128 + the signal, and nothing more goes to
// the device.
namespace {

using namespace std::chrono_literals;

const char* const DEVICE = "0a:3f:71:00:00:01";
const char* const NODE_B = "02:00:00:00:00:0b";

// The loader with standard output and standard error in files of `dir`, its
// working directory, and standard input an open pipe with nothing in it (a
// console nobody types at). `ignored` signals are ignored when it starts, as
// a shell leaves them for a background job.
class LoaderRun {
public:
    LoaderRun(const TempDir& dir, const std::vector<std::string>& arguments, const std::vector<int>& ignored = {})
        : output_path_(dir.path("stdout.txt")), errors_path_(dir.path("stderr.txt")) {
        if (pipe(input_) != 0) return;
        std::vector<std::string> all = {HOSTLINK_BINARY};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string directory = dir.path("");
        // Emptied before the start, so that nothing of an earlier run is read.
        const int out = open(output_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errors_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0 && err >= 0) pid_ = fork();
        if (pid_ == 0) {
            if (chdir(directory.c_str()) != 0) _exit(126);
            dup2(input_[0], STDIN_FILENO);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            for (int s : ignored) signal(s, SIG_IGN);
            execv(HOSTLINK_BINARY, argv.data());
            _exit(127);
        }
        if (out >= 0) close(out);
        if (err >= 0) close(err);
        close(input_[0]);
    }
    ~LoaderRun() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(input_[1]);
    }
    LoaderRun(const LoaderRun&) = delete;
    LoaderRun& operator=(const LoaderRun&) = delete;

    // Whether standard output holds `text` within 20 s.
    bool printed(const std::string& text) const {
        for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
            if (output().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    void send(int signal_number) const { kill(pid_, signal_number); }
    // The exit status once the loader has ended; -1 when it did not end by
    // itself within `limit` (it is killed then) or a signal ended it.
    int finish(std::chrono::milliseconds limit = 10s) {
        int status = 0;
        for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(5ms);
        }
        return -1;
    }
    std::string output() const { return TempDir::contents(output_path_); }
    std::string errors() const { return TempDir::contents(errors_path_); }

private:
    std::string output_path_;
    std::string errors_path_;
    int input_[2] = {-1, -1};
    pid_t pid_ = -1;
};

class StopOnVethPair : public testing::Test {
protected:
    void SetUp() override {
        if (getenv("HL_IFACE") == nullptr) GTEST_SKIP() << "needs the test namespace (run_in_netns.sh)";
    }
};

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Host-interface requests of `opcode` the loader sent (to the device's address).
int requests_of(const std::vector<std::vector<uint8_t>>& frames, int opcode) {
    const uint8_t device[6] = {0x0a, 0x3f, 0x71, 0x00, 0x00, 0x01};
    int count = 0;
    for (const auto& f : frames)
        if (f.size() >= 32 && std::equal(device, device + 6, f.begin()) && f[14] == 0x80 && f[15] == 0x01 &&
            f[23] == opcode)
            ++count;
    return count;
}

const char* const SLEEP_SCRIPT = "W,100,11\nR,100\nPRINT,0,before-sleep\nSLEEP,8000\nR,100\n";
const char* const PRINTED_BEFORE_SLEEP = "W,0x000100:0x00000011\nR,0x000100:0x00000011\nbefore-sleep\n";

// The value read and the PRINT line, done before the signal, are in the
// file; the read after the sleep is never sent.
TEST_F(StopOnVethPair, ScriptStoppedInItsSleepKeepsWhatItPrinted) {
    TempDir dir;
    const std::string capture = dir.path("device.pcap");
    DevsimProcess devsim({"--capture", capture});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    const std::string script = dir.file("sleep.txt", SLEEP_SCRIPT);
    for (const StopLine& c : STOP_LINES) {
        SCOPED_TRACE(c.line);
        LoaderRun run(dir, {"-d", "3", "-m", "1", "-a", "192.0.2.2", "-s", script});
        ASSERT_TRUE(run.printed("before-sleep\n")) << run.output() << run.errors();
        const auto signalled = std::chrono::steady_clock::now();
        run.send(c.signal_number);
        EXPECT_EQ(run.finish(), 128 + c.signal_number);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, 5s) << "the sleep was cut short";
        EXPECT_EQ(run.output(), PRINTED_BEFORE_SLEEP);
        EXPECT_EQ(run.errors(), c.line);
    }
    devsim.stop();
    const auto frames = captured_frames(capture);
    EXPECT_EQ(requests_of(frames, 3), 3) << "one write per run";
    EXPECT_EQ(requests_of(frames, 2), 3) << "one read per run: none after the sleep";
}

// Started with SIGINT ignored (a background job), the loader stays deaf to
// it and finishes the script.
TEST_F(StopOnVethPair, SignalIgnoredAtStartStaysIgnored) {
    TempDir dir;
    DevsimProcess devsim({});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    const std::string script = dir.file("sleep.txt", "R,100\nPRINT,0,before-sleep\nSLEEP,1000\nPRINT,0,done\n");
    LoaderRun run(dir, {"-d", "3", "-m", "1", "-a", "192.0.2.2", "-s", script}, {SIGINT});
    ASSERT_TRUE(run.printed("before-sleep\n")) << run.output() << run.errors();
    run.send(SIGINT);
    EXPECT_EQ(run.finish(), 0);
    EXPECT_EQ(run.output(), "R,0x000100:0x00000000\nbefore-sleep\ndone\nLoaded 4 commands from file.\n");
    EXPECT_EQ(run.errors(), "");
}

// A station that never acknowledges the end of its test holds TEST_NETWORK
// without limit; stopped there, the run keeps the station list and the
// pair's line, and asks no station for anything more.
TEST_F(StopOnVethPair, NetworkTestStoppedWhileAStationNeverEndsItsTest) {
    TempDir dir;
    const std::string capture = dir.path("wire.pcap");
    DevsimProcess devsim({"--node", NODE_B, "--no-end-acks", "--ack-gap-ms", "5", "--capture", capture});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    const std::string script = dir.file("network.txt", std::string("TEST_NETWORK,") + DEVICE +
                                                           "\nnumacks=2\nnpkts=100\nlength=64\ndgen_type=1\n"
                                                           "TEST_NETWORK_END\n");
    LoaderRun run(dir, {"-d", "2", "-m", "1", "-a", "192.0.2.2", "-s", script});
    ASSERT_TRUE(run.printed("after the test is done:\n")) << run.output() << run.errors();
    std::this_thread::sleep_for(300ms);  // well past the gap the end's acknowledgements would come in
    run.send(SIGINT);
    EXPECT_EQ(run.finish(), 130);
    const std::string output = run.output();
    EXPECT_NE(output.find("02:00:00:00:00:0b\n"), std::string::npos) << output;
    EXPECT_NE(output.find("performing test : SA = a 3f 71 0 0 1 , DA = 2 0 0 0 0 b\n"), std::string::npos);
    // It ends in the wait: its mark of an awaited acknowledgement, not a
    // complete line, reaches the file with the flush at the end.
    const size_t wait_at = output.find("after the test is done:\n");
    ASSERT_NE(wait_at, std::string::npos);
    EXPECT_TRUE(ends_with(output, " - ")) << output;
    for (const char* later : {"REPORT_STATS", "PER =", "DISABLE_CERT", "Failed", "ERROR"})
        EXPECT_EQ(output.find(later, wait_at), std::string::npos) << later;
    EXPECT_EQ(run.errors(), "hostlink: stopped by SIGINT\n");

    // On the wire: the OK to STARTSEND and the two acknowledgements before
    // the test, none after it; no statistics or DISABLECERT request.
    devsim.stop();
    const auto frames = captured_frames(capture);
    int start_sequence = -1;
    int answers = 0;
    int later_requests = 0;
    for (const auto& f : frames) {
        if (f.size() < 26 || f[14] != 0x80 || f[15] != 0x02) continue;
        const int sequence = f[24] << 8 | f[25];
        if (f[19] == 0x12) start_sequence = sequence;
        if (f[19] == 0x00 && sequence == start_sequence) ++answers;
        if (f[19] == 0x17 || f[19] == 0x09) ++later_requests;
    }
    EXPECT_NE(start_sequence, -1);
    EXPECT_EQ(answers, 3);
    EXPECT_EQ(later_requests, 0);
}

// Between tickets the stop touches no file; inside one it deletes the
// ticket as the end of a ticket does and writes no result.
TEST_F(StopOnVethPair, WaitModeStoppedBetweenAndInsideTickets) {
    TempDir dir;
    dir.file("result.txt", "old\n");
    {
        LoaderRun run(dir, {"-m", "1", "-a", "192.0.2.2", "-w"});
        ASSERT_TRUE(run.printed("waiting for script file \"script.txt\": ")) << run.output() << run.errors();
        run.send(SIGTERM);
        EXPECT_EQ(run.finish(), 143);
        const std::string output = run.output();
        EXPECT_EQ(output.find("found!"), std::string::npos) << output;
        EXPECT_TRUE(ends_with(output, ".")) << output;
        EXPECT_EQ(run.errors(), "hostlink: stopped by SIGTERM\n");
    }
    {
        dir.file("long.txt", "PRINT,0,ticket-started\nSLEEP,8000\nPRINT,0,ticket-done\n");
        LoaderRun run(dir, {"-m", "1", "-a", "192.0.2.2", "-w"});
        ASSERT_TRUE(run.printed("waiting for script file")) << run.output() << run.errors();
        dir.file("script.txt", "long.txt\n");
        ASSERT_TRUE(run.printed("ticket-started\n")) << run.output() << run.errors();
        run.send(SIGHUP);
        EXPECT_EQ(run.finish(), 129);
        EXPECT_TRUE(ends_with(run.output(), "found!\nticket-started\n")) << run.output();
        EXPECT_EQ(run.errors(), "hostlink: stopped by SIGHUP\n");
        EXPECT_FALSE(std::filesystem::exists(dir.path("script.txt")));
    }
    EXPECT_EQ(TempDir::contents(dir.path("result.txt")), "old\n");
}

// The menus waiting for a line at the console end at the signal, with no
// complaint about the line that never came.
TEST_F(StopOnVethPair, MenusStoppedWhileTheyWaitForInput) {
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        const char* prompt;
    } cases[] = {
        {"interface menu", {"-m", "1"}, "Select interface:(0-1)\n"},
        {"main menu", {"-m", "1", "-a", "192.0.2.2"}, "99.  exit this menu\n\nEnter: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        LoaderRun run(dir, c.arguments);
        ASSERT_TRUE(run.printed(c.prompt)) << run.output() << run.errors();
        run.send(SIGINT);
        EXPECT_EQ(run.finish(), 130);
        EXPECT_TRUE(ends_with(run.output(), c.prompt)) << run.output();
        EXPECT_EQ(run.errors(), "hostlink: stopped by SIGINT\n");
    }
}

}  // namespace
