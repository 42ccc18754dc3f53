#include <cstdio>
#include <string>

#include "progress_line.h"
#include "script_commands.h"
#include "settings/settings.h"

namespace {

// The file name field of a line whose address field is not a device address.
std::string file_field(const ScriptLine& line) {
    const char* field = next_field(line.arguments);
    return field ? name_after_blanks(field) : std::string();
}

}  // namespace

LineEnd function_files_line(ScriptRun& run, const ScriptLine& line) {
    std::string directory = file_field(line);
    if (directory.empty()) return format_error(run, line);
    if (!run.operations.load_function_file) return not_built_yet(run, line);
    if (directory.back() != '/') directory += '/';
    for (int i = 1; i <= 4; ++i) {
        std::string path = directory + "x" + std::to_string(i) + ".hex";
        int result = run.operations.load_function_file(run.link, path.c_str());
        if (debug_level >= 3) std::printf("x%d result->%d\n", i, result);
        if (result <= 0) {
            std::printf("ERROR: x%d result-> FAILURE\n", i);
            return LineEnd::failure_go_on;
        }
    }
    return LineEnd::go_on;
}

LineEnd load_firmware_line(ScriptRun& run, const ScriptLine& line) {
    std::string name = file_field(line);
    if (name.empty()) return format_error(run, line);
    if (!run.operations.download_firmware) return not_built_yet(run, line);
    if (with_progress("LOAD_FW", file_size(name), [&] {
            return run.operations.download_firmware(run.link, name.c_str(), static_cast<int>(line.address));
        }) == 0) {
        std::printf("ERROR - failed to load firmware file %s", name.c_str());
        return LineEnd::failure_stop;
    }
    return LineEnd::go_on;
}

LineEnd program_flash_line(ScriptRun& run, const ScriptLine& line) {
    std::string name = file_field(line);
    if (name.empty()) return format_error(run, line);
    if (!run.operations.program_flash_binary) return not_built_yet(run, line);
    // A negative result is an abandoned wait: the flash is not programmed, so
    // it fails the line like 0 does rather than passing as success.
    if (with_progress("PROG_F", file_size(name),
                      [&] { return run.operations.program_flash_binary(run.link, name.c_str()); }) <= 0) {
        std::printf("ERROR: failed to program flash from file %s\n", name.c_str());
        return LineEnd::failure_stop;
    }
    return LineEnd::go_on;
}

LineEnd program_eeprom_line(ScriptRun& run, const ScriptLine& line) {
    std::string name = file_field(line);
    if (name.empty()) return format_error(run, line);
    if (!run.operations.program_eeprom_binary) return not_built_yet(run, line);
    if (with_progress("PROG_E", file_size(name), [&] {
            return run.operations.program_eeprom_binary(run.link, name.c_str(), static_cast<int>(line.address));
        }) <= 0) {
        std::printf("ERROR: failed to program eeprom from file %s\n", name.c_str());
        return LineEnd::failure_stop;
    }
    return LineEnd::go_on;
}

// The operation prints its own message when it refuses the configuration.
LineEnd tx_config_line(ScriptRun& run, const ScriptLine& line) {
    if (!run.operations.tx_cfg) return not_built_yet(run, line);
    return run.operations.tx_cfg(run.link, line.arguments) == 0 ? LineEnd::stop : LineEnd::go_on;
}

LineEnd calc_snr_line(ScriptRun& run, const ScriptLine& line) {
    if (!run.operations.calc_snr) return not_built_yet(run, line);
    run.operations.calc_snr();
    return LineEnd::go_on;
}
