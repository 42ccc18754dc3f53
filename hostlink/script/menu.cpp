#include <cstdio>

#include "menu.h"

int run_menu(EthernetLink&, ZdpClient&, int) {
    std::printf("the interactive menu is not built yet\n");
    return 0;
}
