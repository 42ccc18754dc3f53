#pragma once

#include <string>

#include "options.h"
#include "sparse_memory.h"

// --load: the whole file into memory from the address on.
bool load_memory_file(SparseMemory& memory, const MemoryLoad& load, std::string& error);
// --dump: the memory range into the file (created or replaced).
bool dump_memory_file(const SparseMemory& memory, const MemoryDump& dump, std::string& error);
