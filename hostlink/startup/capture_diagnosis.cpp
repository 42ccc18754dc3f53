#include "capture_diagnosis.h"

#include <cstdio>
#include <string>

#include "link/ethernet_link.h"
#include "self_path.h"

void report_capture_failure(const EthernetLink& link) {
    const char* reason = link.capture_error();
    if (*reason == 0) return;
    // The status line went to standard output; keep the order on a shared terminal.
    std::fflush(stdout);
    if (!link.capture_denied()) {
        std::fprintf(stderr, "hostlink: cannot capture on %s\n", reason);
        return;
    }
    std::string binary = self_path();
    if (binary.empty()) binary = "hostlink";
    std::fprintf(stderr,
                 "hostlink: cannot capture on %s; run as root or: sudo setcap cap_net_raw+ep %s\n",
                 reason, binary.c_str());
}
