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

// The hex text form the image builder reads: two lower-case hex digits a
// byte, 16 bytes a line.
std::string hexText(const std::vector<std::uint8_t>& bytes);

}  // namespace ndx
