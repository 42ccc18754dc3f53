#pragma once

// The fixed pauses of the device waits (100 ms per polling pass, the short
// pauses of reset and download). They pace the loader against a slow device;
// tests put a shorter or recording pause in their place.
using PauseFunction = void (*)(int milliseconds);

void pause_ms(int milliseconds);

// Installs `pause` (nullptr restores the real sleep); returns the one it replaces.
PauseFunction set_pause_function(PauseFunction pause);
