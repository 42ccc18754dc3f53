#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Writes frames to a classic pcap file (Ethernet link type, microsecond
// time stamps) that tshark and Wireshark read.
class CaptureFile {
public:
    CaptureFile() = default;
    ~CaptureFile() { close(); }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    bool open(const std::string& path);
    bool is_open() const { return file_ != nullptr; }
    void record(const uint8_t* bytes, size_t length);
    // Makes what was recorded so far visible to readers.
    void flush();
    void close();

private:
    FILE* file_ = nullptr;
    bool dirty_ = false;
};
