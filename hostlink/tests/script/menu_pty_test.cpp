#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "fake_device.h"
#include "hostif/host_interface.h"
#include "hostif/pause.h"
#include "output_capture.h"
#include "script/menu.h"
#include "text_count.h"
#include "zdp/zdp_client.h"

// The menu with a pseudo-terminal as its console: lines typed with the
// terminal's own editing, keys read one by one while a dump waits.
namespace {

using namespace std::chrono_literals;

void skip_pause(int) {}

class MenuOnTerminal : public testing::Test {
protected:
    int master = -1;
    int slave = -1;
    int saved_stdin = -1;

    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminal";
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        saved_stdin = dup(STDIN_FILENO);
        dup2(slave, STDIN_FILENO);
    }
    void TearDown() override {
        if (saved_stdin >= 0) {
            dup2(saved_stdin, STDIN_FILENO);
            close(saved_stdin);
        }
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
    void type(const std::string& text) { ASSERT_EQ(write(master, text.data(), text.size()), (ssize_t)text.size()); }

    // Runs the menu on its own thread; end_menu() waits for it.
    void start_menu(ScriptedLink& link, ZdpClient& zdp) {
        menu_ = std::thread([&] {
            status = run_menu(link, zdp, -1);
            ended_ = true;
        });
    }
    // A menu still waiting for input after 10 s (it took the keys otherwise
    // than meant) is hung up on, so that a failing test still ends.
    void end_menu() {
        for (int i = 0; i < 1000 && !ended_; ++i) std::this_thread::sleep_for(10ms);
        if (!ended_) {
            ADD_FAILURE() << "the menu did not end";
            close(master);
            master = -1;
        }
        menu_.join();
    }
    int status = -1;

private:
    std::thread menu_;
    std::atomic<bool> ended_{false};
};

TEST_F(MenuOnTerminal, DumpAsksForKeyAfterEachPartAndRestoresTerminal) {
    ScriptedLink link;
    FakeDevice device{link};
    ZdpClient zdp;
    reset_header_template();
    forget_reply_history();
    const PauseFunction old_pause = set_pause_function(skip_pause);
    for (uint32_t i = 0; i < 0x300; ++i) device.memory[0x1000 + i] = static_cast<uint8_t>(i);

    capture_stdout();
    start_menu(link, zdp);
    type("821\n1000\n300\n4\n\n");
    std::this_thread::sleep_for(200ms);
    type("a");
    std::this_thread::sleep_for(200ms);
    type("b");
    std::this_thread::sleep_for(200ms);
    type("99\n");
    end_menu();
    const std::string output = captured_stdout();
    set_pause_function(old_pause);

    EXPECT_EQ(status, 0);
    ASSERT_EQ(device.requests.size(), 2u);
    EXPECT_EQ(device.requests[0].length, 512);
    EXPECT_EQ(device.requests[1].length, 256);
    EXPECT_EQ(count_of(output, "Press any key to continue\n"), 2u);
    termios mode{};
    ASSERT_EQ(tcgetattr(slave, &mode), 0);
    EXPECT_NE(mode.c_lflag & ICANON, 0u) << "lines are typed in the terminal's own mode again";
    EXPECT_NE(mode.c_lflag & ECHO, 0u);
}

TEST_F(MenuOnTerminal, HangUpEndsMenu) {
    ScriptedLink link;
    ZdpClient zdp;
    capture_stdout();
    start_menu(link, zdp);
    type("911\n");
    std::this_thread::sleep_for(100ms);
    close(master);
    master = -1;
    end_menu();
    captured_stdout();
    EXPECT_EQ(status, 0);
}

}  // namespace
