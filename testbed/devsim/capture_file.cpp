#include "capture_file.h"

#include <sys/time.h>

bool CaptureFile::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    const uint32_t magic = 0xA1B2C3D4;
    const uint16_t version[2] = {2, 4};
    const int32_t zone = 0;
    const uint32_t accuracy = 0, snap_length = 65535, link_type = 1;
    std::fwrite(&magic, 4, 1, file_);
    std::fwrite(version, 2, 2, file_);
    std::fwrite(&zone, 4, 1, file_);
    std::fwrite(&accuracy, 4, 1, file_);
    std::fwrite(&snap_length, 4, 1, file_);
    std::fwrite(&link_type, 4, 1, file_);
    std::fflush(file_);
    return true;
}

void CaptureFile::record(const uint8_t* bytes, size_t length) {
    if (!file_) return;
    timeval now{};
    gettimeofday(&now, nullptr);
    const uint32_t header[4] = {static_cast<uint32_t>(now.tv_sec), static_cast<uint32_t>(now.tv_usec),
                                static_cast<uint32_t>(length), static_cast<uint32_t>(length)};
    std::fwrite(header, 4, 4, file_);
    std::fwrite(bytes, 1, length, file_);
    dirty_ = true;
}

void CaptureFile::flush() {
    if (file_ && dirty_) std::fflush(file_);
    dirty_ = false;
}

void CaptureFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}
