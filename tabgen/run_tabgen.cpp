#include "run_tabgen.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <optional>
#include <vector>

#include "c_number.h"
#include "mac_argument.h"
#include "option_scanner.h"
#include "output_writers.h"
#include "parameter_file_reader.h"

namespace {

constexpr const char* option_string = "v:psomi0123M:f:h";
constexpr size_t max_path_length = 259;

// Output selectors, in the order of their bits.
constexpr const char* selector_letters = "omp0123";
constexpr int selector_count = 7;

struct TabgenSettings {
    int verbosity = 0;
    std::string parameter_path = "prm.inf";
    std::optional<std::array<uint8_t, mac_addr_size>> mac;
    std::bitset<selector_count> selected;
    bool memory_script = false;
};

// Returns an exit code when the options end the run, else nothing.
std::optional<int> take_options(int argc, char* const* argv, TabgenSettings& settings, std::string& out,
                                Messages& errors) {
    const char* program = argc > 0 && argv[0] ? argv[0] : "tabgen";
    OptionScanner scanner(argc, argv, option_string);
    for (int letter = scanner.next(); letter != OptionScanner::end; letter = scanner.next()) {
        switch (letter) {
            case 'h':
                out += usage_text(program);
                return 0;
            case 'M': {
                std::array<uint8_t, mac_addr_size> mac{};
                if (!parse_mac_argument(scanner.argument(), mac)) return 0;
                settings.mac = mac;
                break;
            }
            case 'v': {
                const int level = read_number_base(scanner.argument(), 10);
                if (level < 0 || level > 3) {
                    if (level > 3) errors.report(0, "Invalid verbose mode %d\n", level);
                    out += usage_text(program);
                    return exit_usage;
                }
                settings.verbosity = level;
                break;
            }
            case 'f':
                if (std::string_view(scanner.argument()).size() > max_path_length) {
                    errors.report(0, "ERROR: file name longer than %d characters!!!\n",
                                  static_cast<int>(max_path_length));
                    return exit_usage;
                }
                settings.parameter_path = scanner.argument();
                break;
            case 's': settings.memory_script = true; break;
            case 'i': break;
            default: {
                const char* selector = std::strchr(selector_letters, letter);
                if (letter != 0 && selector != nullptr) settings.selected.set(selector - selector_letters);
                break;  // unknown letters and missing arguments are ignored
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::string usage_text(const char* program_name) {
    std::string text = program_name;
    text +=
        "  [ompsh012M] [f filename]\n"
        "Where:\n"
        "-o Section o\n"
        "-m Section m\n"
        "-p Dump params\n"
        "-s Dump params in memory script format\n"
        "-h This help\n"
        "-0 Classifier rule table\n"
        "-1 Classifier filter table\n"
        "-2 Flow params table\n"
        "-3 Static address filter table\n"
        "-M <Mac Address XXX-XXX-XXX-XXX-XXX-XXX> where XXX is assumed decimal unless prefixed with 0x\n"
        "-f <filename> read modified parameters from filename instead of prm.inf file\n"
        "-v <verbose level (0-3)> default is 1: fatal errors only.\n";
    return text;
}

int run_tabgen(int argc, char* const* argv, std::string& out, std::string& err) {
    TabgenSettings settings;
    Messages option_errors{0, {}};
    const auto early_exit = take_options(argc, argv, settings, out, option_errors);
    err += option_errors.text;
    if (early_exit) return *early_exit;

    if (settings.selected.count() != 1) {
        err += "ERROR: exactly one output must be selected!!!\n";
        out += usage_text(argc > 0 && argv[0] ? argv[0] : "tabgen");
        return exit_usage;
    }

    ParameterSet parameters;
    Messages messages{settings.verbosity, {}};
    const int status = read_parameter_file(settings.parameter_path, parameters, messages);
    err += messages.text;
    if (status != 0) return status;

    if (settings.mac) std::copy(settings.mac->begin(), settings.mac->end(), parameters.image.begin() + mac_addr_offset);
    set_section_lengths(parameters.image);

    int selected = 0;
    while (!settings.selected.test(selected)) ++selected;
    const char selector = selector_letters[selected];
    if (selector == 'p') {
        out += format_parameter_dump(parameters.image);
        return 0;
    }

    std::vector<uint8_t> region;
    uint32_t first_address = device_parameter_address;
    if (selector == 'o') {
        region.assign(parameters.image.begin() + section1_offset, parameters.image.begin() + section2_offset);
    } else if (selector == 'm') {
        region.assign(parameters.image.begin() + section2_offset, parameters.image.end());
        first_address += section2_offset;
    } else {
        region = table_bytes(parameters.tables, selector - '0');
    }
    out += settings.memory_script ? format_memory_script(region, first_address) : format_hex_text(region);
    return 0;
}
