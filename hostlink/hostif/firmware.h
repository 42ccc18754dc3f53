#pragma once

#include <cstdint>

class EthernetLink;

// Firmware download: the sections of a boot/configuration image (the plain
// I2C image that starts with its magic) written into device memory, and single
// extension functions loaded from hex files.

constexpr int FIRMWARE_IMAGE_SIZE = 1048576;
constexpr uint32_t OEM_SECTION_ADDRESS = 0x8000;
constexpr uint32_t MAC_SECTION_ADDRESS = 0x806C;
constexpr uint32_t PHY_SECTION_ADDRESS = 0x38AB4;
constexpr uint32_t SECTION_FLAGS_ADDRESS = 0x809A;
constexpr uint32_t SYSTEM_TABLE_ADDRESS = 0x3AAB4;
constexpr int SYSTEM_TABLE_ENTRIES = 16;
constexpr int SYSTEM_TABLE_SIZE = SYSTEM_TABLE_ENTRIES * 12;
constexpr int FUNCTION_HEADER_SIZE = 32;

// Resets the device (mode 0), writes the OEM section, runs the extension
// functions in chain order, fills the system tables, writes the MAC and PHY
// sections and their flag word, then activates the device unless
// skip_activation is non-zero (`hostlink -l` passes 0, LOAD_FW its ADDR field).
// Non-zero on success (the PHY section's byte count, or -1 when the image has
// none), 0 on failure.
int download_firmware(EthernetLink& link, const char* path, int skip_activation);

// The same download for an image already read: the chain is walked within its
// `length` bytes only.
int download_image(EthernetLink& link, const uint8_t* image, int length, int skip_activation);

// Walks the section chain of `image` (`length` bytes) from position `start`
// (0 = the image header) to the first section tagged `tag` and writes it to its
// destination. Bytes written (above 0), 0 when writing failed or the chain is
// broken, -1 when no such section lies on the chain. When `next` is given it
// receives the position of the following section, 0 at the end of the chain.
int find_section(EthernetLink& link, const char tag[4], int start, const uint8_t* image, int length,
                 int* next);

// The device's 16 system table descriptors (address, current size, maximum
// size) to and from the process's copy: 192, or -1 with a message.
int load_system_table(EthernetLink& link);
int store_system_table(EthernetLink& link);

// Loads the extension function at `function` (`length` bytes available, its
// 32-byte header first) to its load address, starts it and waits for it to
// finish. The data count of the completion reply (above 0), or 0.
int load_extension_section(EthernetLink& link, const uint8_t* function, int length);

// Writes `length` bytes in pieces of at most 256 bytes. Bytes written, or 0.
int write_memory(EthernetLink& link, const uint8_t* data, int length, uint32_t address);

// Loads the extension function of a hex file ("%sx%d.hex") to its load address
// and starts it without waiting. The number of bytes in the file, or 0 (file
// not readable, shorter than the function header, or a write failed).
int load_function_file(EthernetLink& link, const char* path);
