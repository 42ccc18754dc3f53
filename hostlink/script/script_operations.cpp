#include "script_operations.h"

#include "hostif/firmware.h"
#include "hostif/flash.h"
#include "stop/stop_request.h"
#include "zdp/zdp_commands.h"

namespace {

// A stop cuts the sleep short, and the run ends after the line.
void sleep_milliseconds(uint32_t milliseconds) { sleep_unless_stopped(milliseconds); }

using Context = ScriptTestContext;

ScriptOperations build_operations() {
    ScriptOperations ops;
    ops.sleep_ms = sleep_milliseconds;
    // One line binds a script command to its operation; a command whose
    // operation is not bound here fails with a "not built" message.
    ops.download_firmware = download_firmware;
    ops.load_function_file = load_function_file;
    ops.program_flash_binary = program_flash_binary;
    ops.program_eeprom_binary = program_eeprom_binary;
    ops.tx_cfg = tx_cfg_command;
    ops.calc_snr = calc_snr_command;

    using enum ScriptCommand;
    auto test = [&ops](ScriptCommand command) -> TestCommandFn& { return ops.test_command[int(command)]; };
    test(CONFIG_NODE) = [](Context& c, const char* a) { return config_node_command(c.zdp, c.script, a); };
    test(CONFIG_SEND) = [](Context& c, const char* a) { return config_send_command(c.zdp, c.script, a, &c.ack_count); };
    test(CONFIG_RECEIVE) = [](Context& c, const char* a) { return config_receive_command(c.zdp, c.script, a); };
    test(START_SEND) = [](Context& c, const char* a) { return start_send_command(c.zdp, a, c.ack_count); };
    test(STOP_SEND) = [](Context& c, const char* a) { return stop_send_command(c.zdp, a); };
    test(STOP_RECV) = [](Context& c, const char* a) { return stop_send_command(c.zdp, a); };
    test(ENABLE_CERT) = [](Context& c, const char* a) { return enable_cert_command(c.zdp, a); };
    test(DISABLE_CERT) = [](Context& c, const char* a) { return disable_cert_command(c.zdp, a); };
    test(REPORT_STATS) = [](Context& c, const char* a) { return report_stats_command(c.zdp, a); };
    test(RESET_STATS) = [](Context& c, const char* a) { return reset_stats_command(c.zdp, a); };
    test(TEST_NETWORK) = [](Context& c, const char* a) { return test_network_command(c.link, c.zdp, c.script, a); };
    // The table listings print and never fail.
    test(GET_STATIONS) = [](Context& c, const char* a) { get_stations_command(c.link, a); return std::string(); };
    test(GET_TX_CHAN_TABLE) = [](Context& c, const char*) { get_tx_chan_table_command(c.link); return std::string(); };
    test(GET_RX_CHAN_TABLE) = [](Context& c, const char*) { get_rx_chan_table_command(c.link); return std::string(); };
    test(GET_TX_PE) = [](Context& c, const char* a) { get_tx_pe_command(c.link, a); return std::string(); };
    test(GET_RX_PE) = [](Context& c, const char* a) { get_rx_pe_command(c.link, a); return std::string(); };
    return ops;
}

}  // namespace

const ScriptOperations& default_script_operations() {
    static const ScriptOperations operations = build_operations();
    return operations;
}
