#include "menu_entries.h"

#include <cstdint>
#include <cstdio>

#include "console_input.h"
#include "hostif/firmware.h"
#include "hostif/flash.h"
#include "hostif/host_interface.h"
#include "hostif/memory_file.h"
#include "script.h"
#include "wait_for_script.h"

namespace {

constexpr const char* ADDRESS_PROMPT = "Enter memory address (hex) : ";
constexpr const char* FILENAME_PROMPT = "Enter filename: ";
constexpr const char* AFE_REGISTER_PROMPT = "Enter AFE register address (hex) : ";
constexpr uint32_t AFE_REGISTER_MASK = 0x1F;
constexpr int FUNCTION_FILES = 4;

// The word as the device's 32-bit tools print it with %ld.
long as_signed(uint32_t value) { return static_cast<int32_t>(value); }

void print_result(int result) { std::printf("result->%d\n", result); }

// A prompt and the line typed after it.
std::string ask_line(MenuContext& menu, const char* prompt) {
    std::printf("%s", prompt);
    return read_console_line(&menu.input_ended);
}

uint32_t ask_hex(MenuContext& menu, const char* prompt) {
    std::printf("%s", prompt);
    return read_console_hex(&menu.input_ended);
}

// The address of an entry that writes to the device: one that does not parse
// abandons the entry after the message (false), so nothing lands at address 0.
bool ask_write_address(MenuContext& menu, const char* prompt, uint32_t* address) {
    std::printf("%s", prompt);
    bool parsed = false;
    *address = read_console_hex(&menu.input_ended, &parsed);
    return parsed && !menu.input_ended;
}

uint32_t ask_number(MenuContext& menu, const char* prompt) {
    std::printf("%s", prompt);
    return read_console_number(&menu.input_ended);
}

void load_memory(MenuContext& menu) {
    const std::string file = ask_line(menu, "Enter filename (one 32-bit hex-decimal value per line): ");
    if (menu.input_ended) return;
    uint32_t address = 0;
    if (!ask_write_address(menu, ADDRESS_PROMPT, &address)) return;
    print_result(load_memory_file(menu.link, file.c_str(), address, 0));
}

void store_memory(MenuContext& menu, const char* file_prompt, int binary) {
    const std::string file = ask_line(menu, file_prompt);
    if (menu.input_ended) return;
    const uint32_t address = ask_hex(menu, ADDRESS_PROMPT);
    if (menu.input_ended) return;
    const uint32_t count = ask_hex(menu, "Enter number of addresses (hex) : ");
    if (menu.input_ended) return;
    print_result(store_memory_file(menu.link, file.c_str(), address, static_cast<int>(count), binary, 1));
}

void store_memory_text(MenuContext& menu) {
    store_memory(menu, "Enter filename (data will be written as one 32-bit hex-decimal value per line): ", 0);
}

void store_memory_binary(MenuContext& menu) {
    store_memory(menu, "Enter filename (data will be written as successive 32-bit binary values): ", 1);
}

void run_script_file(MenuContext& menu) {
    const std::string file = ask_line(
        menu, "Enter filename (one command \"{R|W|L|S|F},ADDR32hex[,VAL32hex|filename[,LEN32hex]]\" per line): ");
    if (menu.input_ended) return;
    print_result(run_script(menu.link, menu.zdp, file.c_str()));
}

void wait_for_scripts(MenuContext& menu) { wait_for_script(menu.link, menu.zdp); }

void query_address(MenuContext& menu) {
    uint8_t mac[6] = {};
    if (query_device_mac(menu.link, mac) != 0) {
        std::printf("MAC: %02x:%02x:%02x:%02x:%02x:%02x\n", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    } else {
        std::printf("ERROR - failed to query device MAC\n");
    }
}

void query_device_status(MenuContext& menu) {
    uint32_t link_status = 0;
    uint32_t network_mode = 0;
    if (query_status(menu.link, &link_status, &network_mode) == 1) {
        std::printf("link status %d\n", static_cast<int>(link_status));
        std::printf("network mode %d\n", static_cast<int>(network_mode));
    } else {
        std::printf("ERROR - failed to query device status\n");
    }
}

void activate(MenuContext& menu) { send_activate(menu.link); }

void read_memory_word(MenuContext& menu) {
    const uint32_t address = ask_hex(menu, ADDRESS_PROMPT);
    if (menu.input_ended) return;
    uint32_t value = 0;
    if (read_word(menu.link, address, &value) == 0) {
        std::printf("Value of memory location (0x%06lx) is 0x%08lx (%ld)\n", static_cast<unsigned long>(address),
                    static_cast<unsigned long>(value), as_signed(value));
    } else {
        std::printf("ERROR: Failed to read address\n");
    }
}

void write_memory_word(MenuContext& menu) {
    uint32_t address = 0;
    if (!ask_write_address(menu, ADDRESS_PROMPT, &address)) return;
    const uint32_t value = ask_number(menu, "Enter new value : ");
    if (menu.input_ended) return;
    if (write_word(menu.link, address, value) == 0) {
        std::printf("Value of memory location (0x%06lx) was set to %ld (0x%08lx)\n",
                    static_cast<unsigned long>(address), as_signed(value), static_cast<unsigned long>(value));
    } else {
        std::printf("Failed to write address\n");
    }
}

void read_afe(MenuContext& menu) {
    const uint32_t reg = ask_hex(menu, AFE_REGISTER_PROMPT) & AFE_REGISTER_MASK;
    if (menu.input_ended) return;
    uint32_t value = 0;
    read_serial(menu.link, reg, &value);
    std::printf("Value of AFE memory location (0x%06lx) is 0x%08lx (%ld)\n", static_cast<unsigned long>(reg),
                static_cast<unsigned long>(value), as_signed(value));
}

void write_afe(MenuContext& menu) {
    uint32_t reg = 0;
    if (!ask_write_address(menu, AFE_REGISTER_PROMPT, &reg)) return;
    reg &= AFE_REGISTER_MASK;
    const uint32_t value = ask_hex(menu, "Enter new value (hex) : ") & 0xFF;
    if (menu.input_ended) return;
    if (write_serial(menu.link, reg, value) != 0) std::printf("ERROR: Failed to write AFE\n");
}

void program_flash(MenuContext& menu) {
    const std::string file = ask_line(menu, FILENAME_PROMPT);
    if (menu.input_ended) return;
    print_result(program_flash_hex(menu.link, file.c_str()));
}

void program_eeprom(MenuContext& menu, int large) {
    const std::string file = ask_line(menu, FILENAME_PROMPT);
    if (menu.input_ended) return;
    print_result(program_eeprom_hex(menu.link, file.c_str(), large));
}

void program_large_eeprom(MenuContext& menu) { program_eeprom(menu, 1); }
void program_small_eeprom(MenuContext& menu) { program_eeprom(menu, 0); }

void erase(MenuContext& menu) {
    const std::string answer = ask_line(menu, "Erase flash? (y/n) : ");
    if (menu.input_ended) return;
    if (answer == "y" || answer == "Y") print_result(erase_flash(menu.link));
}

void load_function(MenuContext& menu) {
    const std::string file = ask_line(menu, FILENAME_PROMPT);
    if (menu.input_ended) return;
    print_result(load_function_file(menu.link, file.c_str()));
}

void load_four_functions(MenuContext& menu) {
    std::string prefix = ask_line(menu, "Enter path prefix (excluding Xi.hex): ");
    if (menu.input_ended) return;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    for (int i = 1; i <= FUNCTION_FILES; ++i) {
        const std::string path = prefix + "x" + std::to_string(i) + ".hex";
        std::printf("x%d result->%d\n", i, load_function_file(menu.link, path.c_str()));
    }
}

void load_hw_initialization(MenuContext& menu) {
    const std::string file = ask_line(menu, "Enter HW initialization filename: ");
    if (menu.input_ended) return;
    uint32_t address = 0;
    if (!ask_write_address(menu, "Enter memory address of HW init block (hex) : ", &address)) return;
    print_result(load_memory_file(menu.link, file.c_str(), address, 1));
}

void load_firmware(MenuContext& menu) {
    const std::string file = ask_line(menu, FILENAME_PROMPT);
    if (menu.input_ended) return;
    print_result(download_firmware(menu.link, file.c_str(), 0));
}

struct MenuEntry {
    const char* number;
    void (*run)(MenuContext&);
};

const MenuEntry ENTRIES[] = {
    {"12", load_memory},          {"13", store_memory_text},
    {"133", store_memory_binary}, {"14", run_script_file},
    {"2", wait_for_scripts},      {"3", query_address},
    {"31", query_device_status},  {"482", run_loopback_test},
    {"55", activate},             {"73", read_memory_word},
    {"74", write_memory_word},    {"777", read_afe},
    {"778", write_afe},           {"821", run_block_dump},
    {"822", run_block_write},     {"852", program_flash},
    {"853", program_large_eeprom}, {"854", program_small_eeprom},
    {"855", erase},               {"856", load_function},
    {"857", load_four_functions}, {"858", load_hw_initialization},
    {"860", load_firmware},
};

}  // namespace

bool run_menu_entry(MenuContext& menu, const std::string& entry) {
    for (const MenuEntry& candidate : ENTRIES) {
        if (entry == candidate.number) {
            candidate.run(menu);
            return true;
        }
    }
    return false;
}
