#pragma once
// The history as --history prints it: a table to read, or CSV and JSON with
// every field for other programs.

#include <string>
#include <vector>

#include "operation_record.h"

namespace ndx {

enum class HistoryFormat { Table, Csv, Json };

// "table", "csv", "json"; false for any other word.
bool parseHistoryFormat(const std::string& word, HistoryFormat& format);

// The whole text, records in the order given.
std::string formatHistory(const std::vector<OperationRecord>& records, HistoryFormat format);

// Cells of the --history table and of the window's History page.
// The start to the second, "2026-03-01 08:00:00": the full time is in CSV and JSON.
std::string startedToTheSecond(const OperationRecord& record);
// The device, or for a diagnosis "LOCAL to REMOTE".
std::string devicesText(const OperationRecord& record);
// An upgrade's "BEFORE -> AFTER" ("?" for one not known), another
// operation's version; `none` where there is no version at all.
std::string versionsText(const OperationRecord& record, const std::string& none);

// The hex text form the image builder reads: two lower-case hex digits a
// byte, 16 bytes a line.
std::string hexText(const std::vector<std::uint8_t>& bytes);

}  // namespace ndx
