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

// Diagnostic inputs check: Lmac1..Lmac6, then Rmac1..Rmac6.
bool checkDiagnosticInputs(const std::string& entryIp, const MacFields& localFields,
                           const MacFields& remoteFields, MessageBoxes& boxes,
                           std::string& interfaceIp, MacAddress& local, MacAddress& remote);

// Splits "00-01-40-00-00-01" or "00:01:40:00:00:01" into the six field texts,
// for callers that take a whole address; false when it is not six parts.
bool splitMacText(const std::string& text, MacFields& fields);

}  // namespace ndx
