// Memory scripts against devsim on the test namespace's veth pair, run by
// run_script as `hostlink -s` runs them: a script of 10,000 `W` lines (lines
// per second) and 1 MiB written by `WRITE_BLOCK_F` and read back by
// `READ_BLOCK_F` (MB/s; the file read back must equal the one written). Each
// figure stands beside the packet-socket floor of the same frame sizes
// (packet_floor.h), measured in the same run between the script runs, and
// its ratio to that floor. The words the `W` lines wrote are checked in
// devsim's memory dump at the end.
//
// Every process of the run (this one, devsim, the floor's echo) is kept on
// the CPU the run starts on: left to the scheduler, the floor's pair always
// lands on two CPUs while the loader and devsim often share one, and the
// ratio then measures where the scheduler put them (the loader comes out
// up to three times "faster" than its floor). --any-cpu leaves the placement
// to the scheduler.
//
// Standard output is set up as the loader sets it up (written line by line
// when it is not a terminal); -d 3 makes every W line print its line, as the
// loader does at that debug level, and --block-buffered writes standard
// output in blocks instead, to weigh what writing by line costs (run with
// standard output in a file).
//
//   build/bin/script [--any-cpu] [-d LEVEL] [--block-buffered] [runs, default 5]
//                                                     (enters the test namespace itself)

#include <sched.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "hostif/host_interface.h"
#include "packet_floor.h"
#include "script/script.h"
#include "settings/settings.h"
#include "startup/startup.h"
#include "timed_link.h"
#include "zdp/zdp_client.h"

namespace {

constexpr int W_LINES = 10000;
constexpr uint32_t W_ADDRESS = 0x100000;
constexpr int BLOCK_BYTES = 1 << 20;
constexpr uint32_t BLOCK_ADDRESS = 0x200000;
// What one piece of WRITE_BLOCK_F and READ_BLOCK_F carries.
constexpr int PIECE_BYTES = 1400;
constexpr int BLOCK_PIECES = (BLOCK_BYTES + PIECE_BYTES - 1) / PIECE_BYTES;
// Frame sizes on the wire: a W request is padded to the 64-byte minimum and
// answered with the header and the word; a piece goes both ways with its
// header.
constexpr size_t WORD_REQUEST_BYTES = 64;
constexpr size_t WORD_REPLY_BYTES = MESSAGE_DATA_OFFSET + 4;
constexpr size_t PIECE_FRAME_BYTES = MESSAGE_DATA_OFFSET + PIECE_BYTES;
// Each floor slice lasts about as long as the script run beside it.
constexpr double FLOOR_SECONDS = 0.5;

uint32_t word_value(int line) { return 0x9E3779B1u * uint32_t(line + 1); }

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(i * 7 + i / 251 + 3);
    return bytes;
}

bool write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return bool(out);
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string words_script() {
    std::string text;
    char line[40];
    for (int i = 0; i < W_LINES; ++i) {
        std::snprintf(line, sizeof line, "W,%06x,%08x\n", W_ADDRESS + 4 * uint32_t(i), word_value(i));
        text += line;
    }
    return text;
}

bool words_in_dump(const std::vector<uint8_t>& dump) {
    if (dump.size() != size_t(W_LINES) * 4) return false;
    for (int i = 0; i < W_LINES; ++i)
        if (get_le32(dump.data() + 4 * i) != word_value(i)) return false;
    return true;
}

// One script figure: its unit count per run, the script runs' time shares
// summed, and the floor beside it.
struct Figure {
    const char* name;
    const char* unit;
    double units_per_run;
    double round_trips_per_run;
    double unit_scale;  // printed rate = units per second / unit_scale
    TimeShares sum{};
    int runs = 0;
    int failures = 0;
    RoundTrips floor{};

    void add(const TimeShares& shares) {
        sum += shares;
        ++runs;
    }
    double rate() const { return sum.total > 0 ? runs * units_per_run / sum.total / unit_scale : 0; }
    // The same work done at the floor's round trip rate.
    double floor_rate() const { return floor.rate() * units_per_run / round_trips_per_run / unit_scale; }
    double share(double part) const { return sum.total > 0 ? 100 * part / sum.total : 0; }
};

// Runs one script and adds its time to the figure; false when it did not
// end with the expected command count.
bool run_timed(TimedLink& link, ZdpClient& zdp, const std::string& path, int expected, Figure& figure) {
    int result = 0;
    figure.add(measure_shares(link, [&] { result = run_script(link, zdp, path.c_str()); }));
    if (result == expected) return true;
    ++figure.failures;
    std::printf("%s: run_script gave %d, not %d\n", figure.name, result, expected);
    return false;
}

void print_figures(const std::vector<const Figure*>& figures) {
    std::printf("\n%-22s %5s %10s %10s %7s\n", "script", "runs", "rate", "floor", "ratio");
    for (const Figure* f : figures)
        std::printf("%-22s %5d %10.2f %10.2f %7.2f  %s%s\n", f->name, f->runs, f->rate(), f->floor_rate(),
                    f->floor_rate() > 0 ? f->rate() / f->floor_rate() : 0.0, f->unit,
                    f->failures ? "  FAILED" : "");

    std::printf("\nwhere the script runs' time went (share of it; count per run)\n");
    std::printf("%-22s %15s %15s %15s %15s %7s\n", "script", "sends", "replies", "empty captures",
                "fixed pauses", "other");
    for (const Figure* f : figures) {
        const double runs = f->runs ? f->runs : 1;
        std::printf("%-22s %5.1f%% %8.0fx %5.1f%% %8.0fx %5.1f%% %8.0fx %5.1f%% %8.0fx %6.1f%%\n", f->name,
                    f->share(f->sum.send), double(f->sum.sends) / runs, f->share(f->sum.reply),
                    double(f->sum.replies) / runs, f->share(f->sum.idle_capture),
                    double(f->sum.idle_captures) / runs, f->share(f->sum.pause), double(f->sum.pauses) / runs,
                    f->share(f->sum.other()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    enter_test_namespace(argv);
    if (getenv("HL_IFACE") == nullptr) return 77;
    bool any_cpu = false;
    bool block_buffered = false;
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--any-cpu") == 0) {
            any_cpu = true;
        } else if (std::strcmp(argv[i], "--block-buffered") == 0) {
            block_buffered = true;
        } else if (std::strcmp(argv[i], "-d") == 0 && i + 1 < argc) {
            debug_level = std::atoi(argv[++i]);
        } else if (std::atoi(argv[i]) > 0) {
            runs = std::atoi(argv[i]);
        } else {
            std::printf("usage: %s [--any-cpu] [-d LEVEL] [--block-buffered] [runs]\n", argv[0]);
            return 2;
        }
    }
    if (!block_buffered) write_output_by_line();
    if (!any_cpu) {
        if (!keep_on_one_cpu()) {
            std::printf("try --any-cpu\n");
            return 1;
        }
    } else {
        std::printf("processes placed by the scheduler\n");
    }

    char directory[] = "/tmp/script_bench_XXXXXX";
    if (mkdtemp(directory) == nullptr) return 1;
    const std::string dir = directory;
    const std::string words = dir + "/words.txt", block_in = dir + "/block_in.bin",
                      block_out = dir + "/block_out.bin", write_script = dir + "/write_block.txt",
                      read_script = dir + "/read_block.txt", dump = dir + "/words.bin";
    auto remove_files = [&] {
        for (const std::string* path : {&words, &block_in, &block_out, &write_script, &read_script, &dump})
            std::remove(path->c_str());
        rmdir(directory);
    };
    const auto block = pattern(BLOCK_BYTES);
    char line[256];
    std::snprintf(line, sizeof line, "WRITE_BLOCK_F,%x,%s\n", BLOCK_ADDRESS, block_in.c_str());
    const std::string write_text = line;
    std::snprintf(line, sizeof line, "READ_BLOCK_F,%x,%s,%d\n", BLOCK_ADDRESS, block_out.c_str(), BLOCK_BYTES);
    const std::string read_text = line;
    if (!write_file(words, words_script()) || !write_file(block_in, std::string(block.begin(), block.end())) ||
        !write_file(write_script, write_text) || !write_file(read_script, read_text)) {
        std::printf("cannot write the scripts and files to %s\n", directory);
        remove_files();
        return 1;
    }

    std::snprintf(line, sizeof line, "%x:%x=%s", W_ADDRESS, W_LINES * 4, dump.c_str());
    Devsim devsim = start_devsim({"--dump", line});
    TimedLink link;
    ZdpClient zdp;
    if (devsim.pid < 0 || !open_device_link(link) || zdp.init(&link) != ZDK_SUCCESS) {
        std::printf("cannot set up devsim, the veth pair or the link\n");
        stop_devsim(devsim);
        remove_files();
        return 1;
    }
    count_pauses();

    Figure w_lines{"W x10000", "lines/s", W_LINES, W_LINES, 1};
    Figure writes{"WRITE_BLOCK_F 1 MiB", "MB/s", BLOCK_BYTES, BLOCK_PIECES, 1e6};
    Figure reads{"READ_BLOCK_F 1 MiB", "MB/s", BLOCK_BYTES, BLOCK_PIECES, 1e6};
    bool same_file = true;
    std::printf("%-4s %12s %12s %12s %12s %12s\n", "run", "W lines/s", "floor", "write MB/s", "read MB/s",
                "floor MB/s");
    for (int run = 0; run < runs; ++run) {
        // Floor and script runs alternate, so that a change of machine load
        // weighs on both alike.
        const Figure before_w = w_lines, before_write = writes, before_read = reads;
        RoundTrips word_floor, piece_floor;
        floor_slice(devsim.pid, WORD_REQUEST_BYTES, WORD_REPLY_BYTES, FLOOR_SECONDS, word_floor);
        run_timed(link, zdp, words, W_LINES, w_lines);
        floor_slice(devsim.pid, PIECE_FRAME_BYTES, PIECE_FRAME_BYTES, FLOOR_SECONDS, piece_floor);
        run_timed(link, zdp, write_script, 1, writes);
        std::remove(block_out.c_str());
        if (run_timed(link, zdp, read_script, 1, reads) && read_file(block_out) != block) {
            std::printf("run %d: the file READ_BLOCK_F wrote differs from the one WRITE_BLOCK_F sent\n", run + 1);
            same_file = false;
        }
        for (Figure* f : {&w_lines, &writes, &reads}) {
            const RoundTrips& slice = f == &w_lines ? word_floor : piece_floor;
            f->floor.count += slice.count;
            f->floor.seconds += slice.seconds;
        }
        auto run_rate = [](const Figure& now, const Figure& before) {
            const double seconds = now.sum.total - before.sum.total;
            return seconds > 0 ? now.units_per_run / seconds / now.unit_scale : 0;
        };
        std::printf("%-4d %12.0f %12.0f %12.2f %12.2f %12.2f\n", run + 1, run_rate(w_lines, before_w),
                    word_floor.rate(), run_rate(writes, before_write), run_rate(reads, before_read),
                    piece_floor.rate() * BLOCK_BYTES / BLOCK_PIECES / 1e6);
    }
    link.close();
    stop_devsim(devsim);
    const bool words_arrived = words_in_dump(read_file(dump));

    print_figures({&w_lines, &writes, &reads});
    const char* comparison = reads.failures ? "WAS NOT READ BACK IN EVERY RUN"
                             : same_file    ? "read back equals the one written"
                                            : "READ BACK DIFFERS FROM THE ONE WRITTEN";
    std::printf("\nthe 1 MiB file %s; device memory %s the W lines' words\n", comparison,
                words_arrived ? "holds" : "DOES NOT HOLD");
    remove_files();
    const bool failed = w_lines.failures || writes.failures || reads.failures || !same_file || !words_arrived;
    return failed ? 1 : 0;
}
