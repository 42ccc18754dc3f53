#include "device_list.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "core/mac_fields.h"

namespace ndx {
namespace {

const std::string byteOrderMark = "\xEF\xBB\xBF";

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool readMacListText(const std::string& text, const std::string& fileName, std::vector<ListedMac>& macs,
                     std::vector<std::string>& errors)
{
    // Windows editors put a byte-order mark before the first address.
    std::istringstream lines(text.compare(0, byteOrderMark.size(), byteOrderMark) == 0
                                 ? text.substr(byteOrderMark.size())
                                 : text);
    const std::size_t errorsBefore = errors.size();
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string entry = trimmed(line.substr(0, line.find('#')));
        if (entry.empty()) continue;
        std::string mac;
        if (normalMac(entry, mac))
            macs.push_back({mac, number});
        else
            errors.push_back(fileName + ":" + std::to_string(number) + ": not a MAC address: " + entry);
    }
    return errors.size() == errorsBefore;
}

bool collectBatchDevices(const std::vector<std::string>& given, const std::string& listFile,
                         std::vector<std::string>& macs, std::vector<std::string>& errors)
{
    macs.clear();
    errors.clear();
    // Where each address was first given: line 0 for --mac.
    std::map<std::string, int> seen;
    const auto take = [&](const std::string& mac, int line) {
        const auto [first, isNew] = seen.emplace(mac, line);
        if (isNew) {
            macs.push_back(mac);
            return;
        }
        const std::string where = line > 0 ? listFile + ":" + std::to_string(line) + ": " : std::string();
        const std::string also = first->second > 0 ? " (also on line " + std::to_string(first->second) + ")"
                                 : line > 0        ? " (also given with --mac)"
                                                   : "";
        errors.push_back(where + mac + " is listed twice" + also);
    };
    for (const std::string& text : given) {
        std::string mac;
        if (normalMac(text, mac))
            take(mac, 0);
        else
            errors.push_back("not a MAC address: " + text);
    }
    if (!listFile.empty()) {
        std::error_code ec;
        std::ifstream in(listFile, std::ios::binary);
        std::string text;
        if (in.is_open() && !std::filesystem::is_directory(listFile, ec))
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.is_open() || in.bad() || std::filesystem::is_directory(listFile, ec)) {
            errors.push_back("cannot read the MAC list " + listFile);
            return false;
        }
        std::vector<ListedMac> listed;
        readMacListText(text, listFile, listed, errors);
        for (const ListedMac& l : listed) take(l.mac, l.line);
    }
    if (errors.empty() && macs.empty()) errors.push_back("no device to work on: " + listFile + " lists no MAC address");
    return errors.empty();
}

}  // namespace ndx
