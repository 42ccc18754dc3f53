#include "history_output.h"

#include <cmath>
#include <cstdio>

#include "core/text_escaping.h"

namespace ndx {
namespace {

std::string number(const std::optional<double>& value)
{
    if (!value || !std::isfinite(*value)) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", *value);
    return text;
}

std::string number(const std::optional<int>& value)
{
    return value ? std::to_string(*value) : std::string();
}

// Every field but the backup's bytes, named as in the CSV header.
std::vector<std::pair<const char*, std::string>> fields(const OperationRecord& r)
{
    return {{"started_at", r.startedAt},
            {"ended_at", r.endedAt},
            {"host", r.host},
            {"os_user", r.osUser},
            {"program_version", r.programVersion},
            {"action", r.action},
            {"interface", r.interface},
            {"mac", r.mac},
            {"remote_mac", r.remoteMac},
            {"result", r.result},
            {"failed_step", r.failedStep},
            {"version_before", r.versionBefore},
            {"version_after", r.versionAfter},
            {"snr", number(r.snr)},
            {"per", number(r.per)},
            {"pe", number(r.pe)},
            {"parameter_sha256", r.parameterSha256},
            {"image_sha256", r.imageSha256},
            {"kit_dir", r.kitDir},
            {"run_folder", r.runFolder},
            {"backup", r.backupStatus},
            {"unsent", r.unsent ? "yes" : ""},
            {"uid", r.uid},
            {"log", r.log}};
}

// The numbers are JSON numbers, or null when nothing was measured.
bool isNumberField(const std::string& name)
{
    return name == "snr" || name == "per" || name == "pe";
}

// A text too wide for its column pushes the columns after it along, but
// never runs into the next one.
std::string padded(std::string text, std::size_t width)
{
    if (text.size() < width) text.resize(width, ' ');
    else text += "  ";
    return text;
}

std::string tableLine(const OperationRecord& r)
{
    std::string result = r.result;
    if (!r.failedStep.empty()) result += " (" + r.failedStep + ")";
    return padded(startedToTheSecond(r), 20) + padded(r.action, 15) + padded(devicesText(r), 19) +
           padded(result, 30) + padded(versionsText(r, "-"), 22) + r.host + (r.unsent ? "  (unsent)" : "");
}

}  // namespace

std::string startedToTheSecond(const OperationRecord& r)
{
    std::string when = r.startedAt.substr(0, 19);
    if (when.size() == 19) when[10] = ' ';
    return when;
}

std::string devicesText(const OperationRecord& r)
{
    return r.remoteMac.empty() ? r.mac : r.mac + " to " + r.remoteMac;
}

std::string versionsText(const OperationRecord& r, const std::string& none)
{
    if (r.action != kActionUpgrade) return r.versionAfter.empty() ? none : r.versionAfter;
    if (r.versionBefore.empty() && r.versionAfter.empty()) return none;
    return (r.versionBefore.empty() ? "?" : r.versionBefore) + " -> " + (r.versionAfter.empty() ? "?" : r.versionAfter);
}

bool parseHistoryFormat(const std::string& word, HistoryFormat& format)
{
    if (word == "table") format = HistoryFormat::Table;
    else if (word == "csv") format = HistoryFormat::Csv;
    else if (word == "json") format = HistoryFormat::Json;
    else return false;
    return true;
}

std::string formatHistory(const std::vector<OperationRecord>& records, HistoryFormat format)
{
    std::string out;
    switch (format) {
    case HistoryFormat::Table:
        out = padded("started (UTC)", 20) + padded("action", 15) + padded("MAC", 19) + padded("result", 30) +
              padded("version", 22) + "host\n";
        for (const OperationRecord& r : records) out += tableLine(r) + "\n";
        break;
    case HistoryFormat::Csv: {
        const OperationRecord none;
        bool first = true;
        for (const auto& [name, value] : fields(none)) {
            out += first ? "" : ",";
            out += name;
            first = false;
        }
        out += "\n";
        for (const OperationRecord& r : records) {
            first = true;
            for (const auto& [name, value] : fields(r)) {
                out += first ? "" : ",";
                out += csvField(value);
                first = false;
            }
            out += "\n";
        }
        break;
    }
    case HistoryFormat::Json:
        out = "[";
        for (std::size_t i = 0; i < records.size(); ++i) {
            out += i == 0 ? "\n  {" : ",\n  {";
            bool first = true;
            for (const auto& [name, value] : fields(records[i])) {
                out += first ? "" : ", ";
                out += jsonString(name) + ": ";
                out += !isNumberField(name) ? jsonString(value) : value.empty() ? "null" : value;
                first = false;
            }
            out += "}";
        }
        out += records.empty() ? "]\n" : "\n]\n";
        break;
    }
    return out;
}

std::string hexText(const std::vector<std::uint8_t>& bytes)
{
    std::string out;
    char pair[3];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        out += pair;
        if (i % 16 == 15) out += '\n';
    }
    if (bytes.size() % 16 != 0) out += '\n';
    return out;
}

}  // namespace ndx
