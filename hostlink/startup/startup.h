#pragma once

#include "interface_selection.h"

class EthernetLink;
class ZdpClient;

// The whole run of the loader on the given link and test client: command
// line, interface selection, filter, mode. Returns the process status.
// `lookup` finds the PC interface's MAC address (replaced in tests).
int run_hostlink(int argc, char* const* argv, EthernetLink& link, ZdpClient& zdp,
                 const MacLookup& lookup = lookup_interface_mac);
