#include "startup_texts.h"

#include <cstdio>

namespace {
const char* const BUILD_TIME = __DATE__ " " __TIME__;
}

void print_usage(const char* program_name) {
    std::printf("\nUsage: %s [ -d OUI (hex) ] [ -i inum] -m mac-suffix|-M Full-Mac\n", program_name);
    std::printf("\t [-s <ScriptPath> -a <IpAddress>] -l <fw-file>\n");
    std::printf("Explanation:\n");
    std::printf("-i  -   Interface menu number as appearing on hostlink startup menu\n");
    std::printf("-m  -   Mac address suffix in decimal or hex (0xAA) format\n");
    std::printf("-M  -   Mac address in XX:XX:XX:XX:XX:XX or XX-XX-XX-XX-XX-XX format\n");
    std::printf("-s  -   A script file path to be executed and then exit (must use also -a)\n");
    std::printf("-a  -   Interface IP address\n");
    std::printf("-w  -   Start hostlink in wait for script mode (menu 2), must use -a as well\n");
    std::printf("-l  -   Download firmware file to EVM\n");
    std::printf("-d  -   Debug mode, prints more messages\n");
    std::printf("-c  -   CERT versose mode\n");
    std::printf("-v  -   Print version\n");
    std::printf("CERT Verbose Mode:\n");
    std::printf(" A CERT test will print test results in a space delimited columns\n");
    std::printf(" Column description as they appear:\n");
    std::printf("[TX: PACKETS BYTES ERRORS TIME] [RX: SNR PER PE PACKETS BYTES SEQ_MISS SEQ_ERR DATA_ERR FCS_ERR "
                "HDR_ERR ERR TIME]\n");
    std::printf("\n");
}

void print_version() {
    std::printf("\nhostlink version %s\n", TOOLSET_VERSION);
    std::printf("Built on %s\n", BUILD_TIME);
}

void print_banner(const uint8_t device[6]) {
    std::printf("\n***************************************\n");
    std::printf("%s\n", TOOLSET_VERSION);
    std::printf("*\n");
    std::printf("*  Built on %s\n", BUILD_TIME);
    std::printf("*  Talvenrick Communications Ltd\n");
    std::printf("*\n");
    std::printf("*  Connecting device: %02x:%02x:%02x:%02x:%02x:%02x\n", device[0], device[1], device[2], device[3],
                device[4], device[5]);
    std::printf("*\n");
    std::printf("***************************************\n\n");
}
