#include "mac_fields.h"

#include <cstdio>

namespace ndx {
namespace {

const char* const kInvalidMac = "Invalid MAC Address";
const char* const kNoInterfaceIp = "Can't get the Interface IP";

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool readFields(const MacFields& fields, MacAddress& mac)
{
    for (const std::string& f : fields)
        if (f.size() != 2) return false;
    MacAddress out{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        int value = 0;
        if (!readHexField(fields[i], value)) return false;
        out[i] = static_cast<std::uint8_t>(value);
    }
    mac = out;
    return true;
}

bool takeInterfaceIp(const std::string& entryIp, MessageBoxes& boxes, std::string& interfaceIp)
{
    interfaceIp = entryIp;
    if (!interfaceIp.empty()) return true;
    boxes.show("Error", kNoInterfaceIp, BoxIcon::Error);
    return false;
}

}  // namespace

std::string macText(const MacAddress& mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return text;
}

bool readHexField(const std::string& field, int& value)
{
    // The field is at most two characters, but a longer text must not overflow.
    if (field.empty() || field.size() > 7) return false;
    int v = 0;
    for (char c : field) {
        int d = hexDigit(c);
        if (d < 0) return false;
        v = v * 16 + d;
    }
    value = v;
    return true;
}

std::string conversionErrorText(const std::string& field)
{
    return "'0x" + field + "' is not a valid integer value";
}

bool stepMacField(std::string& field, StepDirection direction)
{
    int value = 0;
    if (!readHexField(field, value)) return false;
    value += direction == StepDirection::Up ? 1 : -1;
    if (value >= 256) value = 0;
    if (value < 0) value = 255;
    char text[3];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value));
    field = text;
    return true;
}

bool checkUpgradeInputs(const std::string& entryIp, const MacFields& fields, MessageBoxes& boxes,
                        std::string& interfaceIp, MacAddress& target)
{
    if (!takeInterfaceIp(entryIp, boxes, interfaceIp)) return false;
    if (!readFields(fields, target)) {
        boxes.show("Error", kInvalidMac, BoxIcon::Error);
        return false;
    }
    return true;
}

bool checkFindInputs(const std::string& entryIp, MessageBoxes& boxes, std::string& interfaceIp)
{
    return takeInterfaceIp(entryIp, boxes, interfaceIp);
}

bool checkDiagnosticInputs(const std::string& entryIp, const MacFields& localFields,
                           const MacFields& remoteFields, MessageBoxes& boxes,
                           std::string& interfaceIp, MacAddress& local, MacAddress& remote)
{
    if (!takeInterfaceIp(entryIp, boxes, interfaceIp)) return false;
    if (!readFields(localFields, local) || !readFields(remoteFields, remote)) {
        boxes.show("Error", kInvalidMac, BoxIcon::Error);
        return false;
    }
    return true;
}

bool splitMacText(const std::string& text, MacFields& fields)
{
    MacFields out;
    std::size_t part = 0;
    for (char c : text) {
        if (c == '-' || c == ':') {
            if (++part >= out.size()) return false;
        } else {
            out[part] += c;
        }
    }
    if (part != out.size() - 1) return false;
    fields = out;
    return true;
}

bool parseFullMac(const std::string& text, MacFields& fields)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return false;
    const std::string t = text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
    // Plain: 12 digits; separated: 17 characters with ':' or '-' after each pair.
    const bool separated = t.size() == 17;
    if (t.size() != 12 && !separated) return false;
    MacFields out;
    for (std::size_t i = 0, at = 0; i < out.size(); ++i) {
        for (int d = 0; d < 2; ++d, ++at) {
            if (hexDigit(t[at]) < 0) return false;
            out[i] += static_cast<char>(t[at] >= 'a' && t[at] <= 'f' ? t[at] - 'a' + 'A' : t[at]);
        }
        if (separated && i + 1 < out.size()) {
            if (t[at] != ':' && t[at] != '-') return false;
            ++at;
        }
    }
    fields = out;
    return true;
}

bool readMacText(const std::string& text, MacFields& fields)
{
    return parseFullMac(text, fields) || splitMacText(text, fields);
}

bool readMacAddress(const std::string& text, MacAddress& mac)
{
    MacFields fields;
    if (!readMacText(text, fields)) return false;
    MacAddress address{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        int value = 0;
        if (fields[i].size() != 2 || !readHexField(fields[i], value)) return false;
        address[i] = static_cast<std::uint8_t>(value);
    }
    mac = address;
    return true;
}

bool normalMac(const std::string& text, std::string& mac)
{
    MacAddress address{};
    if (!readMacAddress(text, address)) return false;
    mac = macText(address);
    return true;
}

bool TypedMac::key(char c, MacFields& fields)
{
    if (hexDigit(c) < 0 && c != ':' && c != '-') {
        typed_.clear();
        return false;
    }
    typed_ += c;
    // Only the tail can still become an address.
    if (typed_.size() > 17) typed_.erase(0, typed_.size() - 17);
    for (std::size_t length : {std::size_t(17), std::size_t(12)}) {
        if (typed_.size() < length) continue;
        if (parseFullMac(typed_.substr(typed_.size() - length), fields)) {
            typed_.clear();
            return true;
        }
    }
    return false;
}

}  // namespace ndx
