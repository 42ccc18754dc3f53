// TEST_NETWORK over 2, 3, 4 and 5 emulated stations (devsim's own station and
// --node stations, no device delays): seconds per pair and in total, so the
// growth with N (N*(N-1) pairs, each with three fixed 500 ms pauses) is on
// record. Each N runs in a fresh process, as a hostlink run would (the
// transfer tables live for the whole process and hold 20 pairs), and calls
// the command the script line TEST_NETWORK calls; its own output goes to a
// file that is only counted.
//
//   build/bin/zdp [largest N, 2 to 5, default 5]     (enters the test namespace itself)

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "timed_link.h"
#include "zdp/zdp_client.h"
#include "zdp/zdp_commands.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const DEVICE = "0a:3f:71:00:00:01";
const char* const NETWORK_BLOCK =
    "dgen_type=1\n"
    "length=64\n"
    "npkts=1000\n"
    "numacks=1\n"
    "TEST_NETWORK_END\n";

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The real sleeps of the test commands, with their time counted.
class CountingPacing : public ZdpPacing {
public:
    void sleep_ms(int milliseconds) override {
        const auto start = Clock::now();
        ZdpPacing::sleep_ms(milliseconds);
        slept += seconds_between(start, Clock::now());
        if (milliseconds == 50) ++sleeps_50;
        if (milliseconds == 100) ++sleeps_100;
    }
    double slept = 0;
    // The polling sleeps of the acknowledgement and statistics waits.
    int sleeps_50 = 0;
    int sleeps_100 = 0;
};

size_t count_of(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Each pair begins with ENABLECERT to its transmitter, then to its receiver.
bool is_enable_cert(const uint8_t* frame, int length) {
    return length > 19 && frame[14] == 0x80 && frame[15] == 0x02 && frame[19] == ZDP_OPCODE_ENABLECERT;
}

std::vector<std::string> devsim_options(int stations) {
    std::vector<std::string> options{"--ack-gap-ms", "0", "--busy-ms", "0", "--seed", "1"};
    for (int i = 1; i < stations; ++i) {
        char mac[24];
        std::snprintf(mac, sizeof mac, "02:00:00:00:00:%02x", 0x10 + i);
        options.insert(options.end(), {"--node", mac});
    }
    return options;
}

// Runs TEST_NETWORK with its output in `output_path`; prints one result row.
int run_network(int stations, const std::string& output_path) {
    Devsim devsim = start_devsim(devsim_options(stations));
    TimedLink link;
    ZdpClient zdp;
    CountingPacing pacing;
    if (devsim.pid < 0 || !open_device_link(link) || zdp.init(&link) != ZDK_SUCCESS) {
        std::printf("%d stations: cannot set up devsim, the veth pair or the link\n", stations);
        stop_devsim(devsim);
        return 1;
    }
    zdp.set_pacing(&pacing);
    std::vector<Clock::time_point> pair_starts;
    int enable_certs = 0;
    link.on_send = [&](const uint8_t* frame, int length) {
        if (is_enable_cert(frame, length) && enable_certs++ % 2 == 0) pair_starts.push_back(Clock::now());
    };

    std::string block = NETWORK_BLOCK;
    std::FILE* script = fmemopen(block.data(), block.size(), "r");
    std::string argument = std::string(DEVICE) + "\n";
    std::fflush(stdout);
    const int saved_stdout = dup(STDOUT_FILENO);
    std::FILE* output = std::fopen(output_path.c_str(), "w");
    if (script == nullptr || output == nullptr || saved_stdout < 0) {
        std::printf("%d stations: cannot open the block or the output file\n", stations);
        stop_devsim(devsim);
        return 1;
    }
    dup2(fileno(output), STDOUT_FILENO);
    std::string result;
    const auto start = Clock::now();
    const TimeShares shares = measure_shares(link, [&] { result = test_network_command(link, zdp, script, argument.c_str()); });
    const auto end = Clock::now();
    std::fflush(stdout);
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    std::fclose(output);
    std::fclose(script);
    link.close();
    stop_devsim(devsim);

    std::ifstream in(output_path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t pairs = pair_starts.size();
    const size_t expected = size_t(stations) * size_t(stations - 1);
    const size_t per_lines = count_of(text, "\tPER = ");
    const size_t failures = count_of(text, "Failed") + count_of(text, "ERROR");
    std::vector<double> durations;
    for (size_t i = 0; i < pairs; ++i)
        durations.push_back(seconds_between(pair_starts[i], i + 1 < pairs ? pair_starts[i + 1] : end));
    const double pair_time = pairs ? seconds_between(pair_starts.front(), end) : 0;
    const double list_time = pairs ? seconds_between(start, pair_starts.front()) : shares.total;
    const double mean = pairs ? pair_time / double(pairs) : 0;
    const double shortest = pairs ? *std::min_element(durations.begin(), durations.end()) : 0;
    const double longest = pairs ? *std::max_element(durations.begin(), durations.end()) : 0;

    const double per_pair = pairs ? 1.0 / double(pairs) : 0.0;
    std::printf("%-8d %5zu %8.2f %7.3f %7.3f %7.3f %7.3f %7.3f %5.2f %5.2f %7.4f %7.4f %4zu %4zu%s\n", stations,
                pairs, shares.total, list_time, mean, shortest, longest, pacing.slept * per_pair,
                pacing.sleeps_50 * per_pair, pacing.sleeps_100 * per_pair,
                pairs ? shares.transfer() / double(pairs) : 0.0, pairs ? shares.idle_capture / double(pairs) : 0.0,
                per_lines, failures,
                result.empty() && pairs == expected && per_lines == expected && failures == 0 ? "" : "  INCOMPLETE");
    if (!result.empty()) std::printf("         TEST_NETWORK ended with: %s", result.c_str());
    return result.empty() && pairs == expected ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    enter_test_namespace(argv);
    if (getenv("HL_IFACE") == nullptr) return 77;
    const int largest = argc > 1 ? std::clamp(std::atoi(argv[1]), 2, 5) : 5;
    char directory[] = "/tmp/zdp_bench_XXXXXX";
    if (mkdtemp(directory) == nullptr) return 1;

    std::printf("TEST_NETWORK, seconds: in total, reading the station list, per pair (mean, shortest,\n"
                "longest); then per pair on average: time in the commands' sleeps, number of 50 ms\n"
                "and 100 ms polling sleeps among them, time in transfers and in empty captures;\n"
                "PER lines printed, failure lines printed\n");
    std::printf("%-8s %5s %8s %7s %7s %7s %7s %7s %5s %5s %7s %7s %4s %4s\n", "stations", "pairs", "total", "list",
                "pair", "min", "max", "sleeps", "n50", "n100", "xfer", "idle", "PER", "fail");
    int status = 0;
    for (int stations = 2; stations <= largest; ++stations) {
        const std::string output_path = std::string(directory) + "/network_" + std::to_string(stations) + ".txt";
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            const int result = run_network(stations, output_path);
            std::fflush(stdout);
            _exit(result);
        }
        int child_status = 1;
        if (child < 0 || waitpid(child, &child_status, 0) != child || !WIFEXITED(child_status) ||
            WEXITSTATUS(child_status) != 0) {
            status = 1;
        }
        std::remove(output_path.c_str());
    }
    rmdir(directory);
    return status;
}
