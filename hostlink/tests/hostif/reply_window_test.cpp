#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "fake_device.h"
#include "hostif/host_interface.h"
#include "output_capture.h"

// How a request finds its reply: frames that are no answer to it (waiting
// before it was sent, or of any sub-protocol but 80 01) are passed over, a
// late reply is waited for, an unanswered send is sent again. Time is the
// scripted link's simulated clock.
namespace {

constexpr int64_t MS = 1000;
constexpr uint32_t STALE_WORD = 0x22222222;

ScriptedLink::Frame zdp_frame() {
    ScriptedLink::Frame frame(60, 0);
    frame[14] = 0x80;
    frame[15] = 0x02;
    frame[16] = 0x00;
    frame[17] = 0x0A;
    return frame;
}

// What a write reply of the word STALE_WORD looks like: a stale frame that
// would pass for the answer to a 4-byte read.
ScriptedLink::Frame stale_write_reply() {
    ScriptedLink::Frame frame(60, 0);
    frame[14] = 0x80;
    frame[15] = 0x01;
    frame[16] = 16;
    frame[23] = OPCODE_WRITE_MEMORY;
    put_le32(frame.data() + 32, STALE_WORD);
    return frame;
}

class ReplyWindow : public HostifTest {
public:
    void SetUp() override {
        HostifTest::SetUp();
        device.set_word(0x100, 0xCAFEF00D);
        device.serial[0x07] = 0xA5;
        answer_ = link.responder;
    }

    // The device's answer to `sent`, then `deliver` decides where it goes.
    using Delivery = std::function<void(int send, const ScriptedLink::Frame& reply, std::deque<ScriptedLink::Frame>&)>;
    void deliver_with(Delivery deliver) {
        link.responder = [this, deliver, sends = 0](const ScriptedLink::Frame& sent,
                                                   std::deque<ScriptedLink::Frame>& replies) mutable {
            std::deque<ScriptedLink::Frame> own;
            answer_(sent, own);
            ++sends;
            for (const auto& reply : own) deliver(sends, reply, replies);
        };
    }

private:
    ScriptedLink::Responder answer_;
};

struct Timing {
    const char* name;
    // Sets up the link before the request; the sends and the simulated time
    // the request then takes from its first send.
    std::function<void(ReplyWindow&, ScriptedLink&)> arrange;
    size_t sends;
    int64_t took_us;
    // Whether the next request first waits for the device to be quiet.
    bool quiet_after;
};

void PrintTo(const Timing& t, std::ostream* os) { *os << t.name; }

struct Operation {
    const char* name;
    // Runs the request; true with the right result.
    std::function<bool(ScriptedLink&, FakeDevice&)> run;
};

const Operation OPERATIONS[] = {
    {"read_memory",
     [](ScriptedLink& link, FakeDevice&) {
         uint32_t value = 0;
         return read_word(link, 0x100, &value) == 0 && value == 0xCAFEF00Du;
     }},
    {"read_serial",
     [](ScriptedLink& link, FakeDevice&) {
         uint32_t value = 0;
         return read_serial(link, 0x07, &value) == 0 && value == 0xA5u;
     }},
    {"write_memory",
     [](ScriptedLink& link, FakeDevice& device) {
         return write_word(link, 0x200, 0x5A5A0001) == 0 && device.word(0x200) == 0x5A5A0001u;
     }},
};

// The device's own reply under another sub-protocol (bytes 14-15), with
// other data: only those two bytes tell it from the reply, so a loader that
// took it would read STALE_WORD and leave the real reply waiting.
Timing foreign_frame_before_the_reply(const char* name, uint8_t byte14, uint8_t byte15) {
    return Timing{name,
                  [byte14, byte15](ReplyWindow& test, ScriptedLink&) {
                      test.deliver_with([byte14, byte15](int, const ScriptedLink::Frame& reply,
                                                         std::deque<ScriptedLink::Frame>& replies) {
                          ScriptedLink::Frame foreign = reply;
                          foreign[14] = byte14;
                          foreign[15] = byte15;
                          put_le32(foreign.data() + 32, STALE_WORD);
                          replies.push_back(foreign);
                          replies.push_back(reply);
                      });
                  },
                  1, 0, false};
}

class ReplyTiming : public ReplyWindow, public testing::WithParamInterface<Timing> {};

TEST_P(ReplyTiming, EveryOperationGetsItsOwnReply) {
    bool quiet_owed = false;
    for (const Operation& operation : OPERATIONS) {
        link.sent.clear();
        link.sent_at_us.clear();
        GetParam().arrange(*this, link);
        const int64_t start = ScriptedLink::now_us;
        EXPECT_TRUE(operation.run(link, device)) << operation.name;
        ASSERT_EQ(link.sent.size(), GetParam().sends) << operation.name;
        EXPECT_EQ(link.sent_at_us[0] - start, quiet_owed ? 200 * MS : 0) << operation.name;
        EXPECT_EQ(ScriptedLink::now_us - link.sent_at_us[0], GetParam().took_us) << operation.name;
        for (size_t i = 1; i < link.sent.size(); ++i) {
            EXPECT_EQ(link.sent[i], link.sent[0]) << operation.name << ": resent as first sent";
            EXPECT_EQ(link.sent_at_us[i] - link.sent_at_us[i - 1], 100 * MS) << operation.name;
        }
        EXPECT_TRUE(link.replies.empty()) << operation.name;
        quiet_owed = GetParam().quiet_after;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyTiming,
    testing::Values(
        Timing{"stale_frame_waiting",
               [](ReplyWindow&, ScriptedLink& link) { link.replies.push_back(stale_write_reply()); }, 1, 0, false},
        foreign_frame_before_the_reply("test_protocol_80_02_before_the_reply", 0x80, 0x02),
        foreign_frame_before_the_reply("sub_protocol_80_00_before_the_reply", 0x80, 0x00),
        foreign_frame_before_the_reply("sub_protocol_80_03_before_the_reply", 0x80, 0x03),
        foreign_frame_before_the_reply("echoed_loopback_80_81_before_the_reply", 0x80, 0x81),
        foreign_frame_before_the_reply("frame_not_starting_with_80_before_the_reply", 0x03, 0x01),
        Timing{"reply_after_60_ms",
               [](ReplyWindow& test, ScriptedLink& link) {
                   test.deliver_with([&link](int, const ScriptedLink::Frame& reply, std::deque<ScriptedLink::Frame>&) {
                       link.deliver_at(ScriptedLink::now_us + 60 * MS, reply);
                   });
               },
               1, 60 * MS, false},
        Timing{"reply_only_to_the_third_send",
               [](ReplyWindow& test, ScriptedLink&) {
                   test.deliver_with(
                       [](int send, const ScriptedLink::Frame& reply, std::deque<ScriptedLink::Frame>& replies) {
                           if (send % 3 == 0) replies.push_back(reply);
                       });
               },
               3, 200 * MS, true}),
    [](const auto& info) { return std::string(info.param.name); });

// After the first, each request waits until the silent device has been
// quiet for 200 ms: late replies to the one before cannot answer it.
TEST_F(ReplyWindow, UnansweredRequestsSendFiveTimesInHalfASecond) {
    device.silent = true;
    int64_t quiet_before = 0;
    for (const Operation& operation : OPERATIONS) {
        link.sent.clear();
        link.sent_at_us.clear();
        const int64_t start = ScriptedLink::now_us;
        EXPECT_FALSE(operation.run(link, device)) << operation.name;
        ASSERT_EQ(link.sent.size(), 5u) << operation.name;
        EXPECT_EQ(link.sent_at_us[0] - start, quiet_before) << operation.name;
        EXPECT_EQ(ScriptedLink::now_us - link.sent_at_us[0], 500 * MS) << operation.name;
        quiet_before = 200 * MS;
    }
}

TEST_F(ReplyWindow, StaleFramesAreDroppedWithOneCheckAndCountedAtDebugThree) {
    uint32_t value = 0;
    ASSERT_EQ(read_word(link, 0x100, &value), 0);
    EXPECT_EQ(link.waiting_checks, 1);  // nothing waited: one check, nothing taken
    link.replies = {stale_write_reply(), zdp_frame()};
    debug_level = 3;
    capture_stdout();
    ASSERT_EQ(read_word(link, 0x100, &value), 0);
    EXPECT_EQ(captured_stdout(), "Dropped 2 stale frame(s) before the request\n");
    EXPECT_EQ(value, 0xCAFEF00Du);
    EXPECT_EQ(link.waiting_taken, 2);
}

TEST_F(ReplyWindow, SecondReplyToAResentWriteIsDroppedBeforeTheNextRequest) {
    // The device answers 150 ms late: the first send's reply answers the
    // write during the second window, the second send's reply comes later.
    deliver_with([this](int, const ScriptedLink::Frame& reply, std::deque<ScriptedLink::Frame>&) {
        link.deliver_at(ScriptedLink::now_us + 150 * MS, reply);
    });
    ASSERT_EQ(write_word(link, 0x104, STALE_WORD), 0);
    EXPECT_EQ(ScriptedLink::now_us, 150 * MS);
    ScriptedLink::now_us += 1000 * MS;  // a pause in the script
    uint32_t value = 1;
    ASSERT_EQ(read_word(link, 0x108, &value), 0);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(link.waiting_taken, 1);
}

// The loader is kept from running during the quiet after a resent write
// (a busy PC): when it looks again the clock says quiet, but the second
// reply came meanwhile and waits on the link. From a device that does not
// echo, it would pass for the answer to the next read.
TEST_F(ReplyWindow, ReplyThatCameWhileTheLoaderWasKeptFromRunningIsDroppedInTheQuiet) {
    device.echoes = false;
    deliver_with([this](int, const ScriptedLink::Frame& reply, std::deque<ScriptedLink::Frame>& replies) {
        if (frame_opcode(link.sent.back()) == OPCODE_WRITE_MEMORY)
            link.deliver_at(ScriptedLink::now_us + 150 * MS, reply);
        else
            replies.push_back(reply);
    });
    ASSERT_EQ(write_word(link, 0x104, STALE_WORD), 0);
    ASSERT_EQ(link.sent.size(), 2u);
    int looks = 0;
    link.on_receive = [&] { link.idle_receive_us = ++looks == 2 ? 300 * MS : 1 * MS; };
    uint32_t value = 0;
    ASSERT_EQ(read_word(link, 0x100, &value), 0);
    EXPECT_EQ(value, 0xCAFEF00Du);
    EXPECT_EQ(link.waiting_taken, 1);
}

TEST_F(ReplyWindow, PollPassesOverTestProtocolFrames) {
    deliver_with([](int, const ScriptedLink::Frame& reply, std::deque<ScriptedLink::Frame>& replies) {
        replies.push_back(zdp_frame());
        replies.push_back(reply);
    });
    uint32_t value = 0;
    EXPECT_EQ(poll_word(link, 0x100, 4, 5, &value), 4);
    EXPECT_EQ(value, 0xCAFEF00Du);
    EXPECT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(CountedPauses::count, 0);
}

TEST_F(ReplyWindow, EveryWindowWithoutItsReplyIsOneLineAtDebugThree) {
    const std::string first_two =
        "No reply within 100 ms to send 1 of 5\nNo reply within 100 ms to send 2 of 5\n";
    const std::string quiet = "Waited 200 ms for the device to be quiet, dropped 0 more frame(s)\n";
    struct Case {
        int level;
        bool silent;
        std::string printed;
    };
    const Case cases[] = {
        {3, false, first_two},
        {3, true, quiet + first_two + "No reply within 100 ms to send 3 of 5\nNo reply within 100 ms to send 4 of 5\n"
                                      "No reply within 100 ms to send 5 of 5\n"},
        {2, false, ""},
    };
    for (const Case& c : cases) {
        deliver_with([](int send, const ScriptedLink::Frame& reply, std::deque<ScriptedLink::Frame>& replies) {
            if (send % 3 == 0) replies.push_back(reply);
        });
        device.silent = c.silent;
        debug_level = c.level;
        uint32_t value = 0;
        capture_stdout();
        EXPECT_EQ(read_word(link, 0x100, &value), c.silent ? -1 : 0);
        EXPECT_EQ(captured_stdout(), c.printed) << "level " << c.level << (c.silent ? ", silent" : "");
    }
}

TEST_F(ReplyWindow, ReadWhoseSendFailsStopsAtOnce) {
    link.fail_sends = true;
    uint32_t value = 0;
    capture_stdout();
    EXPECT_EQ(read_word(link, 0x100, &value), -1);
    EXPECT_EQ(captured_stdout(), "error in sendto, errno=268\n");
    EXPECT_EQ(ScriptedLink::now_us, 0);
}

}  // namespace
