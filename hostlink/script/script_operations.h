#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "script_line.h"

class EthernetLink;
class ZdpClient;

// What a test command sees of the script that runs it.
struct ScriptTestContext {
    EthernetLink& link;
    ZdpClient& zdp;
    // The open script file: block commands read their lines from it, and the
    // interpreter goes on after the block's end line.
    std::FILE* script;
    // Acknowledgement count of the last CONFIG_SEND of this file; START_SEND waits for it.
    uint32_t& ack_count;
};

// A test command: given the whole argument text, gives the empty text on
// success or the failure text (with its own line end).
using TestCommandFn = std::string (*)(ScriptTestContext& context, const char* arguments);

// The operations that script lines call beyond the host-interface and memory
// file operations. An empty entry is an operation that is not built yet: its
// lines are recognised and parsed and then fail with a clear message.
struct ScriptOperations {
    // LOAD_FW: non-zero on success.
    int (*download_firmware)(EthernetLink& link, const char* path, int skip_activation) = nullptr;
    // PROG_F: 0 on failure, anything else counts as success.
    int (*program_flash_binary)(EthernetLink& link, const char* path) = nullptr;
    // PROG_E: 0 on failure, anything else counts as success.
    int (*program_eeprom_binary)(EthernetLink& link, const char* path, int large) = nullptr;
    // X, once per file: bytes in the file, 0 when it cannot be loaded.
    int (*load_function_file)(EthernetLink& link, const char* path) = nullptr;
    // TX_CFG with the whole argument text: 1 on success, 0 when the script must stop.
    int (*tx_cfg)(EthernetLink& link, const char* arguments) = nullptr;
    // CALC_SNR: the value is not used by scripts.
    double (*calc_snr)() = nullptr;
    // The ZDP test group, indexed by ScriptCommand (other entries stay empty).
    TestCommandFn test_command[SCRIPT_COMMAND_COUNT] = {};
    // SLEEP lines wait through this, so tests need not really wait.
    void (*sleep_ms)(uint32_t milliseconds) = nullptr;
};

// The operations of this build of hostlink.
const ScriptOperations& default_script_operations();

// Runs a script file with the given operations; the result is that of run_script.
int run_script_with(EthernetLink& link, ZdpClient& zdp, const char* path, const ScriptOperations& operations);
