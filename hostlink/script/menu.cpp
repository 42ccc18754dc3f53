#include "menu.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "console_input.h"
#include "hostif/host_interface.h"
#include "menu_entries.h"
#include "stop/stop_request.h"

namespace {

constexpr int NO_ENTRY = -1;

void print_menu(bool long_menu) {
    std::printf("\nTalvenrick ZR8010 Diagnostics Application/Loader (MII Host Interface)\n\n");
    std::printf("12.  load memory from file\n");
    std::printf("13.  store memory to file (hex format)\n");
    std::printf("133. store memory to file (binary)\n");
    std::printf("14.  run memory script from file\n");
    std::printf("2.   wait for external memory script file\n");
    if (long_menu) {
        std::printf("3.   query device address\n");
        std::printf("31.  query device status\n");
    }
    std::printf("482. test device packets loopback\n");
    std::printf("55.  send ACTIVATE message\n");
    std::printf("73.  read memory 32bit location (by message)\n");
    std::printf("74.  write memory 32bit location (by message)\n");
    std::printf("777. read serial AFE byte (hex)\n");
    std::printf("778. write serial AFE byte (hex)\n");
    if (long_menu) {
        std::printf("821. read memory block (by message)\n");
        std::printf("822. write memory block(by message)\n");
        std::printf("852. program flash\n");
        std::printf("853. program large eeprom\n");
        std::printf("854. program small eeprom\n");
        std::printf("855. erase flash\n");
        std::printf("856. load extension function file\n");
        std::printf("857. load extension function x1,x2,x3,x4\n");
        std::printf("858. load HW initialization\n");
        std::printf("860. load firmware file\n");
    }
    std::printf("911. select %s menu\n", long_menu ? "short" : "long");
    std::printf("99.  exit this menu\n");
    std::printf("\nEnter: ");
}

}  // namespace

// The end of console input leaves the menu like 99, so a closed pipe can
// never make it repeat forever; so does a stop asked for by a signal, before
// the menu is printed again.
int run_menu(EthernetLink& link, ZdpClient& zdp, int preset_entry) {
    std::memset(message_buffer, 0, sizeof message_buffer);
    MenuContext menu{link, zdp};
    bool long_menu = false;
    for (;;) {
        print_menu(long_menu);
        std::string entry;
        if (preset_entry != NO_ENTRY) {
            entry = std::to_string(preset_entry);
            preset_entry = NO_ENTRY;
        } else {
            entry = read_console_line(&menu.input_ended);
            if (menu.input_ended) break;
        }
        if (entry == "99") break;
        if (entry == "911") {
            long_menu = !long_menu;
            continue;
        }
        run_menu_entry(menu, entry);
        if (menu.input_ended || stop_requested()) break;
    }
    std::fflush(stdout);
    return 0;
}
