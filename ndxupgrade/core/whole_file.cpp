#include "whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ndx {

bool writeWholeFile(const std::string& path, const std::string& text, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int failure = written ? 0 : errno;
    if (std::fclose(file) != 0 && failure == 0) failure = errno;
    if (!written && failure == 0) failure = EIO;
    if (failure != 0) {
        error = path + ": " + std::strerror(failure);
        return false;
    }
    return true;
}

}  // namespace ndx
