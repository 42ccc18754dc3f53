#include "zdp_pacing.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "console/console.h"

long long ZdpPacing::now_seconds() { return static_cast<long long>(std::time(nullptr)); }

void ZdpPacing::sleep_ms(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int ZdpPacing::key_waiting() { return console_key_waiting(); }

int ZdpPacing::read_key() { return console_read_key(); }

ZdpPacing& default_pacing() {
    static ZdpPacing real;
    return real;
}
