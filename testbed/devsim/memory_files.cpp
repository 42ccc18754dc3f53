#include "memory_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

bool load_memory_file(SparseMemory& memory, const MemoryLoad& load, std::string& error) {
    FILE* f = std::fopen(load.path.c_str(), "rb");
    if (!f) {
        error = "cannot read " + load.path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> chunk(65536);
    uint32_t address = load.address;
    size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) {
        memory.write(address, chunk.data(), n);
        address += static_cast<uint32_t>(n);
    }
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) error = "cannot read " + load.path;
    return ok;
}

bool dump_memory_file(const SparseMemory& memory, const MemoryDump& dump, std::string& error) {
    FILE* f = std::fopen(dump.path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + dump.path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> chunk(65536);
    uint32_t address = dump.address;
    size_t left = dump.length;
    bool ok = true;
    while (left > 0 && ok) {
        size_t n = left < chunk.size() ? left : chunk.size();
        memory.read(address, chunk.data(), n);
        ok = std::fwrite(chunk.data(), 1, n, f) == n;
        address += static_cast<uint32_t>(n);
        left -= n;
    }
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) error = "cannot write " + dump.path;
    return ok;
}
