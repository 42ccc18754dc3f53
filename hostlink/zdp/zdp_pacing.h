#pragma once

// Time and keyboard as the test commands see them. The loader uses the real
// clock, real sleeps and the console; unit tests substitute a simulated clock
// so that multi-second acknowledgement waits finish at once.
class ZdpPacing {
public:
    virtual ~ZdpPacing() = default;
    // Calendar time in whole seconds.
    virtual long long now_seconds();
    virtual void sleep_ms(int milliseconds);
    // 1 when a key is waiting.
    virtual int key_waiting();
    // One key; -1 at end of input.
    virtual int read_key();
};

// The process's real clock and console.
ZdpPacing& default_pacing();
