#include "programming_mailbox.h"

#include <algorithm>

ProgrammingMailbox::ProgrammingMailbox(Device& device, NonvolatileMemory& flash, NonvolatileMemory& eeprom)
    : device_(device), flash_(flash), eeprom_(eeprom) {
    device_.watch_writes([this](uint32_t address, size_t count) { on_write(address, count); });
}

void ProgrammingMailbox::on_write(uint32_t address, size_t count) {
    uint64_t begin = address, end = begin + count;
    if (begin >= mailbox_address::staging && begin < mailbox_address::staging + (1u << 24))
        staged_ = std::max<uint64_t>(staged_, end - mailbox_address::staging);
    if (begin <= mailbox_address::length && end >= mailbox_address::length + 4) length_written_ = true;
    if (begin <= mailbox_address::command && end >= mailbox_address::command + 4) {
        run_command(device_.memory.read_word(mailbox_address::command));
        length_written_ = false;
    }
}

void ProgrammingMailbox::run_command(uint32_t command) {
    if (command == erase_flash) {
        device_.busy_holding(device_.options.erase_ms, [this] {
            flash_.erase();
            device_.memory.write_word(mailbox_address::status, 0);
        });
        staged_ = 0;
    } else if (command >= program_eeprom && command < program_eeprom + 100 && length_written_) {
        program_eeprom_piece(command - program_eeprom);
    } else if (command >= program_flash && command < program_flash + 100) {
        program_flash_piece(command - program_flash);
    }
}

void ProgrammingMailbox::finish(int busy_ms, uint32_t status) {
    staged_ = 0;
    device_.busy_holding(busy_ms, [this, status] { device_.memory.write_word(mailbox_address::status, status); });
}

// Flash programming only clears bits, as on the real part: programming over
// data that was not erased gives the AND of both.
void ProgrammingMailbox::program_flash_piece(uint32_t piece) {
    const auto& fails = device_.options.prog_fail;
    uint64_t offset = uint64_t{piece} * piece_size;
    if (offset >= flash_.size()) {
        finish(device_.options.program_ms, piece_outside_flash);
        return;
    }
    if (std::find(fails.begin(), fails.end(), piece) != fails.end()) {
        finish(device_.options.program_ms, piece_failed);
        return;
    }
    size_t count = static_cast<size_t>(std::min<uint64_t>({staged_, piece_size, flash_.size() - offset}));
    std::vector<uint8_t> data(count);
    device_.memory.read(mailbox_address::staging, data.data(), count);
    for (size_t i = 0; i < count; ++i) flash_.bytes[offset + i] &= data[i];
    finish(device_.options.program_ms, 0);
}

// 860 + large (+ piece): a small part knows only 860; a large part takes
// 861 + piece. The length word holds the byte count, 0xFFFF for a full
// 64 KiB piece. The status is the number of bytes programmed.
void ProgrammingMailbox::program_eeprom_piece(uint32_t code) {
    bool large = eeprom_.size() > small_eeprom_limit;
    uint32_t programmed = 0;
    if (large ? code >= 1 : code == 0) {
        uint64_t offset = uint64_t{large ? code - 1 : 0} * piece_size;
        uint32_t length = device_.memory.read_word(mailbox_address::length);
        uint64_t count = length == 0xFFFF ? piece_size : length;
        count = offset < eeprom_.size() ? std::min<uint64_t>(count, eeprom_.size() - offset) : 0;
        if (count > 0)
            device_.memory.read(mailbox_address::staging, eeprom_.bytes.data() + offset, static_cast<size_t>(count));
        programmed = static_cast<uint32_t>(count);
    }
    finish(device_.options.program_ms, programmed);
}
