#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "hostif/pause.h"
#include "link/ethernet_link.h"

// A link substitute for the fuzz targets that plays the device at once: the
// reply to every host-interface request the device answers is queued before
// send_frame returns, so no wait of the loader ever runs into its time-out.
// No real time passes: while the link exists, the loader's reply windows run
// on a clock that each capture call moves on by 1 ms. Reads are served from
// the boot mode register and the system table descriptors (everything else
// reads 0); writes land there or are counted. Every frame the loader sends is
// checked first, and a malformed one aborts the run.
class AnsweringLink : public EthernetLink {
public:
    using Frame = std::vector<uint8_t>;

    static constexpr uint32_t boot_mode_value = 4;  // boots from flash: a reset goes ahead
    static constexpr int descriptor_count = 16;

    AnsweringLink();
    ~AnsweringLink() override;

    // Called at each send before the answer is queued: may queue frames of its
    // own (replies from the fuzz input). When one of them looks like a
    // host-interface reply, it stands in for the device's answer.
    std::function<void(std::deque<Frame>& waiting)> frames_before_answer;

    // The device's system table descriptors: address, current size, maximum.
    uint32_t descriptors[descriptor_count][3] = {};
    // Data bytes of every memory write outside the registers above.
    long bytes_written = 0;
    int requests = 0;

    int is_open() override { return 1; }
    ZdkStatus send_frame(const uint8_t* bytes, int length) override;
    ZdkStatus receive_frame(const uint8_t** bytes, int* length) override;
    // Every queued frame has arrived: it is taken without waiting.
    ZdkStatus take_waiting_frame(const uint8_t** bytes, int* length) override;
    ZdkStatus set_filter(const char*) override { return ZDK_SUCCESS; }

private:
    void answer_host_interface(const uint8_t* request);
    void read_memory(uint32_t address, uint8_t* out, int n) const;
    void write_memory(uint32_t address, const uint8_t* data, int n);

    static int64_t clock();

    std::deque<Frame> waiting_;
    Frame current_;
    ClockFunction previous_clock_;
};
