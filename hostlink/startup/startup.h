#pragma once

#include "interface_selection.h"

class EthernetLink;
class ZdpClient;

// The whole run of the loader on the given link and test client: command
// line, interface selection, filter, mode. Returns the process status.
// `lookup` finds the PC interface's MAC address (replaced in tests).
int run_hostlink(int argc, char* const* argv, EthernetLink& link, ZdpClient& zdp,
                 const MacLookup& lookup = lookup_interface_mac);

// Off a terminal, standard output is written line by line as each line ends
// (not when a buffer fills), so that a reader (the window's Details, a log)
// sees every line as it is printed, during a long test command too, and a
// run that is killed keeps all it printed. It costs one write per line: a
// script of W lines at debug level 3 into a file runs some 6 % slower
// (bench/script -d 3); flushing after each script line would cost the same.
void write_output_by_line();
