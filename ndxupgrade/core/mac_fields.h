#pragma once
// The six two-digit MAC byte fields of the form: reading, checking, stepping.

#include <array>
#include <cstdint>
#include <string>

#include "seams.h"

namespace ndx {

using MacAddress = std::array<std::uint8_t, 6>;
using MacFields = std::array<std::string, 6>;

// "%02X-%02X-%02X-%02X-%02X-%02X"
std::string macText(const MacAddress& mac);

// Reads a field the way the form does: "0x" put in front and converted.
bool readHexField(const std::string& field, int& value);

// The text of the conversion error box for a field that does not read as hex.
std::string conversionErrorText(const std::string& field);

enum class StepDirection { Up, Down };

// Steps one byte field with wrap-around; false (field untouched) when it does
// not convert.
bool stepMacField(std::string& field, StepDirection direction);

// Upgrade inputs check: the selected entry's IPv4 text and Amac1..Amac6.
bool checkUpgradeInputs(const std::string& entryIp, const MacFields& fields, MessageBoxes& boxes,
                        std::string& interfaceIp, MacAddress& target);

// The search for the devices needs no MAC: the selected entry's IPv4 text only.
bool checkFindInputs(const std::string& entryIp, MessageBoxes& boxes, std::string& interfaceIp);

// Diagnostic inputs check: Lmac1..Lmac6, then Rmac1..Rmac6.
bool checkDiagnosticInputs(const std::string& entryIp, const MacFields& localFields,
                           const MacFields& remoteFields, MessageBoxes& boxes,
                           std::string& interfaceIp, MacAddress& local, MacAddress& remote);

// Splits "00-01-40-00-00-01" or "00:01:40:00:00:01" into the six field texts,
// for callers that take a whole address; false when it is not six parts.
bool splitMacText(const std::string& text, MacFields& fields);

// A whole address as pasted or scanned: 12 hex digits, plain or in pairs
// separated by ':' or '-', blanks around it allowed. Fills the six fields in
// upper case; false (fields untouched) for anything else.
bool parseFullMac(const std::string& text, MacFields& fields);

// A whole address given on the command line: parseFullMac, else splitMacText.
bool readMacText(const std::string& text, MacFields& fields);

// readMacText with each field checked as the inputs check would check it;
// false (mac untouched) for a text that the check would refuse.
bool readMacAddress(const std::string& text, MacAddress& mac);

// readMacAddress, given back as macText: the one form the procedures, the
// history and the batch lists use. False (mac untouched) as readMacAddress.
bool normalMac(const std::string& text, std::string& mac);

// The keys typed into the six fields in one go (by hand or by a barcode
// scanner that types what it reads): once they make a whole address, it
// fills all six fields, whichever field the typing began in.
class TypedMac {
public:
    // A hex digit or separator typed; true when the run now is a whole
    // address (then in fields, and the run starts anew). Any other key
    // starts a new run.
    bool key(char c, MacFields& fields);
    void reset() { typed_.clear(); }

private:
    std::string typed_;
};

}  // namespace ndx
