#include "flash.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "hex_bytes.h"
#include "host_interface.h"
#include "memory_writer.h"
#include "settings/settings.h"

namespace {

constexpr int ERASE_SECONDS_HEX = 120;
constexpr int ERASE_ROUNDS_HEX = 50;
constexpr int ERASE_SECONDS_BINARY = 240;
constexpr int PIECE_SECONDS_BINARY = 900;
constexpr int BINARY_ROUNDS = 5;
constexpr int ERASE_POLL_ROUNDS = 120;
constexpr int PROGRAM_POLL_ROUNDS = 15;
constexpr uint32_t FULL_PIECE_LENGTH = 0xFFFF;

bool readable(const char* path) { return path && access(path, R_OK) == 0; }

bool stage(EthernetLink& link, const uint8_t* data, int length, uint32_t address) {
    return write_all(link, data, length, address, STAGING_BLOCK) == length;
}

// Reads the next staging block of a binary file without crossing a piece
// end: its length, 0 at the end of the file, -1 when the file cannot be read.
int read_block_of_piece(FILE* file, uint8_t* block, int in_piece) {
    int room = PROGRAMMING_PIECE - in_piece;
    int n = int(std::fread(block, 1, room < STAGING_BLOCK ? room : STAGING_BLOCK, file));
    if (n == 0 && std::ferror(file)) {
        std::printf("ERROR: file could not be read\n");
        return -1;
    }
    return n;
}

// Programs one staged piece of a hex flash file; true when the device
// reports success.
bool program_hex_piece(EthernetLink& link, int piece, bool final_piece) {
    write_word(link, MAILBOX_COMMAND_ADDRESS, COMMAND_PROGRAM_FLASH + piece);
    uint32_t status = 0;
    if (poll_word(link, MAILBOX_STATUS_ADDRESS, 4, PROGRAM_POLL_ROUNDS, &status) == 0) {
        std::printf("ERROR: can not get prog status, aborting!!!\n");
        return false;
    }
    if (status != 0) {
        std::printf("ERROR: bad prog status (0x%x), aborting!!!\n", status);
        return false;
    }
    if (debug_level >= 3) {
        if (final_piece)
            std::printf("block %d programmed\n", piece);
        else
            std::printf("block %d programed\n", piece);
    }
    return true;
}

// Writes a command word and waits up to 900 s for the status word: the
// wait's result (above 0 when the device answered).
int command_and_wait(EthernetLink& link, uint32_t command, uint32_t* status) {
    write_word(link, MAILBOX_COMMAND_ADDRESS, command);
    return wait_for_device(link, MAILBOX_STATUS_ADDRESS, 4, PIECE_SECONDS_BINARY, status,
                           BINARY_ROUNDS);
}

// Stages a binary file in 256-byte blocks and hands every complete 64 KiB
// piece, and a final shorter one, to program_piece (piece number, bytes in
// the piece), which gives above 0 when the device programmed it. Gives the
// bytes staged, 0 when the file cannot be read or a block not staged
// (printing stage_error), or the first result of program_piece that is not
// above 0.
template <typename ProgramPiece>
int stage_binary_pieces(EthernetLink& link, FILE* file, const char* stage_error, ProgramPiece program_piece) {
    uint8_t block[STAGING_BLOCK];
    uint32_t staging = STAGING_ADDRESS;
    int piece = 0;
    int in_piece = 0;
    int total = 0;
    for (;;) {
        int n = read_block_of_piece(file, block, in_piece);
        if (n < 0) return 0;
        if (n > 0) {
            if (!stage(link, block, n, staging)) {
                std::printf("%s", stage_error);
                return 0;
            }
            staging += n;
            in_piece += n;
            total += n;
        }
        if (in_piece == PROGRAMMING_PIECE || (n == 0 && in_piece > 0)) {
            int programmed = program_piece(piece, in_piece);
            if (programmed <= 0) return programmed;
            ++piece;
            in_piece = 0;
            staging = STAGING_ADDRESS;
        }
        if (n == 0) return total;
    }
}

}  // namespace

int erase_flash(EthernetLink& link) {
    if (write_word(link, MAILBOX_COMMAND_ADDRESS, COMMAND_ERASE_FLASH) != 0) {
        std::printf("ERROR: no ack on erase command, aborting!!!\n");
        return 0;
    }
    uint32_t status = 0;
    if (poll_word(link, MAILBOX_STATUS_ADDRESS, 4, ERASE_POLL_ROUNDS, &status) == 0) {
        std::printf("ERROR: can not get erase status, aborting!!!\n");
        return 0;
    }
    if (status != 0)
        std::printf("ERROR: bad erase status (0x%x), aborting!!!\n", status);
    else if (debug_level >= 3)
        std::printf("flash erased!\n");
    return 0;
}

int program_flash_hex(EthernetLink& link, const char* path) {
    if (!readable(path)) {
        std::printf("ERROR: file could not be accessed\n");
        return 0;
    }
    if (write_word(link, MAILBOX_COMMAND_ADDRESS, COMMAND_ERASE_FLASH) != 0) {
        std::printf("ERROR: no ack on erase command, aborting!!!\n");
        return 0;
    }
    uint32_t status = 0;
    if (wait_for_device(link, MAILBOX_STATUS_ADDRESS, 4, ERASE_SECONDS_HEX, &status,
                        ERASE_ROUNDS_HEX) <= 0) {
        std::printf("ERROR: can not get erase status, aborting!!!\n");
        return 0;
    }
    if (status != 0) {
        std::printf("ERROR: bad erase status (0x%x), aborting!!!\n", status);
        return 0;
    }
    if (debug_level >= 3) std::printf("flash erased!\n");
    FILE* file = std::fopen(path, "r");
    if (!file) {
        std::printf("ERROR: file open failed!!!\n");
        return 0;
    }
    std::vector<uint8_t> bytes;
    read_hex_bytes(file, bytes);
    std::fclose(file);
    int count = int(bytes.size());
    uint32_t staging = STAGING_ADDRESS;
    int piece = 0;
    for (int offset = 0; offset < count; offset += STAGING_BLOCK) {
        int n = count - offset < STAGING_BLOCK ? count - offset : STAGING_BLOCK;
        if (!stage(link, bytes.data() + offset, n, staging)) {
            std::printf("ERROR: Failed to write block\n");
            return 0;
        }
        staging += n;
        if ((offset + n) % PROGRAMMING_PIECE == 0) {
            if (!program_hex_piece(link, piece, false)) return 0;
            ++piece;
            staging = STAGING_ADDRESS;
        }
    }
    if (count % PROGRAMMING_PIECE != 0 && !program_hex_piece(link, piece, true)) return 0;
    return count;
}

int program_flash_binary(EthernetLink& link, const char* path) {
    if (!readable(path)) return 0;
    if (write_word(link, MAILBOX_COMMAND_ADDRESS, COMMAND_ERASE_FLASH) != 0) return 0;
    uint32_t status = 0;
    int waited = wait_for_device(link, MAILBOX_STATUS_ADDRESS, 4, ERASE_SECONDS_BINARY, &status,
                                 BINARY_ROUNDS);
    if (waited <= 0) return waited;
    if (status != 0) return 0;
    FILE* file = std::fopen(path, "rb");
    if (!file) return 0;
    int result = stage_binary_pieces(link, file, "ERROR: Failed to write block prog_flash\n",
                                     [&](int piece, int) {
                                         int answered = command_and_wait(link, COMMAND_PROGRAM_FLASH + piece, &status);
                                         if (answered <= 0) return answered;
                                         return status == 0 ? 1 : 0;
                                     });
    std::fclose(file);
    return result;
}

int program_eeprom_hex(EthernetLink& link, const char* path, int large) {
    if (!readable(path)) {
        std::printf("ERROR: file could not be accessed\n");
        return 0;
    }
    FILE* file = std::fopen(path, "r");
    if (!file) {
        std::printf("ERROR: fopen failed!!!\n");
        return 0;
    }
    std::vector<uint8_t> bytes;
    read_hex_bytes(file, bytes);
    std::fclose(file);
    int count = int(bytes.size());
    if (!stage(link, bytes.data(), count, STAGING_ADDRESS)) {
        std::printf("ERROR: Failed to write block\n");
        return 0;
    }
    write_word(link, MAILBOX_LENGTH_ADDRESS, uint32_t(count));
    write_word(link, MAILBOX_COMMAND_ADDRESS, COMMAND_PROGRAM_EEPROM + (large ? 1 : 0));
    uint32_t status = 0;
    if (poll_word(link, MAILBOX_STATUS_ADDRESS, 4, PROGRAM_POLL_ROUNDS, &status) == 0) {
        std::printf("ERROR: can not get prog status, aborting!!!\n");
        return 0;
    }
    if (debug_level >= 3) std::printf("programed %d out of %d bytes\n", int(status), count);
    return int(status);
}

int program_eeprom_binary(EthernetLink& link, const char* path, int large) {
    if (!readable(path)) return 0;
    FILE* file = std::fopen(path, "rb");
    if (!file) return 0;
    const uint32_t command = COMMAND_PROGRAM_EEPROM + (large ? 1 : 0);
    uint32_t status = 0;
    int result = stage_binary_pieces(link, file, "ERROR: Failed to write block\n", [&](int piece, int length) {
        write_word(link, MAILBOX_LENGTH_ADDRESS, length == PROGRAMMING_PIECE ? FULL_PIECE_LENGTH : uint32_t(length));
        int answered = command_and_wait(link, command + piece, &status);
        if (answered <= 0) return answered;
        return status != 0 ? 1 : 0;
    });
    std::fclose(file);
    return result > 0 ? int(status) : result;
}
