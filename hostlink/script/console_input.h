#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Console input of the menu and its entries. Every read flushes standard
// output first, so a prompt is on screen before the program waits. A read at
// the end of console input sets *ended (when given) and yields an empty line
// or 0, so the caller can leave instead of acting on input that never came.

// Longest menu input line, and the longest line of a number prompt.
constexpr int MENU_LINE_LENGTH = 255;
constexpr int NUMBER_LINE_LENGTH = 63;

// One console line of up to `length` characters, without its line end.
std::string read_console_line(bool* ended, int length = MENU_LINE_LENGTH);

// A hexadecimal number (leading blanks and 0x allowed). No number: prints
// "ERROR: Invalid input!" and yields 0; *parsed (when given) tells whether a
// number was read, so an entry can refuse to act on an address never typed.
uint32_t read_console_hex(bool* ended = nullptr, bool* parsed = nullptr);

// An unsigned 32-bit number in C notation, a leading minus sign negating it
// modulo 2^32. Overflow, or a character after it other than a blank or the
// line end, prints "ERROR: Invalid input!"; the number read so far is used all
// the same.
uint32_t read_console_number(bool* ended = nullptr);

// Waits for one key press after "Press any key to continue"; false at the end
// of console input.
bool wait_for_key();

// Prints `length` bytes as units of 1, 2 or 4 bytes (little-endian), a new
// line with the address before every 16 bytes; any other unit prints nothing.
// On the console (output == stdout) it then waits for a key; *ended is set
// when console input ends there. Returns the bytes printed.
int dump_block(uint32_t address, const uint8_t* data, int length, std::FILE* output, int unit,
               bool* ended = nullptr);
