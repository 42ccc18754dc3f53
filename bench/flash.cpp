// Flash programming and firmware download against devsim with zero busy
// times: PROG_F of a 1 MiB image (program_flash_binary, as the script line
// calls it) and LOAD_FW of a 64 KiB image (download_firmware with
// activation), each in MB/s with the share of time in the loader's own waits
// (its fixed pauses and the capture calls that find nothing) against the
// transfers (sends and the captures that bring a reply). Beside them the
// write_block rates of 256-byte blocks (what staging uses) and of
// 1400-byte blocks.
//
//   build/bin/flash [runs, default 10]     (enters the test namespace itself)

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
#include "hostif/firmware.h"
#include "hostif/flash.h"
#include "hostif/host_interface.h"
#include "timed_link.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int FLASH_IMAGE_BYTES = 1 << 20;
constexpr int FIRMWARE_BYTES = 1 << 16;

void append_le32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

std::vector<uint8_t> pattern(size_t n, unsigned seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(i * 7 + i / 251 + seed);
    return bytes;
}

struct Section {
    const char* tag;
    std::vector<uint8_t> body;
};

// The plain I2C image: magic, offset of the first section, then the chain.
std::vector<uint8_t> chain(const std::vector<Section>& sections) {
    std::vector<uint8_t> image{'Z', 'R', '1', '1'};
    append_le32(image, 8);
    for (size_t i = 0; i < sections.size(); ++i) {
        const size_t start = image.size();
        image.insert(image.end(), sections[i].tag, sections[i].tag + 4);
        append_le32(image, 0);
        image.insert(image.end(), sections[i].body.begin(), sections[i].body.end());
        if (i + 1 < sections.size()) put_le32(image.data() + start + 4, uint32_t(image.size()));
    }
    return image;
}

Section table(uint32_t id, size_t size) {
    Section section{"ZRPT", {}};
    append_le32(section.body, id << 24 | uint32_t(size));
    const auto bytes = pattern(size, id);
    section.body.insert(section.body.end(), bytes.begin(), bytes.end());
    return section;
}

Section function(uint32_t number, uint32_t address, size_t size) {
    Section section{"ZRX1", pattern(size, number)};
    uint8_t* header = section.body.data();
    put_le32(header, number);  // order
    put_le32(header + 12, number);
    put_le32(header + 16, address);
    put_le32(header + 20, uint32_t(size));
    put_le32(header + 28, 0);
    return section;
}

// A firmware image of exactly `total` bytes with every kind of section: the
// parameter sections, the four QoS tables and two extension functions that
// take up the rest.
std::vector<uint8_t> firmware_image(size_t total) {
    std::vector<Section> sections{{"ZRPS", pattern(0x6C, 1)}, table(0, 1600), table(1, 400),
                                  table(2, 2800),             table(3, 600),  {"ZRPM", pattern(64, 2)},
                                  {"ZRPH", pattern(1024, 3)}};
    const size_t fixed = chain(sections).size() + 2 * 8;
    const size_t first = (total - fixed) / 2 / 4 * 4;
    sections.insert(sections.begin() + 1, function(1, 0x40000, first));
    sections.insert(sections.begin() + 2, function(2, 0x50000, total - fixed - first));
    return chain(sections);
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Tally {
    double writes = 0;
    double seconds = 0;
    double rate() const { return seconds > 0 ? writes / seconds : 0; }
};

// write_block of `bytes` to the staging buffer for `seconds`.
void write_block_slice(EthernetLink& link, int bytes, double seconds, Tally& tally) {
    const auto data = pattern(size_t(bytes), 9);
    uint64_t done = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        std::memcpy(message_buffer + MESSAGE_DATA_OFFSET, data.data(), data.size());
        if (write_block(link, STAGING_ADDRESS, bytes, 0) != bytes) break;
        ++done;
    }
    tally.seconds += std::chrono::duration<double>(Clock::now() - start).count();
    tally.writes += double(done);
}

struct Figure {
    const char* name;
    int bytes;
    TimeShares sum;
    int runs = 0;
    bool failed = false;

    void add(const TimeShares& shares) {
        sum += shares;
        ++runs;
    }
    double mean(double value) const { return runs ? value / runs : 0; }
    double seconds() const { return mean(sum.total); }
    double megabytes_per_second() const { return seconds() > 0 ? bytes / seconds() / 1e6 : 0; }
    double share(double part) const { return sum.total > 0 ? 100 * part / sum.total : 0; }
};

void print_shares(const Figure& prog, const Figure& load) {
    std::printf("\nmean time per run          %-26s %-26s\n", prog.name, load.name);
    auto row = [&](const char* name, double TimeShares::*part, uint64_t TimeShares::*count) {
        const double a = prog.sum.*part, b = load.sum.*part;
        std::printf("%-26s %8.4f s %5.1f%% %7.1fx   %8.4f s %5.1f%% %7.1fx\n", name, prog.mean(a), prog.share(a),
                    prog.mean(double(prog.sum.*count)), load.mean(b), load.share(b),
                    load.mean(double(load.sum.*count)));
    };
    row("transfers: sends", &TimeShares::send, &TimeShares::sends);
    row("transfers: replies", &TimeShares::reply, &TimeShares::replies);
    row("waits: empty captures", &TimeShares::idle_capture, &TimeShares::idle_captures);
    row("waits: fixed pauses", &TimeShares::pause, &TimeShares::pauses);
    auto total_row = [&](const char* name, double a, double b) {
        std::printf("%-26s %8.4f s %5.1f%%           %8.4f s %5.1f%%\n", name, prog.mean(a), prog.share(a),
                    load.mean(b), load.share(b));
    };
    total_row("= transfers", prog.sum.transfer(), load.sum.transfer());
    total_row("= loader's own waits", prog.sum.waits(), load.sum.waits());
    total_row("other (loader, files)", prog.sum.other(), load.sum.other());
}

}  // namespace

int main(int argc, char** argv) {
    enter_test_namespace(argv);
    if (getenv("HL_IFACE") == nullptr) return 77;
    const int runs = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 10;

    char directory[] = "/tmp/flash_bench_XXXXXX";
    if (mkdtemp(directory) == nullptr) return 1;
    const std::string flash_file = std::string(directory) + "/flash.bin";
    const std::string flash_image = std::string(directory) + "/flash_image.bin";
    const std::string firmware_file = std::string(directory) + "/image.dat";
    auto remove_files = [&] {
        for (const std::string* path : {&flash_file, &flash_image, &firmware_file}) std::remove(path->c_str());
        rmdir(directory);
    };
    const auto programmed = pattern(FLASH_IMAGE_BYTES, 5);
    const auto firmware = firmware_image(FIRMWARE_BYTES);
    if (!write_file(flash_image, programmed) || !write_file(firmware_file, firmware)) {
        std::printf("cannot write the images to %s\n", directory);
        remove_files();
        return 1;
    }

    Devsim devsim = start_devsim({"--busy-ms", "0", "--reset-ms", "0", "--erase-ms", "0", "--program-ms", "0",
                                  "--flash", flash_file});
    TimedLink link;
    if (devsim.pid < 0 || !open_device_link(link)) {
        std::printf("cannot set up devsim, the veth pair or the link\n");
        stop_devsim(devsim);
        remove_files();
        return 1;
    }
    count_pauses();

    // Short alternating slices, so that a change of machine load weighs on
    // every figure alike.
    Tally blocks_256, blocks_1400;
    Figure prog{"PROG_F 1 MiB", FLASH_IMAGE_BYTES, {}};
    Figure load{"LOAD_FW 64 KiB", FIRMWARE_BYTES, {}};
    for (int run = 0; run < runs; ++run) {
        write_block_slice(link, STAGING_BLOCK, 0.2, blocks_256);
        write_block_slice(link, 1400, 0.2, blocks_1400);
        int result = 0;
        prog.add(measure_shares(link, [&] { result = program_flash_binary(link, flash_image.c_str()); }));
        prog.failed |= result != FLASH_IMAGE_BYTES;
        load.add(measure_shares(link, [&] { result = download_firmware(link, firmware_file.c_str(), 0); }));
        load.failed |= result <= 0;
    }
    link.close();
    stop_devsim(devsim);
    const auto flash = read_file(flash_file);
    const bool flash_matches =
        flash.size() >= programmed.size() && std::equal(programmed.begin(), programmed.end(), flash.begin());

    std::printf("write_block to the staging buffer\n%-7s %10s %8s\n", "bytes", "writes/s", "MB/s");
    const double rate_256 = blocks_256.rate(), rate_1400 = blocks_1400.rate();
    std::printf("%-7d %10.0f %8.2f\n%-7d %10.0f %8.2f\n", STAGING_BLOCK, rate_256, rate_256 * STAGING_BLOCK / 1e6,
                1400, rate_1400, rate_1400 * 1400 / 1e6);
    if (rate_1400 > 0)
        std::printf("256-byte blocks carry %.2f of the bytes per second of 1400-byte blocks\n",
                    rate_256 * STAGING_BLOCK / (rate_1400 * 1400));

    std::printf("\n%-16s %8s %5s %10s %8s\n", "operation", "bytes", "runs", "s/run", "MB/s");
    for (const Figure* figure : {&prog, &load})
        std::printf("%-16s %8d %5d %10.4f %8.2f%s\n", figure->name, figure->bytes, figure->runs, figure->seconds(),
                    figure->megabytes_per_second(), figure->failed ? "  FAILED" : "");
    if (!flash_matches) {
        size_t at = 0;
        while (at < flash.size() && at < programmed.size() && flash[at] == programmed[at]) ++at;
        std::printf("the emulator's flash (%zu bytes) differs from the programmed image at 0x%zx (piece %zu, "
                    "command %zu)\n",
                    flash.size(), at, at / PROGRAMMING_PIECE, COMMAND_PROGRAM_FLASH + at / PROGRAMMING_PIECE);
    }
    print_shares(prog, load);

    // Staging goes at the write_block rate only if the transfers keep pace
    // with a bare stream of 256-byte writes.
    const double staged_writes = prog.mean(double(prog.sum.sends));
    const double transfer_rate = prog.sum.transfer() > 0 ? staged_writes / prog.mean(prog.sum.transfer()) : 0;
    std::printf("\nPROG_F transfers: %.0f requests/s, %.2f of the 256-byte write_block rate\n", transfer_rate,
                rate_256 > 0 ? transfer_rate / rate_256 : 0.0);

    remove_files();
    return prog.failed || load.failed || !flash_matches ? 1 : 0;
}
