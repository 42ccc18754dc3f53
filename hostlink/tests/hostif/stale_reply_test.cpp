#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "fake_device.h"
#include "hostif/host_interface.h"
#include "output_capture.h"
#include "text_count.h"

// Replies that answer an earlier request (late, duplicated, or the wrong
// size for this one) never answer the current one; after trouble the next
// request waits for the device to fall quiet; drains and waits last the
// time they are given. Time is the scripted link's simulated clock.
namespace {

constexpr int64_t MS = 1000;
constexpr uint32_t WORD = 0xCAFEF00D;
constexpr uint32_t STALE_WORD = 0x22222222;

using Frame = ScriptedLink::Frame;

Frame host_interface_frame(int size, int length_field, uint8_t opcode, uint32_t address) {
    Frame frame(size, 0);
    frame[14] = 0x80;
    frame[15] = 0x01;
    frame[16] = uint8_t(length_field);
    frame[17] = uint8_t(length_field >> 8);
    frame[23] = opcode;
    if (size >= 32) put_le32(frame.data() + 28, address);
    if (size >= 36) put_le32(frame.data() + 32, STALE_WORD);
    return frame;
}

Frame zdp_frame() {
    Frame frame(60, 0);
    frame[14] = 0x80;
    frame[15] = 0x02;
    return frame;
}

class StaleReplies : public HostifTest {
protected:
    void SetUp() override {
        HostifTest::SetUp();
        device.set_word(0x100, WORD);
        answer_ = link.responder;
        link.responder = [this](const Frame& sent, std::deque<Frame>& replies) {
            ++sends_;
            std::deque<Frame> own;
            if (!device_away()) answer_(sent, own);
            if (on_send) on_send(sends_, sent, own, replies);
            for (auto& reply : own) replies.push_back(reply);
            if (!own.empty()) last_reply = own.back();
        };
    }

    // Two reads and two writes, the write last: the device is known to echo
    // both kinds.
    void learn_that_the_device_echoes() {
        uint32_t value = 0;
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(read_word(link, 0x100, &value), 0);
            ASSERT_EQ(write_word(link, 0x104, STALE_WORD), 0);
        }
    }

    bool device_away() const { return ScriptedLink::now_us < away_until_us; }

    // Sees each send (counted from 1) and the device's own replies to it
    // before they are queued; may add frames to the queue first.
    std::function<void(int send, const Frame& sent, std::deque<Frame>& own, std::deque<Frame>& queue)> on_send;
    Frame last_reply;
    int64_t away_until_us = 0;  // the device answers nothing before then

private:
    ScriptedLink::Responder answer_;
    int sends_ = 0;
};

// A stale frame comes right after the read is sent, before its own reply.
struct StaleCase {
    const char* name;
    bool echoes;
    std::function<Frame(const Frame& previous_reply)> stale;
};

void PrintTo(const StaleCase& c, std::ostream* os) { *os << c.name; }

class StaleFrameBeforeTheReply : public StaleReplies, public testing::WithParamInterface<StaleCase> {};

TEST_P(StaleFrameBeforeTheReply, IsSkippedAndTheReadGetsItsOwnReply) {
    device.echoes = GetParam().echoes;
    learn_that_the_device_echoes();
    const Frame previous = last_reply;
    on_send = [&](int, const Frame& sent, std::deque<Frame>&, std::deque<Frame>& queue) {
        if (frame_opcode(sent) == OPCODE_READ_MEMORY) queue.push_back(GetParam().stale(previous));
    };
    link.sent.clear();
    debug_level = 3;
    uint32_t value = 0;
    capture_stdout();
    EXPECT_EQ(read_word(link, 0x100, &value), 0);
    const std::string printed = captured_stdout();
    EXPECT_EQ(value, WORD);
    EXPECT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(count_of(printed, "Skipped a stale reply: "), 1u) << printed;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StaleFrameBeforeTheReply,
    testing::Values(
        // The size of a 4-byte write reply fits a 4-byte read: only the
        // opcode and address tell it from the read's reply.
        StaleCase{"write_reply_from_an_echoing_device", true,
                  [](const Frame&) { return host_interface_frame(60, 16, OPCODE_WRITE_MEMORY, 0x104); }},
        StaleCase{"duplicate_of_the_previous_reply", true, [](const Frame& previous) { return previous; }},
        StaleCase{"longer_write_reply_from_a_device_that_does_not_echo", false,
                  [](const Frame&) { return host_interface_frame(60, 12 + 256, 0, 0); }},
        StaleCase{"read_reply_whose_length_exceeds_its_frame", false,
                  [](const Frame&) { return host_interface_frame(34, 16, 0, 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

// While a kind of request is still learning whether the device repeats
// opcode and address, or has learnt that it does not, a late copy of an
// earlier request's reply that repeats that request is no answer to it.
struct EarlierCopyCase {
    const char* name;
    bool reads_echo;       // writes always do
    const char* before;    // requests answered first: R a read, W a write
    char copied_into;      // the request sent while the copy of the last reply is on its way
    bool kind_then_known;  // the copy did not keep the kind from learning that it echoes
};

void PrintTo(const EarlierCopyCase& c, std::ostream* os) { *os << c.name; }

class EarlierRequestsCopy : public StaleReplies, public testing::WithParamInterface<EarlierCopyCase> {
protected:
    // Runs one request; true with the right result. `stale`, when given, is
    // queued right after the request is sent, before its own reply.
    bool request(char kind, const Frame* stale = nullptr) {
        copy_ = stale;
        if (kind == 'R') {
            uint32_t value = 0;
            return read_word(link, 0x100, &value) == 0 && value == WORD;
        }
        next_write_ += 4;
        return write_word(link, next_write_, next_write_ ^ 0x5A5A0000u) == 0 &&
               device.word(next_write_) == (next_write_ ^ 0x5A5A0000u);
    }

    void SetUp() override {
        StaleReplies::SetUp();
        on_send = [this](int, const Frame& sent, std::deque<Frame>& own, std::deque<Frame>& queue) {
            if (!GetParam().reads_echo && frame_opcode(sent) == OPCODE_READ_MEMORY)
                for (Frame& reply : own) {
                    reply[23] = 0;
                    put_le32(reply.data() + 28, 0);
                }
            if (copy_) queue.push_back(*copy_);
            copy_ = nullptr;
        };
    }

private:
    const Frame* copy_ = nullptr;
    uint32_t next_write_ = 0x400;
};

TEST_P(EarlierRequestsCopy, IsSkippedAndTheRequestGetsItsOwnReply) {
    for (const char* kind = GetParam().before; *kind; ++kind) ASSERT_TRUE(request(*kind));
    const Frame copy = last_reply;
    const char copied_into = GetParam().copied_into;
    debug_level = 3;
    link.sent.clear();
    capture_stdout();
    const bool right = request(copied_into, &copy);
    std::string printed = captured_stdout();
    EXPECT_TRUE(right);
    EXPECT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(count_of(printed, "Skipped a stale reply: "), 1u) << printed;
    if (!GetParam().kind_then_known) return;

    // Known to echo now: a frame of the same kind for an address never asked
    // for is skipped too, where a kind taken for not echoing would take it.
    const Frame foreign = host_interface_frame(60, 16, copied_into == 'R' ? OPCODE_READ_MEMORY : OPCODE_WRITE_MEMORY,
                                               0x1F0);
    capture_stdout();
    EXPECT_TRUE(request(copied_into, &foreign));
    printed = captured_stdout();
    EXPECT_EQ(count_of(printed, "Skipped a stale reply: opcode "), 1u) << printed;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EarlierRequestsCopy,
    testing::Values(
        // One read answered, then a write: the copy of the write's reply,
        // with the length of a 4-byte read reply, comes after the next read.
        EarlierCopyCase{"read_still_learning", true, "RW", 'R', true},
        EarlierCopyCase{"first_read_of_the_process", true, "W", 'R', false},
        EarlierCopyCase{"write_still_learning", true, "WR", 'W', true},
        // Read replies carry zeros: only the write reply's echo tells it.
        EarlierCopyCase{"reads_known_not_to_echo", false, "RWW", 'R', false}),
    [](const auto& info) { return std::string(info.param.name); });

// A device whose replies all carry one opcode and address, those of a write
// it was asked for: its reply to anything else looks like that write's late
// copy. Each kind of request is answered once it gives that up, after one
// more send, and by order from then on.
TEST_F(StaleReplies, FixedOpcodeAndAddressThatMeetAnEarlierRequestCostOneMoreSendPerKind) {
    on_send = [](int, const Frame&, std::deque<Frame>& own, std::deque<Frame>&) {
        for (Frame& reply : own) {
            reply[23] = OPCODE_WRITE_MEMORY;
            put_le32(reply.data() + 28, 0x104);
        }
    };
    ASSERT_EQ(write_word(link, 0x104, 0x5A5A0001), 0);

    struct Step {
        const char* name;
        std::function<bool()> run;
        size_t sends;
    };
    uint32_t value = 0;
    const Step steps[] = {
        {"read", [&] { return read_word(link, 0x100, &value) == 0 && value == WORD; }, 6},
        {"read again", [&] { return read_word(link, 0x100, &value) == 0 && value == WORD; }, 1},
        {"write", [&] { return write_word(link, 0x200, 0x5A5A0002) == 0 && device.word(0x200) == 0x5A5A0002u; }, 6},
        {"write again", [&] { return write_word(link, 0x204, 0x5A5A0003) == 0 && device.word(0x204) == 0x5A5A0003u; },
         1},
    };
    for (const Step& step : steps) {
        link.sent.clear();
        link.sent_at_us.clear();
        value = 0;
        EXPECT_TRUE(step.run()) << step.name;
        ASSERT_EQ(link.sent.size(), step.sends) << step.name;
        if (step.sends == 1) continue;
        EXPECT_EQ(link.sent[5], link.sent[0]) << step.name;
        EXPECT_GE(link.sent_at_us[5] - link.sent_at_us[4], 100 * MS + 200 * MS) << step.name << ": a window, then the quiet";
    }
}

// The late copy of the boot mode write that arrives while the device
// restarts is no answer to the poll of address 0: neither when the device
// is known to echo (the learning outlives a reset) nor in the first reset of
// a process, where reads have been answered once at most.
struct ResetCase {
    const char* name;
    bool learnt;
    int mode;
    uint32_t boot_mode;  // what the reset leaves in the register
};

void PrintTo(const ResetCase& c, std::ostream* os) { *os << c.name; }

class LateBootModeReply : public StaleReplies, public testing::WithParamInterface<ResetCase> {};

TEST_P(LateBootModeReply, DoesNotEndTheWaitAfterAReset) {
    if (GetParam().learnt) learn_that_the_device_echoes();
    device.set_word(BOOT_MODE_ADDRESS, 4);
    device.set_word(0, 0x600DB007);
    int64_t reset_at = -1;
    on_send = [&](int, const Frame& sent, std::deque<Frame>&, std::deque<Frame>&) {
        if (frame_address(sent) != RESET_CONTROL_ADDRESS) return;
        reset_at = ScriptedLink::now_us;
        away_until_us = reset_at + 300 * MS;
        link.deliver_at(reset_at + 40 * MS, host_interface_frame(60, 16, OPCODE_WRITE_MEMORY, BOOT_MODE_ADDRESS));
    };
    debug_level = 3;
    capture_stdout();
    EXPECT_EQ(reset_device(link, GetParam().mode), 1);
    const std::string printed = captured_stdout();
    ASSERT_GE(reset_at, 0);
    EXPECT_GE(ScriptedLink::now_us, away_until_us) << "the wait ended while the device was away";
    EXPECT_EQ(count_of(printed, "Skipped a stale reply: opcode 3 at 0x00e00018"), 1u) << printed;
    EXPECT_EQ(device.word(BOOT_MODE_ADDRESS), GetParam().boot_mode);
}

INSTANTIATE_TEST_SUITE_P(Cases, LateBootModeReply,
                         testing::Values(ResetCase{"device_known_to_echo", true, 1, 3},
                                         // A firmware download resets to mode 0 after reading the register once.
                                         ResetCase{"first_reset_of_the_process", false, 0, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// New code on the device may stop repeating opcode and address. Each kind of
// request then needs one more send after a quiet period, and is matched by
// order from then on.
TEST_F(StaleReplies, DeviceThatStopsEchoingAfterAResetIsAnsweredAfterOneMoreSend) {
    learn_that_the_device_echoes();
    on_send = [&](int, const Frame& sent, std::deque<Frame>&, std::deque<Frame>&) {
        if (frame_address(sent) == RESET_CONTROL_ADDRESS) device.echoes = false;
    };
    EXPECT_EQ(reset_device(link, 1), 1);
    EXPECT_FALSE(device.echoes);

    link.sent.clear();
    link.sent_at_us.clear();
    ASSERT_EQ(write_word(link, 0x200, 0x5A5A0001), 0);
    EXPECT_EQ(device.word(0x200), 0x5A5A0001u);
    ASSERT_EQ(link.sent.size(), 6u);
    EXPECT_EQ(link.sent[5], link.sent[0]);
    EXPECT_GE(link.sent_at_us[5] - link.sent_at_us[4], 100 * MS + 200 * MS) << "a window, then the quiet";

    uint32_t value = 0;
    link.sent.clear();
    ASSERT_EQ(read_word(link, 0x100, &value), 0);
    EXPECT_EQ(value, WORD);
    EXPECT_EQ(link.sent.size(), 1u) << "reads learnt it from the wait after the reset";
    link.sent.clear();
    ASSERT_EQ(write_word(link, 0x204, 0x5A5A0002), 0);
    EXPECT_EQ(link.sent.size(), 1u);
}

class QuietAfterTrouble;

// What the first request leaves for the second: how long after the first
// ended the second is sent.
struct QuietCase {
    const char* name;
    std::function<void(QuietAfterTrouble&, ScriptedLink&)> arrange;
    int64_t gap_us;
};

void PrintTo(const QuietCase& c, std::ostream* os) { *os << c.name; }

class QuietAfterTrouble : public StaleReplies, public testing::WithParamInterface<QuietCase> {
public:
    using StaleReplies::on_send;
    using HostifTest::device;

    // The first send of every request goes unanswered.
    void answer_from_the_second_send() {
        on_send = [](int send, const Frame&, std::deque<Frame>& own, std::deque<Frame>&) {
            if (send == 1) own.clear();
        };
    }
};

TEST_P(QuietAfterTrouble, OnlyTroubleDelaysTheNextRequest) {
    GetParam().arrange(*this, link);
    uint32_t value = 0;
    read_word(link, 0x100, &value);
    const int64_t ended = ScriptedLink::now_us;
    on_send = nullptr;
    device.silent = false;
    link.sent.clear();
    link.sent_at_us.clear();
    EXPECT_EQ(write_word(link, 0x300, 7), 0);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent_at_us[0] - ended, GetParam().gap_us);
    EXPECT_EQ(device.word(0x300), 7u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuietAfterTrouble,
    testing::Values(
        QuietCase{"clean_exchange", [](QuietAfterTrouble&, ScriptedLink&) {}, 0},
        QuietCase{"stale_frame_waiting_before_the_send",
                  [](StaleReplies&, ScriptedLink& link) { link.replies.push_back(host_interface_frame(60, 16, 3, 0)); },
                  0},
        QuietCase{"test_protocol_frame_passed_over",
                  [](QuietAfterTrouble& test, ScriptedLink&) {
                      test.on_send = [](int, const Frame&, std::deque<Frame>&, std::deque<Frame>& queue) {
                          queue.push_back(zdp_frame());
                      };
                  },
                  0},
        QuietCase{"reply_to_the_second_send",
                  [](QuietAfterTrouble& test, ScriptedLink&) {
                      test.answer_from_the_second_send();
                  },
                  200 * MS},
        QuietCase{"stale_frame_skipped",
                  [](QuietAfterTrouble& test, ScriptedLink&) {
                      test.on_send = [](int, const Frame&, std::deque<Frame>&, std::deque<Frame>& queue) {
                          queue.push_back(host_interface_frame(60, 12 + 8, 0, 0));
                      };
                  },
                  200 * MS},
        QuietCase{"unanswered", [](QuietAfterTrouble& test, ScriptedLink&) { test.device.silent = true; }, 200 * MS},
        // A late copy 150 ms after the exchange starts the quiet again.
        QuietCase{"late_frame_during_the_quiet",
                  [](QuietAfterTrouble& test, ScriptedLink& link) {
                      test.on_send = [&link](int send, const Frame&, std::deque<Frame>& own, std::deque<Frame>&) {
                          if (send != 1) return;
                          link.deliver_at(ScriptedLink::now_us + 250 * MS, own.front());
                          own.clear();
                      };
                  },
                  150 * MS + 200 * MS},
        QuietCase{"device_that_never_falls_quiet",
                  [](QuietAfterTrouble& test, ScriptedLink& link) {
                      test.answer_from_the_second_send();
                      for (int64_t at = 0; at < 5000 * MS; at += 2 * MS) link.deliver_at(at, zdp_frame());
                  },
                  2000 * MS}),
    [](const auto& info) { return std::string(info.param.name); });

// A device that chatters must not hold the drain after a slow wait: it ends
// after a second, not after thousands of frames.
TEST_F(StaleReplies, DrainAfterASlowWaitEndsWithinASecondOfChatter) {
    away_until_us = 300 * MS;
    for (int64_t at = 0; at < 30'000 * MS; at += 2 * MS) link.deliver_at(at, zdp_frame());
    uint32_t value = 0;
    EXPECT_EQ(wait_for_device(link, 0x100, 4, 10, &value, 1), 4);
    EXPECT_EQ(value, WORD);
    const int64_t answered = link.sent_at_us.back();
    EXPECT_GE(ScriptedLink::now_us - answered, 1000 * MS);
    EXPECT_LT(ScriptedLink::now_us - answered, 1200 * MS);
}

// Poll passes keep their 100 ms schedule by the clock, however long the
// listening in each takes: a wait lasts the seconds it is given.
struct WaitCase {
    const char* name;
    std::function<int(ScriptedLink&)> wait;
    int64_t capture_us;  // what an empty capture call costs
    int64_t lasts_us;
};

void PrintTo(const WaitCase& c, std::ostream* os) { *os << c.name; }

class WaitLength : public StaleReplies, public testing::WithParamInterface<WaitCase> {};

TEST_P(WaitLength, IsTheSecondsGivenPlusOneListening) {
    device.silent = true;
    link.idle_receive_us = GetParam().capture_us;
    EXPECT_EQ(GetParam().wait(link), 0);
    // After the last pass: its listening and the drain's, 11 calls each.
    EXPECT_EQ(ScriptedLink::now_us, GetParam().lasts_us + 2 * 11 * GetParam().capture_us);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WaitLength,
    testing::Values(WaitCase{"activation", [](ScriptedLink& link) { return activate_device(link); }, 1 * MS,
                             60'000 * MS},
                    WaitCase{"activation_on_a_slow_pc", [](ScriptedLink& link) { return activate_device(link); },
                             5 * MS, 60'000 * MS},
                    WaitCase{"after_a_reset",
                             [](ScriptedLink& link) {
                                 uint32_t value = 0;
                                 return wait_for_device(link, 0, 4, 120, &value, 5);
                             },
                             1 * MS, 120'000 * MS}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
