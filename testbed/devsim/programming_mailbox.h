#pragma once

#include <cstdint>

#include "device.h"
#include "nonvolatile_memory.h"

namespace mailbox_address {
constexpr uint32_t command = 0x8820;
constexpr uint32_t status = 0x8824;
constexpr uint32_t length = 0x8828;
constexpr uint32_t staging = 0x28000;
}  // namespace mailbox_address

// Serves the programming mailbox the way the device's code does: a command
// written to 0x8820 erases the flash, programs a 64 KiB flash piece or
// programs the serial EEPROM from the staging buffer at 0x28000, and the
// result lands in the status word at 0x8824. While the part works the device
// answers nothing; requests that arrive meanwhile are answered afterwards.
class ProgrammingMailbox {
public:
    static constexpr uint32_t erase_flash = 840;
    static constexpr uint32_t program_flash = 850;   // + piece
    static constexpr uint32_t program_eeprom = 860;  // + large (+ piece)
    static constexpr uint32_t piece_size = 65536;
    // Status of a flash command that failed: a piece beyond the part, or
    // one named by --prog-fail.
    static constexpr uint32_t piece_outside_flash = 0x11;
    static constexpr uint32_t piece_failed = 0x12;
    // An EEPROM larger than this is addressed with the "large" commands.
    static constexpr uint32_t small_eeprom_limit = 2048;

    ProgrammingMailbox(Device& device, NonvolatileMemory& flash, NonvolatileMemory& eeprom);

private:
    void on_write(uint32_t address, size_t count);
    void run_command(uint32_t command);
    void program_flash_piece(uint32_t piece);
    void program_eeprom_piece(uint32_t code);
    void finish(int busy_ms, uint32_t status);

    Device& device_;
    NonvolatileMemory& flash_;
    NonvolatileMemory& eeprom_;
    // Bytes staged since the last command, counted from 0x28000: what the
    // host wrote is what gets programmed, so a short last piece leaves the
    // rest of the part erased.
    uint64_t staged_ = 0;
    // Flash pieces 10 and up share their numbers with the EEPROM commands
    // (850 + 10 = 860). Only the EEPROM commands come after a write of the
    // length word, so that write tells the two apart.
    bool length_written_ = false;
};
