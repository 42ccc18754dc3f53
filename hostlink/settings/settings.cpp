#include "settings.h"

uint8_t device_mac[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};
uint8_t pc_mac[6] = {0, 0, 0, 0, 0, 0};
int debug_level = 0;
int cert_verbose = 0;
int stop_on_failure = 0;
