#pragma once

#include <cstdint>

// Start-up settings of the loader. They are process-wide by design: the
// command line sets them once and every layer of the loader reads them.
extern uint8_t device_mac[6];   // the device spoken to; default 0A:3F:71:00:00:01
extern uint8_t pc_mac[6];       // MAC of the selected PC interface: source of every frame
extern int debug_level;         // 0..3; 1 adds failure details, 3 progress lines
extern int cert_verbose;        // CERT results as space-delimited columns
extern int stop_on_failure;     // a failing test command ends the memory script
