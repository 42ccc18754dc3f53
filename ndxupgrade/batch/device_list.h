#pragma once
// The devices of a batch: the --mac addresses, then those of the --mac-list
// file, each in the form the procedures print ("0A-3F-71-00-00-07").

#include <string>
#include <vector>

namespace ndx {

// One MAC address a line, in any form --mac takes; blanks around it, blank
// lines and everything from a '#' on are ignored. False with `error` naming
// the line ("FILE:3: not a MAC address: 0A-3F") for anything else.
bool readMacListText(const std::string& text, const std::string& fileName, std::vector<std::string>& macs,
                     std::string& error);

// The addresses given and those of the list file (when named), checked and
// in list order; false with `error` for an unreadable file, an address that
// is not one, or an address given twice (two upgrades of one device at once
// would take each other's replies).
bool collectBatchDevices(const std::vector<std::string>& given, const std::string& listFile,
                         std::vector<std::string>& macs, std::string& error);

}  // namespace ndx
