#pragma once

#include "script_run.h"

// One handler per script command: reads the fields of its line, calls the
// operation and says how the line ends.
using LineHandler = LineEnd (*)(ScriptRun& run, const ScriptLine& line);

// Device memory and AFE registers.
LineEnd read_memory_line(ScriptRun& run, const ScriptLine& line);         // R
LineEnd write_memory_line(ScriptRun& run, const ScriptLine& line);        // W
LineEnd read_afe_line(ScriptRun& run, const ScriptLine& line);            // I
LineEnd write_afe_line(ScriptRun& run, const ScriptLine& line);           // A
LineEnd load_words_line(ScriptRun& run, const ScriptLine& line);          // L
LineEnd load_swapped_words_line(ScriptRun& run, const ScriptLine& line);  // N
LineEnd store_words_line(ScriptRun& run, const ScriptLine& line);         // S
LineEnd sample_word_line(ScriptRun& run, const ScriptLine& line);         // Z
LineEnd write_block_line(ScriptRun& run, const ScriptLine& line);         // WRITE_BLOCK
LineEnd write_block_file_line(ScriptRun& run, const ScriptLine& line);    // WRITE_BLOCK_F
LineEnd read_block_file_line(ScriptRun& run, const ScriptLine& line);     // READ_BLOCK_F
LineEnd set_mac_line(ScriptRun& run, const ScriptLine& line);             // SET_MAC

// The device as a whole and the script itself.
LineEnd nested_script_line(ScriptRun& run, const ScriptLine& line);   // F
LineEnd plain_activate_line(ScriptRun& run, const ScriptLine& line);  // G
LineEnd sleep_line(ScriptRun& run, const ScriptLine& line);           // SLEEP
LineEnd print_line(ScriptRun& run, const ScriptLine& line);           // PRINT
LineEnd reset_line(ScriptRun& run, const ScriptLine& line);           // RESET
LineEnd activate_line(ScriptRun& run, const ScriptLine& line);        // ACTIVATE
LineEnd query_status_line(ScriptRun& run, const ScriptLine& line);    // QUERY_STATUS
LineEnd query_mac_line(ScriptRun& run, const ScriptLine& line);       // QUERY_MAC
LineEnd get_version_line(ScriptRun& run, const ScriptLine& line);     // GET_VERSION
LineEnd find_devices_line(ScriptRun& run, const ScriptLine& line);    // FIND_DEVICES

// Firmware, flash and EEPROM, transmitter and SNR.
LineEnd function_files_line(ScriptRun& run, const ScriptLine& line);  // X
LineEnd load_firmware_line(ScriptRun& run, const ScriptLine& line);   // LOAD_FW
LineEnd program_flash_line(ScriptRun& run, const ScriptLine& line);   // PROG_F
LineEnd program_eeprom_line(ScriptRun& run, const ScriptLine& line);  // PROG_E
LineEnd tx_config_line(ScriptRun& run, const ScriptLine& line);       // TX_CFG
LineEnd calc_snr_line(ScriptRun& run, const ScriptLine& line);        // CALC_SNR

// The test group, the capture replay, and lines that name no command.
LineEnd test_command_line(ScriptRun& run, const ScriptLine& line);
LineEnd play_file_line(ScriptRun& run, const ScriptLine& line);  // PLAY_FILE
LineEnd unknown_command_line(ScriptRun& run, const ScriptLine& line);
