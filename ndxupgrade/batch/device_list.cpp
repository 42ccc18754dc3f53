#include "device_list.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "core/mac_fields.h"

namespace ndx {
namespace {

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The address in the procedures' form; false when the text is not one.
bool normalMac(const std::string& text, std::string& mac)
{
    MacFields fields;
    if (!readMacText(text, fields)) return false;
    MacAddress address{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        int value = 0;
        if (fields[i].size() != 2 || !readHexField(fields[i], value)) return false;
        address[i] = static_cast<std::uint8_t>(value);
    }
    mac = macText(address);
    return true;
}

}  // namespace

bool readMacListText(const std::string& text, const std::string& fileName, std::vector<std::string>& macs,
                     std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string entry = trimmed(line.substr(0, line.find('#')));
        if (entry.empty()) continue;
        std::string mac;
        if (!normalMac(entry, mac)) {
            error = fileName + ":" + std::to_string(number) + ": not a MAC address: " + entry;
            return false;
        }
        macs.push_back(mac);
    }
    return true;
}

bool collectBatchDevices(const std::vector<std::string>& given, const std::string& listFile,
                         std::vector<std::string>& macs, std::string& error)
{
    macs.clear();
    for (const std::string& text : given) {
        std::string mac;
        if (!normalMac(text, mac)) {
            error = "not a MAC address: " + text;
            return false;
        }
        macs.push_back(mac);
    }
    if (!listFile.empty()) {
        std::error_code ec;
        std::ifstream in(listFile, std::ios::binary);
        std::string text;
        if (in.is_open() && !std::filesystem::is_directory(listFile, ec))
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.is_open() || in.bad() || std::filesystem::is_directory(listFile, ec)) {
            error = "cannot read the MAC list " + listFile;
            return false;
        }
        if (!readMacListText(text, listFile, macs, error)) return false;
    }
    if (macs.empty()) {
        error = "no device to work on: " + listFile + " lists no MAC address";
        return false;
    }
    std::set<std::string> seen;
    for (const std::string& mac : macs)
        if (!seen.insert(mac).second) {
            error = mac + " is listed twice";
            return false;
        }
    return true;
}

}  // namespace ndx
