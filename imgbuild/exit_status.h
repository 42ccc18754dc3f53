#pragma once

// Process exit statuses of imgbuild. An empty input (or one that runs past
// the buffer) ends the run with the status of the option that named it.
namespace exit_status {
constexpr int image_written = 0;
constexpr int usage = 1;
constexpr int empty_table3 = -9;
constexpr int empty_table0 = -10;
constexpr int empty_table1 = -11;
constexpr int empty_table2 = -12;
constexpr int empty_oem_parameters = -13;
constexpr int empty_manufacturer_parameters = -14;
constexpr int empty_hardware_parameters = -15;
constexpr int empty_extension_function = -16;
constexpr int image_file_failed = -17;
// Boot code that runs past the buffer: a cut-off boot code section would
// otherwise be written as if the image were sound.
constexpr int boot_code_too_large = -18;
// A vector file longer than the largest vector region (65,280 bytes) would be
// overwritten by the header and sections that follow it.
constexpr int vector_too_large = -19;
// An input file that cannot be opened or read: an image without the section
// it names must not pass for the image that was asked for.
constexpr int input_unreadable = -20;
}  // namespace exit_status
