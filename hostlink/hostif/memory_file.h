#pragma once

#include <cstdint>
#include <cstdio>

class EthernetLink;

// Moves device memory to and from PC files through the host-interface requests.

// Text file of hex words (one per line, "%x" from the line start) to memory
// from `address` on, each word byte-swapped when swap is non-zero. Words
// written (above 0), -1 no path or a write failed, -2 no word in the file,
// -5 file not readable, -9 file cannot be opened. A line without a hex value
// ends the load early; the words before it stay written and count.
int load_memory_file(EthernetLink& link, const char* path, uint32_t address, int swap);

// `count` words from `address` to a file: text lines "%8.8x:%8.8x" or binary
// little-endian words; the address advances by step * 4 (step 0 samples one
// word). count, or -1 no path or a read failed, -2 not every word reached the
// file, -9 file cannot be created.
int store_memory_file(EthernetLink& link, const char* path, uint32_t address, int count, int binary, int step);

// `length` bytes from `address` to a binary file, read 1400 bytes at a time.
// Bytes written to the file, or 0.
int read_block_to_file(EthernetLink& link, uint32_t address, int length, const char* path);

// A binary file to memory from `address` on, 1400 bytes at a time. Bytes
// written to the device, or 0.
int write_block_from_file(EthernetLink& link, uint32_t address, const char* path);

// Flushes and closes a file that was written; when that fails, or writes_ok
// says an earlier write already fell short, prints "ERROR: failed to write
// <path>" on standard error and gives false. A file write that falls short
// (a full disk) is a failed transfer, never a silent success.
bool finish_written_file(std::FILE* file, const char* path, bool writes_ok);
