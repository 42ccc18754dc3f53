#include "nonvolatile_memory.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

bool NonvolatileMemory::load(std::string& error) {
    if (path_.empty()) return true;
    FILE* f = std::fopen(path_.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT) return true;
        error = "cannot read " + path_ + ": " + std::strerror(errno);
        return false;
    }
    size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
    bool longer = std::fgetc(f) != EOF;
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = "cannot read " + path_;
        return false;
    }
    if (longer) {
        error = path_ + " is larger than the part (" + std::to_string(bytes.size()) + " bytes)";
        return false;
    }
    std::fill(bytes.begin() + static_cast<long>(n), bytes.end(), 0xFF);
    return true;
}

bool NonvolatileMemory::save(std::string& error) const {
    if (path_.empty()) return true;
    FILE* f = std::fopen(path_.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) error = "cannot write " + path_;
    return ok;
}
