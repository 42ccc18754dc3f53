#pragma once
// The history's command-line lookups: --history and --export-backup.

#include <cstdio>
#include <string>

#include "command_line.h"
#include "history_store.h"
#include "operation_record.h"

namespace ndx {

// Prints the records newest first; exit status 0, 1 when no database
// could be read.
int printHistory(const CommandLine& command, HistoryStore& store, std::FILE* out, std::FILE* errors);

// Writes the device's newest backup (or the newest at or before --at) as
// the 428-byte FILE and FILE.hex; exit status 0, 1 when there is none or a
// file cannot be written.
int exportBackup(const CommandLine& command, HistoryStore& store, std::FILE* out, std::FILE* errors);

// FILE with the bytes and FILE.hex with their hex text; false with `error`.
bool writeBackupFiles(const std::string& path, const ParameterBackup& backup, std::string& error);

}  // namespace ndx
