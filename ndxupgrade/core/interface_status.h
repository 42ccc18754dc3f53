#pragma once
// The interface table behind both interface combo boxes, the status refresh
// that colours the status panels, and the choice of one interface by name
// that the headless modes and a batch make as the window would.

#include <cstddef>
#include <string>
#include <vector>

#include "seams.h"

namespace ndx {

constexpr std::size_t kMaxInterfaces = 10;

struct InterfaceEntry {
    std::string description;
    std::string deviceName;
    std::string ipv4;  // dotted text, empty when unknown
};

using InterfaceTable = std::vector<InterfaceEntry>;

// Lists the devices again and rewrites the table from entry 0. items gets the
// combo box texts "n: description". False, after the error box, when the
// capture library cannot list the devices.
bool fillInterfaceTable(InterfaceSource& source, MessageBoxes& boxes, InterfaceTable& table,
                        std::vector<std::string>& items);

enum class PanelColour { Unset, Aqua, Red };

struct StatusPanel {
    std::string text;
    PanelColour colour = PanelColour::Unset;
};

// Refreshes one entry (null: no entry selected) on its panel. Returns whether
// the interface is ready; the panel and the DHCP wait flag are left as they
// were when no adapter matches.
bool refreshStatus(InterfaceSource& source, MessageBoxes& boxes, InterfaceEntry* entry, StatusPanel& panel,
                   bool& dhcpWait);

// Finds the interface as the window's combo box would list it and checks its
// status as the window's buttons would; false after a line on `log`. Sets
// entryIp to its IPv4 address.
bool selectInterface(const std::string& name, InterfaceSource& interfaces, MessageBoxes& boxes, LogMemo& log,
                     std::string& entryIp);

}  // namespace ndx
