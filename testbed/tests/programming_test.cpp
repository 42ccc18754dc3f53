#include <gtest/gtest.h>

#include <string>

#include "boot.h"
#include "device.h"
#include "nonvolatile_memory.h"
#include "programming_mailbox.h"
#include "recording_wire.h"
#include "test_frames.h"

using namespace test_frames;

namespace {

constexpr int64_t ms = 1000;

DevsimOptions quick_parts() {
    DevsimOptions o;
    o.erase_ms = 100;
    o.program_ms = 10;
    o.flash_size = 4 * 65536;
    return o;
}

// A device with its flash, EEPROM, mailbox and boot, driven with explicit
// times.
struct Rig {
    explicit Rig(DevsimOptions o = quick_parts())
        : options(std::move(o)),
          device(options, wire),
          flash(options.flash_size, ""),
          eeprom(options.eeprom_size, ""),
          mailbox(device, flash, eeprom),
          boot(device, flash, eeprom) {}

    Bytes ask(const Bytes& f) {
        wire.frames.clear();
        device.receive(f.data(), f.size(), now * ms);
        return wire.take_last();
    }
    void stage(uint32_t offset, const Bytes& data) { ask(write_request(0x28000 + offset, data)); }
    void command(uint32_t value, uint32_t length = 0) {
        if (length) ask(write_request(0x8828, word_bytes(length)));
        ASSERT_FALSE(ask(write_request(0x8820, word_bytes(value))).empty());
    }
    // Reads the status word, waiting until the part has finished.
    uint32_t status() {
        wire.frames.clear();
        Bytes req = read_request(0x8824, 4);
        device.receive(req.data(), req.size(), now * ms);
        for (int i = 0; wire.frames.empty() && i < 10000; ++i) device.advance(++now * ms);
        return wire.frames.empty() ? 0xDEADu : word_at(wire.frames.back(), 32);
    }
    Bytes read(uint32_t address, uint16_t count) {
        Bytes r = ask(read_request(address, count));
        return r.size() >= 32u + count ? Bytes(r.begin() + 32, r.begin() + 32 + count) : Bytes{};
    }

    DevsimOptions options;
    RecordingWire wire;
    Device device;
    NonvolatileMemory flash;
    NonvolatileMemory eeprom;
    ProgrammingMailbox mailbox;
    BootLoader boot;
    int64_t now = 1;
};

Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13);
    return b;
}

void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// An image laid out as the image builder lays it out; `sections` are tag and
// body pairs.
Bytes boot_image(bool flash_format, const std::vector<std::pair<std::string, Bytes>>& sections) {
    Bytes image(flash_format ? 16 : 8, 0xFF);
    size_t link = flash_format ? 12 : 4;
    if (flash_format) {
        put32(image, 0, 0x381F0100);
        put32(image, 4, 0x40);
        std::memcpy(&image[8], "ZR21", 4);
    } else {
        std::memcpy(&image[0], "ZR11", 4);
    }
    for (const auto& [tag, body] : sections) {
        size_t at = image.size();
        put32(image, link, static_cast<uint32_t>(at));
        image.resize(at + 8, 0xFF);
        std::memcpy(&image[at], tag.data(), 4);
        image.insert(image.end(), body.begin(), body.end());
        image.resize((image.size() + 3) & ~size_t{3}, 0xFF);
        link = at + 4;
    }
    put32(image, link, 0);
    return image;
}

Bytes table_body(uint32_t id, const Bytes& bytes) {
    Bytes b = word_bytes(id << 24 | static_cast<uint32_t>(bytes.size()));
    b.insert(b.end(), bytes.begin(), bytes.end());
    return b;
}

}  // namespace

TEST(Mailbox, EraseHoldsTheStatusReadUntilDone) {
    Rig r;
    std::fill(r.flash.bytes.begin(), r.flash.bytes.end(), 0x00);
    r.ask(write_request(0x8824, word_bytes(0x77)));
    r.command(840);
    int64_t asked = r.now;
    EXPECT_EQ(r.status(), 0u);
    EXPECT_GE(r.now - asked, 100);
    EXPECT_TRUE(std::all_of(r.flash.bytes.begin(), r.flash.bytes.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(Mailbox, ProgramsWhatWasStagedPieceByPiece) {
    Rig r;
    Bytes full = pattern(65536, 1), tail = pattern(4464, 9);
    for (uint32_t at = 0; at < full.size(); at += 256)
        r.stage(at, Bytes(full.begin() + at, full.begin() + at + 256));
    r.command(850);
    EXPECT_EQ(r.status(), 0u);
    for (uint32_t at = 0; at < tail.size(); at += 256)
        r.stage(at, Bytes(tail.begin() + at, tail.begin() + std::min<size_t>(at + 256, tail.size())));
    r.command(851);
    EXPECT_EQ(r.status(), 0u);
    EXPECT_TRUE(std::equal(full.begin(), full.end(), r.flash.bytes.begin()));
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), r.flash.bytes.begin() + 65536));
    EXPECT_EQ(r.flash.bytes[65536 + 4464], 0xFF) << "beyond the staged bytes the part stays erased";
}

TEST(Mailbox, FlashPiecesTenAndUpAreNotEepromCommands) {
    DevsimOptions o = quick_parts();
    o.flash_size = 1u << 20;
    Rig r(o);
    for (uint32_t piece : {9u, 10u, 15u}) {
        Bytes data = pattern(256, static_cast<uint8_t>(piece));
        r.stage(0, data);
        r.command(850 + piece);
        EXPECT_EQ(r.status(), 0u) << piece;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), r.flash.bytes.begin() + piece * 65536)) << piece;
    }
    EXPECT_TRUE(std::all_of(r.eeprom.bytes.begin(), r.eeprom.bytes.end(), [](uint8_t b) { return b == 0xFF; }));
    r.stage(0, pattern(16, 1));
    r.command(860, 16);
    EXPECT_EQ(r.status(), 16u) << "after the length word 860 is the EEPROM command";
}

TEST(Mailbox, FailingPieces) {
    struct Case {
        const char* name;
        uint32_t command;
        std::vector<uint32_t> prog_fail;
    } cases[] = {
        {"piece beyond the flash", 854, {}},
        {"piece named by --prog-fail", 851, {1}},
    };
    for (const auto& c : cases) {
        DevsimOptions o = quick_parts();
        o.prog_fail = c.prog_fail;
        Rig r(o);
        r.stage(0, pattern(16, 3));
        r.command(c.command);
        EXPECT_NE(r.status(), 0u) << c.name;
        EXPECT_TRUE(std::all_of(r.flash.bytes.begin(), r.flash.bytes.end(), [](uint8_t b) { return b == 0xFF; }))
            << c.name;
    }
}

TEST(Mailbox, EepromCommandsReportBytesProgrammed) {
    struct Case {
        const char* name;
        uint32_t size;
        uint32_t command;
        uint32_t length;
        uint32_t status;
        uint32_t offset;
    } cases[] = {
        {"small, whole file", 2048, 860, 300, 300, 0},
        {"small, more than fits", 2048, 860, 3000, 2048, 0},
        {"small part, large command", 2048, 861, 300, 0, 0},
        {"large, full first piece", 512 * 1024, 861, 0xFFFF, 65536, 0},
        {"large, short second piece", 512 * 1024, 862, 10, 10, 65536},
        {"large part, small command", 512 * 1024, 860, 10, 0, 0},
    };
    for (const auto& c : cases) {
        DevsimOptions o = quick_parts();
        o.eeprom_size = c.size;
        Rig r(o);
        Bytes data = pattern(16, 5);
        r.stage(0, data);
        r.command(c.command, c.length);
        EXPECT_EQ(r.status(), c.status) << c.name;
        size_t compared = std::min<size_t>(c.status, data.size());
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + compared, r.eeprom.bytes.begin() + c.offset)) << c.name;
    }
}

TEST(Boot, ResetIntoFlashLoadsTheImage) {
    DevsimOptions o = quick_parts();
    o.fw_version = 0x1C23;
    o.reset_ms = 50;
    Rig r(o);
    Bytes oem = pattern(108, 1), mfr = pattern(40, 2), phy = pattern(12, 3), t1 = pattern(20, 4), t3 = pattern(7, 5);
    Bytes image = boot_image(true, {{"ZRPS", oem},
                                    {"ZRPM", mfr},
                                    {"ZRX1", pattern(64, 6)},
                                    {"ZRPT", table_body(1, t1)},
                                    {"ZRPH", phy},
                                    {"ZRPT", table_body(3, t3)}});
    std::copy(image.begin(), image.end(), r.flash.bytes.begin());
    r.device.memory.write_half(0x827E, 0);
    r.ask(write_request(0xE00000, word_bytes(6)));
    r.now += 60;
    EXPECT_EQ(r.read(0x8000, 108), oem);
    EXPECT_EQ(r.read(0x806C, 40), mfr);
    EXPECT_EQ(r.read(0x38AB4, 12), phy);
    Bytes descriptor = r.read(0x3AAB4 + 12, 12);
    EXPECT_EQ(word_at(descriptor, 4), 20u);
    EXPECT_EQ(r.read(word_at(descriptor, 0), 20), t1);
    descriptor = r.read(0x3AAB4 + 36, 12);
    EXPECT_EQ(word_at(descriptor, 4), 7u) << "a table that ends the chain";
    EXPECT_EQ(r.read(word_at(descriptor, 0), 7), t3);
    EXPECT_EQ(word_at(r.read(0x827C, 4), 0) >> 16, 0x1C23u);
}

TEST(Boot, DescriptorsHaveRoomForTheFourTables) {
    Rig r;
    const uint32_t needed[4] = {1600, 400, 2800, 600};
    for (uint32_t id = 0; id < 16; ++id) {
        Bytes d = r.read(0x3AAB4 + 12 * id, 12);
        EXPECT_EQ(word_at(d, 4), 0u);
        if (id < 4) {
            EXPECT_GE(word_at(d, 8), needed[id]);
        }
    }
}

TEST(Boot, InvalidOrOtherModes) {
    struct Case {
        const char* name;
        uint32_t mode;
        bool valid_image;
        uint16_t version_after;
        bool loaded;
    } cases[] = {
        {"erased flash", 4, false, 0, false},
        {"boot mode without own boot", 1, true, 0x1234, false},
        {"valid flash image", 4, true, 0x1C23, true},
    };
    for (const auto& c : cases) {
        DevsimOptions o = quick_parts();
        o.fw_version = 0x1C23;
        o.boot_mode = c.mode;
        Rig r(o);
        r.device.memory.write_half(0x827E, 0x1234);
        r.device.memory.write_word(0x8000, 0xCAFEF00D);
        if (c.valid_image) {
            Bytes image = boot_image(true, {{"ZRPS", pattern(8, 1)}});
            std::copy(image.begin(), image.end(), r.flash.bytes.begin());
        }
        r.ask(write_request(0xE00000, word_bytes(6)));
        r.now += 400;
        EXPECT_EQ(word_at(r.read(0x827C, 4), 0) >> 16, c.version_after) << c.name;
        EXPECT_EQ(word_at(r.read(0x8000, 4), 0) != 0xCAFEF00Du, c.loaded) << c.name;
    }
}

TEST(Boot, EepromImageBootsInModeThree) {
    DevsimOptions o = quick_parts();
    o.boot_mode = 3;
    Rig r(o);
    Bytes oem = pattern(12, 7);
    Bytes image = boot_image(false, {{"ZRPS", oem}});
    std::copy(image.begin(), image.end(), r.eeprom.bytes.begin());
    r.ask(write_request(0xE00000, word_bytes(6)));
    r.now += 400;
    EXPECT_EQ(r.read(0x8000, 12), oem);
}

TEST(BootImage, BrokenChainsAreRefused) {
    Bytes good = boot_image(true, {{"ZRPS", pattern(8, 1)}, {"ZRPM", pattern(8, 2)}});
    std::vector<ImageSection> sections;
    ASSERT_TRUE(read_boot_image(good, true, sections));
    EXPECT_EQ(sections.size(), 2u);
    struct Case {
        const char* name;
        size_t link;
        uint32_t value;
    } cases[] = {
        {"next points to itself", 16 + 4, 16},
        {"next points backwards", 32 + 4, 16},
        {"next beyond the image", 16 + 4, 100000},
        {"first section beyond the image", 12, 0x7FFFFFF0},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        put32(bad, c.link, c.value);
        EXPECT_FALSE(read_boot_image(bad, true, sections)) << c.name;
    }
    EXPECT_FALSE(read_boot_image(good, false, sections)) << "a flash image is no I2C image";
}
