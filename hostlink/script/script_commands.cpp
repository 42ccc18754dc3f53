#include <cstdio>

#include "script_commands.h"

namespace {

struct CommandHandler {
    ScriptCommand command;
    LineHandler handler;
};

// Handler of each command, in the order of ScriptCommand so a line finds its
// handler by index.
constexpr CommandHandler HANDLERS[] = {
    {ScriptCommand::PROG_F, program_flash_line},
    {ScriptCommand::PROG_E, program_eeprom_line},
    {ScriptCommand::LOAD_FW, load_firmware_line},
    {ScriptCommand::SET_MAC, set_mac_line},
    {ScriptCommand::QUERY_MAC, query_mac_line},
    {ScriptCommand::GET_VERSION, get_version_line},
    {ScriptCommand::QUERY_STATUS, query_status_line},
    {ScriptCommand::WRITE_BLOCK_F, write_block_file_line},
    {ScriptCommand::READ_BLOCK_F, read_block_file_line},
    {ScriptCommand::WRITE_BLOCK, write_block_line},
    {ScriptCommand::CALC_SNR, calc_snr_line},
    {ScriptCommand::SLEEP, sleep_line},
    {ScriptCommand::RESET, reset_line},
    {ScriptCommand::ACTIVATE, activate_line},
    {ScriptCommand::TX_CFG, tx_config_line},
    {ScriptCommand::PRINT, print_line},
    {ScriptCommand::FIND_DEVICES, find_devices_line},
    {ScriptCommand::START_SEND, test_command_line},
    {ScriptCommand::CONFIG_SEND, test_command_line},
    {ScriptCommand::CONFIG_NODE, test_command_line},
    {ScriptCommand::CONFIG_RECEIVE, test_command_line},
    {ScriptCommand::ENABLE_CERT, test_command_line},
    {ScriptCommand::DISABLE_CERT, test_command_line},
    {ScriptCommand::REPORT_STATS, test_command_line},
    {ScriptCommand::RESET_STATS, test_command_line},
    {ScriptCommand::STOP_SEND, test_command_line},
    {ScriptCommand::STOP_RECV, test_command_line},
    {ScriptCommand::PLAY_FILE, play_file_line},
    {ScriptCommand::TEST_NETWORK, test_command_line},
    {ScriptCommand::GET_STATIONS, test_command_line},
    {ScriptCommand::GET_TX_CHAN_TABLE, test_command_line},
    {ScriptCommand::GET_RX_CHAN_TABLE, test_command_line},
    {ScriptCommand::GET_TX_PE, test_command_line},
    {ScriptCommand::GET_RX_PE, test_command_line},
    {ScriptCommand::R, read_memory_line},
    {ScriptCommand::W, write_memory_line},
    {ScriptCommand::F, nested_script_line},
    {ScriptCommand::L, load_words_line},
    {ScriptCommand::N, load_swapped_words_line},
    {ScriptCommand::S, store_words_line},
    {ScriptCommand::Z, sample_word_line},
    {ScriptCommand::I, read_afe_line},
    {ScriptCommand::A, write_afe_line},
    {ScriptCommand::X, function_files_line},
    {ScriptCommand::G, plain_activate_line},
    {ScriptCommand::UNKNOWN, unknown_command_line},
};

constexpr bool handlers_in_order() {
    int index = 0;
    for (const CommandHandler& entry : HANDLERS)
        if (static_cast<int>(entry.command) != index++) return false;
    return index == SCRIPT_COMMAND_COUNT;
}

static_assert(handlers_in_order(), "one handler per command, in the order of ScriptCommand");

}  // namespace

LineEnd execute_line(ScriptRun& run, const ScriptLine& line) {
    return HANDLERS[static_cast<int>(line.command)].handler(run, line);
}

LineEnd unknown_command_line(ScriptRun& run, const ScriptLine& line) {
    std::printf("ERROR: bad OPCODE at line #%d: \"%s\", aborting...\n", run.command_count, line.text);
    return LineEnd::stop;
}

LineEnd format_error(const ScriptRun& run, const ScriptLine& line) {
    std::printf("ERROR: bad format at line #%d: \"%s\", aborting...\n", run.command_count, line.text);
    return LineEnd::failure_stop;
}

LineEnd not_built_yet(const ScriptRun& run, const ScriptLine& line) {
    std::printf("ERROR: %s is not built into this hostlink yet, line #%d: \"%s\", aborting...\n",
                command_name(line.command), run.command_count, line.text);
    return LineEnd::failure_stop;
}
