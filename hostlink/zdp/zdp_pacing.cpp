#include "zdp_pacing.h"

#include <ctime>

#include "console/console.h"
#include "stop/stop_request.h"

long long ZdpPacing::now_seconds() { return static_cast<long long>(std::time(nullptr)); }

// A stop cuts the sleep short; the wait that slept checks for it next.
void ZdpPacing::sleep_ms(int milliseconds) { sleep_unless_stopped(milliseconds); }

int ZdpPacing::key_waiting() { return console_key_waiting(); }

int ZdpPacing::read_key() { return console_read_key(); }

ZdpPacing& default_pacing() {
    static ZdpPacing real;
    return real;
}
