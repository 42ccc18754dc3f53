#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "devsim_process.h"
#include "run_program.h"
#include "text_count.h"

// `hostlink -w` and the menu against devsim on the veth pair.
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::vector<std::string> CONNECT = {"-m", "1", "-a", "192.0.2.2"};

class MenuEndToEnd : public testing::Test {
protected:
    fs::path directory;

    void SetUp() override {
        if (getenv("HL_IFACE") == nullptr) GTEST_SKIP() << "needs the test namespace (run_in_netns.sh)";
        std::string pattern = (fs::temp_directory_path() / "menu_e2e_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
    }
    void TearDown() override {
        if (!directory.empty()) fs::remove_all(directory);
    }

    std::string path(const char* name) const { return (directory / name).string(); }

    std::string read_file(const char* name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // A controlling program writes the whole ticket at once, under another
    // name first.
    void drop_ticket(const std::string& line) const {
        std::ofstream(path("ticket.tmp"), std::ios::binary) << line;
        fs::rename(path("ticket.tmp"), path("script.txt"));
    }

    bool ticket_taken() const {
        for (int i = 0; i < 1000; ++i) {
            if (!fs::exists(path("script.txt"))) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    static std::vector<std::string> with(std::vector<std::string> options, const std::vector<std::string>& more) {
        options.insert(options.end(), more.begin(), more.end());
        return options;
    }
};

TEST_F(MenuEndToEnd, WaitModeServesTickets) {
    DevsimProcess devsim({"--dump", "7000:4=" + path("word.dump")});
    ASSERT_TRUE(devsim.ready());
    std::ofstream(path("good.txt")) << "W,7000,CAFEF00D\n";

    RunningProgram hostlink(HOSTLINK_BINARY, with(CONNECT, {"-w"}), directory.string());
    ASSERT_TRUE(hostlink.started());

    drop_ticket("good.txt\n");
    ASSERT_TRUE(ticket_taken());
    for (int i = 0; i < 500 && !fs::exists(path("result.txt")); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(read_file("result.txt").rfind("hostlink ", 0), 0u);
    EXPECT_EQ(read_file("result.txt").size(), 9u + 24u + 2u);

    fs::remove(path("result.txt"));
    drop_ticket("missing.txt\n");
    ASSERT_TRUE(ticket_taken());
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(fs::exists(path("result.txt"))) << "a failing script writes no result";

    drop_ticket("ENDING\n");
    ASSERT_TRUE(ticket_taken());
    hostlink.write_input("99\n");
    const ProgramRun run = hostlink.finish(20);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(fs::exists(path("result.txt")));
    EXPECT_EQ(count_of(run.output, "waiting for script file \"script.txt\": "), 3u) << run.output;
    EXPECT_NE(run.output.find("\nEnter: "), std::string::npos) << "back in the menu after END";

    devsim.stop();
    EXPECT_EQ(read_file("word.dump"), std::string("\x0d\xf0\xfe\xca", 4));
}

// Started without a console (standard input /dev/null, as under a service
// manager or nohup), the wait mode keeps serving tickets, without spinning,
// until the END ticket; the menu then meets the end of input and leaves.
TEST_F(MenuEndToEnd, WaitModeWithoutConsoleServesUntilEnd) {
    DevsimProcess devsim({"--dump", "7000:4=" + path("word.dump")});
    ASSERT_TRUE(devsim.ready());
    std::ofstream(path("good.txt")) << "W,7000,600D\n";
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    const auto started = std::chrono::steady_clock::now();
    RunningProgram hostlink("/bin/sh",
                            with({"-c", "exec \"$0\" \"$@\" </dev/null", HOSTLINK_BINARY}, with(CONNECT, {"-w"})),
                            directory.string());
    ASSERT_TRUE(hostlink.started());

    std::this_thread::sleep_for(1500ms);
    drop_ticket("good.txt\n");
    ASSERT_TRUE(ticket_taken()) << "the mode ended at the end of input";
    for (int i = 0; i < 500 && !fs::exists(path("result.txt")); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(fs::exists(path("result.txt")));
    drop_ticket("END\n");
    ASSERT_TRUE(ticket_taken());
    const ProgramRun run = hostlink.finish(20);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    const double cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
                       seconds(before.ru_stime);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_LT(cpu, 0.25 * wall) << "CPU " << cpu << " s in " << wall << " s";
    EXPECT_NE(run.output.find("found!\nwaiting for script file \"script.txt\": "), std::string::npos) << run.output;
    devsim.stop();
    EXPECT_EQ(read_file("word.dump"), std::string("\x0d\x60\0\0", 4));
}

TEST_F(MenuEndToEnd, KeyEndsWaitModeAndMenuReadsIt) {
    DevsimProcess devsim({});
    ASSERT_TRUE(devsim.ready());
    RunningProgram hostlink(HOSTLINK_BINARY, with(CONNECT, {"-w"}), directory.string());
    std::this_thread::sleep_for(300ms);
    hostlink.write_input("12 \n");
    const ProgramRun run = hostlink.finish(20);
    EXPECT_EQ(run.status, 0);
    const size_t waiting = run.output.find("waiting for script file");
    ASSERT_NE(waiting, std::string::npos) << run.output;
    EXPECT_EQ(count_of(run.output.substr(waiting), "\nEnter: "), 2u)
        << "\"12 \" matched nothing and the menu came again";
}

// The largest loopback frame (1528 bytes) exceeds the standard 1500-byte MTU.
int set_veth_mtu(int mtu) {
    const std::string command = "ip link set dev hl0 mtu " + std::to_string(mtu) + " && ip link set dev dv0 mtu " +
                                std::to_string(mtu);
    return std::system(command.c_str());
}

TEST_F(MenuEndToEnd, LoopbackFramesReachTheDevice) {
    ASSERT_EQ(set_veth_mtu(1600), 0);
    struct RestoreMtu {
        ~RestoreMtu() { set_veth_mtu(1500); }
    } restore_mtu;
    DevsimProcess devsim({"--capture", path("capture.pcap")});
    ASSERT_TRUE(devsim.ready());
    const ProgramRun run =
        run_program(HOSTLINK_BINARY, CONNECT, "482\n2000\n2\n482\n10\n1\n482\n0\n20\n99\n", 30);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.find("error at packet"), std::string::npos) << run.output;
    devsim.stop();

    std::vector<size_t> to_device;
    for (const auto& frame : captured_frames(path("capture.pcap"))) {
        if (frame.size() >= 14 && frame[12] == 0x88 && frame[13] == 0x6C && frame[0] == 0x0A && frame[5] == 0x01) {
            to_device.push_back(frame.size());
        }
    }
    ASSERT_EQ(to_device.size(), 23u);
    EXPECT_EQ(to_device[0], 1528u);
    EXPECT_EQ(to_device[1], 1528u);
    EXPECT_EQ(to_device[2], 64u);
    bool vary = false;
    for (size_t i = 3; i < to_device.size(); ++i) {
        EXPECT_GE(to_device[i], 64u);
        EXPECT_LE(to_device[i], 1499u);
        if (to_device[i] != to_device[3]) vary = true;
    }
    EXPECT_TRUE(vary);
}

TEST_F(MenuEndToEnd, WordEntriesAndEndOfInput) {
    DevsimProcess devsim({});
    ASSERT_TRUE(devsim.ready());
    const ProgramRun run = run_program(HOSTLINK_BINARY, CONNECT, "74\n7000\n12abc\n73\n7000\n777\n0x25\n73", 30);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("ERROR: Invalid input!\nValue of memory location (0x007000) was set to 12 (0x0000000c)\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Value of memory location (0x007000) is 0x0000000c (12)\n"), std::string::npos);
    EXPECT_NE(run.output.find("Value of AFE memory location (0x000005) is "), std::string::npos);
}

}  // namespace
