#pragma once
// The devices of a batch: the --mac addresses, then those of the --mac-list
// file, each in the form the procedures print ("0A-3F-71-00-00-07").

#include <string>
#include <vector>

namespace ndx {

// One address of the list file and the number of its line.
struct ListedMac {
    std::string mac;
    int line = 0;
};

// One MAC address a line, in any form --mac takes; blanks around it, blank
// lines, everything from a '#' on and a UTF-8 byte-order mark at the start
// are ignored. False with one error per bad line ("FILE:3: not a MAC
// address: 0A-3F"), every bad line named.
bool readMacListText(const std::string& text, const std::string& fileName, std::vector<ListedMac>& macs,
                     std::vector<std::string>& errors);

// The addresses given and those of the list file (when named), checked and
// in list order; false with the errors for an unreadable file, for each
// address that is not one and for each address given again (two upgrades of
// one device at once would take each other's replies).
bool collectBatchDevices(const std::vector<std::string>& given, const std::string& listFile,
                         std::vector<std::string>& macs, std::vector<std::string>& errors);

}  // namespace ndx
