#include <cmath>
#include <limits>

#include "output_capture.h"
#include "zdp/snr.h"
#include "zdp/zdp_commands.h"
#include "zdp_fixture.h"

namespace {

// Sixteen samples at PE 1 whose ratio gives a mean of exactly 1 (0.00 dB).
std::vector<Sample> unit_samples() { return std::vector<Sample>(16, Sample{524288, 1, 1}); }

class StatisticsTest : public ZdpTest {
protected:
    void SetUp() override {
        ZdpTest::SetUp();
        send_transfers.add(NODE_A, 1);
        receive_transfers.add(NODE_B, 2);
    }
    Frame transmitter_reply(uint32_t packets) {
        return zdp_reply(0, 1, statistics_segments(transmitter_counters(packets)));
    }
    Frame receiver_reply(uint32_t packets) {
        return zdp_reply(0, 1, statistics_segments(receiver_counters(packets), unit_samples()), NODE_B);
    }
    std::string print(const Frame& reply, const uint8_t* node) {
        capture_stdout();
        print_statistics(reply.data(), static_cast<int>(reply.size()), node);
        return captured_stdout();
    }
};

TEST_F(StatisticsTest, PerIsTheSameInEitherOrder) {
    EXPECT_EQ(print(transmitter_reply(1000), NODE_A), "");
    EXPECT_EQ(print(receiver_reply(990), NODE_B), "0.00 1.00e-02   1 ");
    EXPECT_NEAR(per_accumulator.value, 0.01, 1e-12);

    reset_per_accumulator();
    EXPECT_EQ(print(receiver_reply(990), NODE_B), "");
    print(transmitter_reply(1000), NODE_A);
    EXPECT_NEAR(per_accumulator.value, 0.01, 1e-12);
    EXPECT_EQ(per_accumulator.reports, 2);
}

TEST_F(StatisticsTest, CertColumnsForTransmitterAndReceiver) {
    cert_verbose = 1;
    EXPECT_EQ(print(transmitter_reply(1000), NODE_A), "TX: 1000 100000 0       1234 ");
    EXPECT_EQ(print(receiver_reply(1000), NODE_B), "RX: 0.00 0.00e+00   1 1000 100000 0 0 0 0       4321 0 0 ");
    // A third report after the pair neither flips the accumulator nor prints the columns.
    EXPECT_EQ(print(receiver_reply(1000), NODE_B), "RX: 1000 100000 0 0 0 0       4321 0 0 ");
}

TEST_F(StatisticsTest, DebugLevelThreeNamesEachCounter) {
    cert_verbose = 1;
    debug_level = 3;
    EXPECT_EQ(print(transmitter_reply(5), NODE_A),
              "TX: XMT_NPKTS 5 XMT_NBYTES 500 XMT_NERRS 0 XMT_NELAPSED_TIME       1234 ");
}

TEST_F(StatisticsTest, UnknownNodeAndUnknownCounterType) {
    cert_verbose = 1;
    const uint8_t stranger[6] = {2, 0, 0, 0, 0, 9};
    auto counters = receiver_counters(7);
    counters[2].first = 0x0200;
    Frame reply = zdp_reply(0, 1, statistics_segments(counters, unit_samples()), stranger);
    EXPECT_EQ(print(reply, stranger), "UNK!7 700 unknown csType : 0x0200\n0 0 0       4321 0 0 ");
    EXPECT_EQ(print(reply, stranger), "UNK!7 700 unknown csType : 0x0200\n0 0 0       4321 0 0 ");
}

TEST_F(StatisticsTest, ShortRepliesAreReadUpToTheirEnd) {
    cert_verbose = 1;
    print(transmitter_reply(1000), NODE_A);
    // Three receiver counters and no samples: the rest is not printed, SNR has nothing to use.
    auto counters = receiver_counters(990);
    counters.resize(3);
    Frame reply = zdp_reply(0, 1, statistics_segments(counters), NODE_B);
    EXPECT_EQ(print(reply, NODE_B), "RX: 0.00 1.00e-02   0 990 99000 0 ");
    // A reply without even the packet count does not count for the PER.
    reset_per_accumulator();
    Frame empty = zdp_reply(0, 1);
    EXPECT_EQ(print(empty, NODE_A), "TX: ");
    EXPECT_EQ(per_accumulator.reports, 0);
}

// Segments end where the length field says: Ethernet padding of a short
// reply is not read as counters; a length field past the frame leaves the
// frame end the limit. A counter counts only when all of its eight bytes lie
// within: a length field of 26 ends right after the first.
TEST_F(StatisticsTest, SegmentsEndAtTheLengthField) {
    cert_verbose = 1;
    auto two = transmitter_counters(1000);
    two.resize(2);
    struct Case {
        const char* name;
        int length_field;  // 0: as built, two counters
        size_t frame_size;
        const char* printed;
        int reports;
    };
    const Case cases[] = {
        {"two counters padded to 60 bytes", 0, 60, "TX: 1000 100000 ", 1},
        {"length field past the frame", 200, 0, "TX: 1000 100000 ", 1},
        {"exactly the first counter", 10 + 8 + 8, 0, "TX: 1000 ", 1},
        {"one byte short of the first counter", 10 + 8 + 7, 0, "TX: ", 0},
        {"no counter", 10 + 8, 0, "TX: ", 0},
    };
    for (const Case& c : cases) {
        reset_per_accumulator();
        Frame reply = zdp_reply(0, 1, statistics_segments(two));
        if (c.length_field != 0) reply[17] = static_cast<uint8_t>(c.length_field);
        if (c.frame_size != 0) reply.resize(c.frame_size, 0);
        EXPECT_EQ(print(reply, NODE_A), c.printed) << c.name;
        EXPECT_EQ(per_accumulator.reports, c.reports) << c.name;
        uint32_t packets = 0;
        EXPECT_EQ(first_counter(reply.data(), static_cast<int>(reply.size()), &packets), c.reports == 1) << c.name;
    }
}

// A PER needs packets sent: with none it shows n/a, and more received than
// sent shows no loss rather than a negative rate.
TEST_F(StatisticsTest, PerColumnWhereNothingWasMeasured) {
    struct Case {
        uint32_t sent;
        uint32_t received;
        const char* columns;
    };
    const Case cases[] = {
        {0, 0, "0.00 n/a   1 "},
        {0, 990, "0.00 n/a   1 "},
        {1000, 1010, "0.00 0.00e+00   1 "},
        {1000, 0, "0.00 1.00e+00   1 "},
    };
    for (const Case& c : cases) {
        reset_per_accumulator();
        print(transmitter_reply(c.sent), NODE_A);
        EXPECT_EQ(print(receiver_reply(c.received), NODE_B), c.columns) << c.sent << " sent, " << c.received;
    }
    // In the other order the accumulator holds no number either.
    reset_per_accumulator();
    print(receiver_reply(990), NODE_B);
    print(transmitter_reply(0), NODE_A);
    EXPECT_TRUE(std::isnan(per_accumulator.value));
}

TEST_F(StatisticsTest, ReportStatsPrintsOnlyThePairColumnsByDefault) {
    link.responder = [this](const Frame& sent, std::deque<Frame>& replies) {
        bool to_transmitter = std::memcmp(sent.data(), NODE_A, 6) == 0;
        Frame reply = to_transmitter ? transmitter_reply(1000) : receiver_reply(990);
        reply[24] = sent[24];
        reply[25] = sent[25];
        replies.push_back(reply);
    };
    capture_stdout();
    EXPECT_EQ(report_stats_command(zdp, "02:00:00:00:00:07\n"), "");
    EXPECT_EQ(report_stats_command(zdp, "02:00:00:00:00:08\n"), "");
    EXPECT_EQ(captured_stdout(), "0.00 1.00e-02   1 ");
    EXPECT_EQ(link.sent.at(0)[19], 0x17);

    debug_level = 2;
    capture_stdout();
    EXPECT_EQ(reset_stats_command(zdp, "02:00:00:00:00:07\n"), "");
    EXPECT_EQ(captured_stdout(), "RESET_STATS command started :");
    EXPECT_EQ(link.sent.at(2)[19], 0x19);
}

TEST_F(StatisticsTest, ReportStatsWithoutReplyLeavesTheAccumulator) {
    per_accumulator.value = 0.25;
    EXPECT_EQ(report_stats_command(zdp, "02:00:00:00:00:07 2000\n"), " Failed to receive ACK \n");
    EXPECT_EQ(per_accumulator.value, 0.25);
    EXPECT_EQ(per_accumulator.reports, 0);
    // Passes of five 100 ms receives and a 100 ms sleep until the second deadline.
    EXPECT_EQ(pacing.slept_ms % 100, 0);
}

TEST(SampleSnr, Arithmetic) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        std::vector<SnrSample> samples;
        double snr;
        int pe;
    };
    const Case cases[] = {
        {"one valid sample, mean 1", {{524288, 1, 1}}, 0.0, 1},
        {"constellation index 0 is not valid", {{524288, 1, 0}}, 0.0, 0},
        {"psc 0 is not valid", {{524288, 0, 1}}, 0.0, 1},
        {"sea 0 is not valid", {{0, 7, 1}}, 0.0, 1},
        {"mean of two", {{524288, 1, 1}, {524288, 4, 1}}, 10 * std::log10(2.5), 1},
        {"baud 2 const 4 mask 2: PE 43", {{1000, 10, 43}}, 10 * std::log10(262144.0 / (0.2509 * 0.2509 * 100)), 43},
        {"mask 1 baud 3 divides by zero", {{100, 1, 0x11}}, inf, 0x11},
        {"last pe is given back", {{524288, 1, 1}, {0, 0, 9}}, 0.0, 9},
    };
    for (const Case& c : cases) {
        int pe = -1;
        double snr = sample_snr(c.samples.data(), static_cast<int>(c.samples.size()), &pe);
        if (std::isinf(c.snr)) {
            EXPECT_TRUE(std::isinf(snr)) << c.name;
        } else {
            EXPECT_NEAR(snr, c.snr, 1e-9) << c.name;
        }
        EXPECT_EQ(pe, c.pe) << c.name;
    }
}

}  // namespace
