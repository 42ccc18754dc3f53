#include <gtest/gtest.h>

#include <ostream>

#include <string>

#include "fake_device.h"
#include "hostif/flash.h"
#include "image_builder.h"
#include "output_capture.h"
#include "temp_dir.h"

namespace {

struct Command {
    uint32_t command;
    uint32_t length;  // the length word when the command came
    bool operator==(const Command&) const = default;
};

void PrintTo(const Command& c, std::ostream* os) { *os << c.command << "/" << c.length; }

class Flash : public HostifTest {
protected:
    void SetUp() override {
        HostifTest::SetUp();
        device.mailbox = [this](uint32_t command) {
            uint32_t length = device.word(MAILBOX_LENGTH_ADDRESS);
            seen.push_back({command, length});
            if (command == failing_command) return 0x77u;
            return command >= COMMAND_PROGRAM_EEPROM ? length : 0u;
        };
    }

    std::vector<uint32_t> command_words() const {
        std::vector<uint32_t> out;
        for (const auto& c : seen) out.push_back(c.command);
        return out;
    }

    std::vector<Command> seen;
    uint32_t failing_command = 0;
    TempDir dir_;
};

struct SizeCase {
    int size;
    std::vector<uint32_t> commands;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SizeCase& c, std::ostream* os) { *os << "size_" << c.size; }

class FlashBinary : public Flash, public testing::WithParamInterface<SizeCase> {};

TEST_P(FlashBinary, ProgramsOnePieceCommandPer64KiB) {
    auto data = pattern(GetParam().size, 3);
    std::string p = dir_.file("image.bin", data);
    EXPECT_EQ(program_flash_binary(link, p.c_str()), GetParam().size);
    EXPECT_EQ(command_words(), GetParam().commands);
    int last = GetParam().size % PROGRAMMING_PIECE ? GetParam().size % PROGRAMMING_PIECE : PROGRAMMING_PIECE;
    EXPECT_EQ(device.bytes(STAGING_ADDRESS, last),
              std::vector<uint8_t>(data.end() - last, data.end()));
    for (const auto& f : sent_with(OPCODE_WRITE_MEMORY)) EXPECT_LE(frame_length_field(f) - 12, 256);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlashBinary,
                         testing::Values(SizeCase{65536, {840, 850}}, SizeCase{65535, {840, 850}},
                                         SizeCase{70000, {840, 850, 851}}, SizeCase{1, {840, 850}},
                                         SizeCase{131072 + 256, {840, 850, 851, 852}}));

TEST_F(Flash, BinaryFlashStopsAtABadPieceStatus) {
    failing_command = 850;
    std::string p = dir_.file("image.bin", pattern(70000, 1));
    capture_stdout();
    EXPECT_EQ(program_flash_binary(link, p.c_str()), 0);
    EXPECT_EQ(captured_stdout(), "");
    EXPECT_EQ(command_words(), (std::vector<uint32_t>{840, 850}));
}

TEST_F(Flash, BinaryFlashFailuresAreSilent) {
    std::string p = dir_.file("image.bin", pattern(10, 1));
    capture_stdout();
    EXPECT_EQ(program_flash_binary(link, dir_.path("missing").c_str()), 0);
    failing_command = 840;
    EXPECT_EQ(program_flash_binary(link, p.c_str()), 0);
    device.silent = true;
    EXPECT_EQ(program_flash_binary(link, p.c_str()), 0);
    EXPECT_EQ(captured_stdout(), "");
}

TEST_F(Flash, UnreadableImageIsNotProgrammed) {
    std::string directory = dir_.path("");
    capture_stdout();
    EXPECT_EQ(program_flash_binary(link, directory.c_str()), 0);
    EXPECT_EQ(program_eeprom_binary(link, directory.c_str(), 0), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: file could not be read\nERROR: file could not be read\n");
    EXPECT_EQ(command_words(), (std::vector<uint32_t>{840}));
}

TEST_F(Flash, BinaryEepromOfTwoFullPieces) {
    std::string p = dir_.file("eeprom.bin", pattern(131072, 2));
    EXPECT_EQ(program_eeprom_binary(link, p.c_str(), 1), 0xFFFF);
    EXPECT_EQ(seen, (std::vector<Command>{{861, 0xFFFF}, {862, 0xFFFF}}));
}

TEST_F(Flash, BinaryEepromWithAShortLastPiece) {
    std::string p = dir_.file("eeprom.bin", pattern(65536 + 100, 2));
    EXPECT_EQ(program_eeprom_binary(link, p.c_str(), 0), 100);
    EXPECT_EQ(seen, (std::vector<Command>{{860, 0xFFFF}, {861, 100}}));
}

TEST_F(Flash, BinaryEepromEdges) {
    std::string empty = dir_.file("empty.bin", "");
    EXPECT_EQ(program_eeprom_binary(link, empty.c_str(), 0), 0);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(program_eeprom_binary(link, dir_.path("missing").c_str(), 0), 0);
    device.mailbox = [](uint32_t) { return 0u; };  // nothing programmed
    std::string p = dir_.file("e.bin", pattern(10, 1));
    EXPECT_EQ(program_eeprom_binary(link, p.c_str(), 0), 0);
}

TEST_F(Flash, HexEepromStagesTheWholeFileInOnePiece) {
    debug_level = 3;
    std::string p = dir_.file("eeprom.hex", hex_text(pattern(300, 4)));
    capture_stdout();
    EXPECT_EQ(program_eeprom_hex(link, p.c_str(), 0), 300);
    EXPECT_EQ(captured_stdout(), "programed 300 out of 300 bytes\n");
    auto writes = sent_with(OPCODE_WRITE_MEMORY);
    ASSERT_GE(writes.size(), 4u);
    EXPECT_EQ(frame_address(writes[0]), STAGING_ADDRESS);
    EXPECT_EQ(frame_length_field(writes[0]) - 12, 256);
    EXPECT_EQ(frame_address(writes[1]), STAGING_ADDRESS + 0x100);
    EXPECT_EQ(frame_length_field(writes[1]) - 12, 44);
    EXPECT_EQ(seen, (std::vector<Command>{{860, 300}}));
    EXPECT_EQ(device.bytes(STAGING_ADDRESS, 300), pattern(300, 4));
}

TEST_F(Flash, HexEepromFailures) {
    capture_stdout();
    EXPECT_EQ(program_eeprom_hex(link, dir_.path("missing").c_str(), 1), 0);
    std::string p = dir_.file("e.hex", hex_text(pattern(8, 1)));
    device.silent = true;
    EXPECT_EQ(program_eeprom_hex(link, p.c_str(), 1), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: file could not be accessed\nERROR: Failed to write block\n");
}

TEST_F(Flash, HexFlashProgramsEachPieceAndTheRest) {
    debug_level = 3;
    std::string p = dir_.file("flash.hex", hex_text(pattern(70000, 5)));
    capture_stdout();
    EXPECT_EQ(program_flash_hex(link, p.c_str()), 70000);
    EXPECT_EQ(captured_stdout(), "flash erased!\nblock 0 programed\nblock 1 programmed\n");
    EXPECT_EQ(command_words(), (std::vector<uint32_t>{840, 850, 851}));
}

TEST_F(Flash, EmptyHexFlashFileIsOnlyErased) {
    std::string p = dir_.file("flash.hex", "");
    EXPECT_EQ(program_flash_hex(link, p.c_str()), 0);
    EXPECT_EQ(command_words(), (std::vector<uint32_t>{840}));
}

struct HexFlashFailure {
    const char* name;
    bool silent;
    uint32_t failing;
    const char* message;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const HexFlashFailure& c, std::ostream* os) { *os << c.name; }

class HexFlashFailures : public Flash, public testing::WithParamInterface<HexFlashFailure> {};

TEST_P(HexFlashFailures, ReportAndGiveZero) {
    std::string p = dir_.file("flash.hex", hex_text(pattern(100, 5)));
    device.silent = GetParam().silent;
    failing_command = GetParam().failing;
    capture_stdout();
    EXPECT_EQ(program_flash_hex(link, p.c_str()), 0);
    EXPECT_EQ(captured_stdout(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HexFlashFailures,
    testing::Values(HexFlashFailure{"no_ack", true, 0, "ERROR: no ack on erase command, aborting!!!\n"},
                    HexFlashFailure{"bad_erase", false, 840, "ERROR: bad erase status (0x77), aborting!!!\n"},
                    HexFlashFailure{"bad_prog", false, 850, "ERROR: bad prog status (0x77), aborting!!!\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct EraseCase {
    const char* name;
    bool silent;
    uint32_t failing;
    int debug;
    const char* message;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const EraseCase& c, std::ostream* os) { *os << c.name; }

class EraseFlash : public Flash, public testing::WithParamInterface<EraseCase> {};

TEST_P(EraseFlash, AlwaysGivesZero) {
    device.silent = GetParam().silent;
    failing_command = GetParam().failing;
    debug_level = GetParam().debug;
    capture_stdout();
    EXPECT_EQ(erase_flash(link), 0);
    EXPECT_EQ(captured_stdout(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EraseFlash,
    testing::Values(EraseCase{"quiet_success", false, 0, 0, ""},
                    EraseCase{"success", false, 0, 3, "flash erased!\n"},
                    EraseCase{"bad_status", false, 840, 0, "ERROR: bad erase status (0x77), aborting!!!\n"},
                    EraseCase{"silent", true, 0, 0, "ERROR: no ack on erase command, aborting!!!\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Flash, EraseWithoutStatusAnswer) {
    auto answer = link.responder;
    link.responder = [answer](const ScriptedLink::Frame& sent, std::deque<ScriptedLink::Frame>& replies) {
        if (frame_opcode(sent) == OPCODE_READ_MEMORY) return;
        answer(sent, replies);
    };
    capture_stdout();
    EXPECT_EQ(erase_flash(link), 0);
    EXPECT_EQ(captured_stdout(), "......ERROR: can not get erase status, aborting!!!\n");
}

}  // namespace
