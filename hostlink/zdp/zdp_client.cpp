#include "zdp_client.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "stop/stop_request.h"

namespace {

constexpr int HEADER_BYTES = 26;      // Ethernet header, ZDP header, sequence number
constexpr int END_MARKER_BYTES = 2;
constexpr int MINIMUM_FRAME = 60;
constexpr int LENGTH_OFFSET = 16;
constexpr int OPCODE_OFFSET = 19;
constexpr int SEQUENCE_OFFSET = 24;
constexpr uint16_t BASE_LENGTH = 10;  // bytes 16..25 count themselves

void put_u16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

uint16_t get_u16(const uint8_t* at) { return static_cast<uint16_t>((at[0] << 8) | at[1]); }

}  // namespace

ZdkStatus ZdpClient::init(EthernetLink* link) {
    if (link == nullptr) return ZDK_INVALID_PARAMETER;
    if (link->is_open() != 1) return ZDK_INVALID_STATE;
    try {
        frame_.assign(FRAME_SIZE, 0);
    } catch (const std::bad_alloc&) {
        return ZDK_OUT_OF_MEMORY;
    }
    link_ = link;
    template_ethertype_ = htons(0x886C);
    std::memcpy(template_source_, link->local_mac, 6);
    return ZDK_SUCCESS;
}

bool ZdpClient::link_usable() {
    return link_ != nullptr && frame_.size() == FRAME_SIZE && link_->is_open() == 1;
}

void ZdpClient::begin_frame(const uint8_t node[6], uint8_t opcode, uint16_t provisional_sequence) {
    std::memcpy(template_destination_, node, 6);
    uint8_t* frame = frame_.data();
    std::memset(frame, 0, MINIMUM_FRAME);
    std::memcpy(frame, template_destination_, 6);
    std::memcpy(frame + 6, template_source_, 6);
    std::memcpy(frame + 12, &template_ethertype_, 2);
    frame[14] = 0x80;
    frame[15] = 0x02;
    put_u16(frame + LENGTH_OFFSET, BASE_LENGTH);
    frame[18] = 0;
    frame[OPCODE_OFFSET] = opcode;
    put_u16(frame + SEQUENCE_OFFSET, provisional_sequence);
    remaining_ = FRAME_SIZE - HEADER_BYTES - END_MARKER_BYTES;
    build_failed_ = false;
}

void ZdpClient::append_bytes(uint16_t type, const uint8_t* value, int length) {
    int padded = (length + 3) & ~3;
    int segment_bytes = 4 + padded;
    if (build_failed_ || length < 0 || segment_bytes > remaining_) {
        build_failed_ = true;
        return;
    }
    uint8_t* frame = frame_.data();
    uint16_t length_field = get_u16(frame + LENGTH_OFFSET);
    uint8_t* segment = frame + LENGTH_OFFSET + length_field;
    put_u16(segment, type);
    put_u16(segment + 2, static_cast<uint16_t>(length));
    std::memcpy(segment + 4, value, length);
    // Padding plus the two bytes after it, so the end marker is always in place.
    std::memset(segment + 4 + length, 0, padded - length + END_MARKER_BYTES);
    put_u16(frame + LENGTH_OFFSET, static_cast<uint16_t>(length_field + segment_bytes));
    remaining_ -= segment_bytes;
}

void ZdpClient::append_u16(uint16_t type, uint16_t value) {
    uint8_t bytes[2];
    put_u16(bytes, value);
    append_bytes(type, bytes, 2);
}

void ZdpClient::append_u32(uint16_t type, uint32_t value) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                        static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    append_bytes(type, bytes, 4);
}

void ZdpClient::pad_to_minimum() {
    int used = FRAME_SIZE - remaining_;
    if (used < MINIMUM_FRAME) {
        std::memset(frame_.data() + used, 0, MINIMUM_FRAME - used);
        remaining_ = FRAME_SIZE - MINIMUM_FRAME;
    }
}

bool ZdpClient::node_registered(const uint8_t node[6]) const {
    for (int i = 0; i < node_count_; ++i) {
        if (std::memcmp(nodes_[i], node, 6) == 0) return true;
    }
    return false;
}

// A new node widens the capture filter from "the device only" to "every ZDP
// frame to this PC", so that other nodes' replies reach the loader.
void ZdpClient::register_node(const uint8_t node[6]) {
    if (node_registered(node)) return;
    char filter[128];
    std::snprintf(filter, sizeof filter,
                  "ether dst %02x:%02x:%02x:%02x:%02x:%02x and ether proto 0x%x", template_source_[0],
                  template_source_[1], template_source_[2], template_source_[3], template_source_[4],
                  template_source_[5], 0x886c);
    link_->set_filter(filter);
    std::memcpy(nodes_[node_count_], node, 6);
    ++node_count_;
}

ZdkStatus ZdpClient::finish_and_send(uint16_t* sequence_out, const uint8_t* node_to_register) {
    // Once a stop is asked for, nothing more goes to the nodes.
    if (stop_requested()) return ZDK_SEND_FAILED;
    if (build_failed_) return ZDK_UNSUCCESSFUL;
    // A full node list refuses the request before it takes a sequence number.
    if (node_to_register != nullptr && !node_registered(node_to_register) && node_count_ >= ZDP_MAX_NODES) {
        return ZDK_UNSUCCESSFUL;
    }
    ++sequence_;
    put_u16(frame_.data() + SEQUENCE_OFFSET, sequence_);
    if (sequence_out != nullptr) *sequence_out = sequence_;
    if (node_to_register != nullptr) register_node(node_to_register);
    int length = FRAME_SIZE - remaining_;
    return link_->send_frame(frame_.data(), length) != ZDK_SUCCESS ? ZDK_SEND_FAILED : ZDK_SUCCESS;
}

ZdkStatus ZdpClient::send_segmentless(const uint8_t node[6], uint8_t opcode, bool register_it) {
    if (!link_usable()) return ZDK_INVALID_STATE;
    begin_frame(node, opcode, 0);
    pad_to_minimum();
    return finish_and_send(nullptr, register_it ? node : nullptr);
}

ZdkStatus ZdpClient::send_enable_cert(const uint8_t node[6]) {
    return send_segmentless(node, ZDP_OPCODE_ENABLECERT, true);
}

ZdkStatus ZdpClient::send_disable_cert(const uint8_t node[6]) {
    return send_segmentless(node, ZDP_OPCODE_DISABLECERT, false);
}

ZdkStatus ZdpClient::send_report_stats(const uint8_t node[6]) {
    return send_segmentless(node, ZDP_OPCODE_REPORTSTATS, false);
}

ZdkStatus ZdpClient::send_reset_stats(const uint8_t node[6]) {
    return send_segmentless(node, ZDP_OPCODE_RESETSTATS, false);
}

ZdkStatus ZdpClient::send_config_node(const uint8_t node[6], const uint16_t settings[ZDP_NODE_SETTING_COUNT]) {
    static constexpr uint16_t segment_types[ZDP_NODE_SETTING_COUNT] = {0x0010, 0x0011, 0x0012, 0x0013,
                                                                       0x0016, 0x0020, 0x0021, 0x0022};
    if (!link_usable()) return ZDK_INVALID_STATE;
    begin_frame(node, ZDP_OPCODE_CONFIGNODE, 0);
    bool any = false;
    for (int i = 0; i < ZDP_NODE_SETTING_COUNT && !any; ++i) {
        if (settings[i] == ZDP_SLOT_NOT_SET) continue;
        append_u8(segment_types[i], static_cast<uint8_t>(settings[i]));
        any = true;
    }
    if (!any) build_failed_ = true;
    return finish_and_send(nullptr, nullptr);
}

template <typename Config>
void ZdpClient::append_transfer_segments(const Config& config) {
    append_u8(ZDP_SEG_DGEN_TYPE, config.dgen_type);
    append_u32(ZDP_SEG_DGEN_DATA, config.dgen_data);
    append_u16(ZDP_SEG_LENGTH, config.length);
    append_bytes(ZDP_SEG_SA, config.sa, 6);
    if (config.destination_count < 0 || config.destination_count > ZDP_MAX_DESTINATIONS) {
        build_failed_ = true;
    } else {
        for (int i = 0; i < config.destination_count; ++i) append_bytes(ZDP_SEG_DA, config.destinations[i], 6);
    }
}

ZdkStatus ZdpClient::send_config_send(const uint8_t node[6], ZdpSendConfig& config) {
    if (!link_usable()) return ZDK_INVALID_STATE;
    begin_frame(node, ZDP_OPCODE_CONFIGSEND, config.transfer_id);
    append_transfer_segments(config);
    append_u32(ZDP_SEG_NPKTS, config.npkts);
    append_u16(ZDP_SEG_BURST_INT, config.burst_int);
    append_u16(ZDP_SEG_BURST_NPKTS, config.burst_npkts);
    append_u8(ZDP_SEG_NUMACKS, config.numacks);
    append_u8(ZDP_SEG_TXPE_TEST, config.txpe_test);
    append_u8(ZDP_SEG_TXPRI_TEST, config.txpri_test);
    return finish_and_send(&config.transfer_id, nullptr);
}

ZdkStatus ZdpClient::send_config_recv(const uint8_t node[6], ZdpRecvConfig& config) {
    if (!link_usable()) return ZDK_INVALID_STATE;
    begin_frame(node, ZDP_OPCODE_CONFIGRECV, config.transfer_id);
    append_transfer_segments(config);
    return finish_and_send(&config.transfer_id, nullptr);
}

ZdkStatus ZdpClient::send_transfer_ids(const uint8_t node[6], uint8_t opcode, const uint16_t* ids, int count) {
    if (!link_usable()) return ZDK_INVALID_STATE;
    begin_frame(node, opcode, 0);
    if (count < 0 || (count > 0 && ids == nullptr)) build_failed_ = true;
    for (int i = 0; i < count && !build_failed_; ++i) append_u16(ZDP_SEG_TRANSFER_ID, ids[i]);
    return finish_and_send(nullptr, nullptr);
}

ZdkStatus ZdpClient::send_start_send(const uint8_t node[6], const uint16_t* ids, int count) {
    return send_transfer_ids(node, ZDP_OPCODE_STARTSEND, ids, count);
}

ZdkStatus ZdpClient::send_stop_send(const uint8_t node[6], const uint16_t* ids, int count) {
    return send_transfer_ids(node, ZDP_OPCODE_STOPSEND, ids, count);
}

ZdkStatus ZdpClient::poll_reply(const uint8_t** frame, int* length, uint8_t* opcode, int attempts) {
    ZdkStatus status = ZDK_RECEIVE_PACKET_FAILED;
    const uint8_t* reply = nullptr;
    int reply_length = 0;
    if (link_ == nullptr) return ZDK_INVALID_STATE;
    for (int attempt = 0; attempt < attempts && !stop_requested(); ++attempt) {
        status = link_->receive_frame(&reply, &reply_length);
        if (status == ZDK_SUCCESS && reply != nullptr) break;
        reply = nullptr;
        pacing_->sleep_ms(100);
    }
    if (reply == nullptr) return status == ZDK_SUCCESS ? ZDK_RECEIVE_PACKET_FAILED : status;
    if (frame != nullptr) *frame = reply;
    if (length != nullptr) *length = reply_length;

    // A frame too short to carry a sequence number answers nothing.
    if (reply_length < HEADER_BYTES || frame_.size() != FRAME_SIZE) return ZDP_REPLY_WRONG_SEQUENCE;
    if (get_u16(reply + SEQUENCE_OFFSET) != get_u16(frame_.data() + SEQUENCE_OFFSET)) {
        return ZDP_REPLY_WRONG_SEQUENCE;
    }
    uint8_t reply_opcode = reply[OPCODE_OFFSET];
    if (opcode != nullptr) *opcode = reply_opcode;
    opcode_name(reply_opcode);
    if (reply_opcode == ZDP_OPCODE_OK) return ZDK_SUCCESS;
    if (reply_opcode != ZDP_OPCODE_ERROR) return ZDP_REPLY_NOT_OK;
    if (get_u16(reply + LENGTH_OFFSET) == BASE_LENGTH) return ZDP_REPLY_ERROR_NO_CODE;
    // The error code is the first value byte of an error segment at offset 26.
    if (reply_length < HEADER_BYTES + 5) return ZDP_REPLY_ERROR_NO_CODE;
    if (get_u16(reply + HEADER_BYTES) != ZDP_SEG_ERROR) return ZDP_REPLY_ERROR_NO_CODE;
    return reply[HEADER_BYTES + 4];
}

const char* ZdpClient::opcode_name(int opcode) {
    switch (opcode & 0xFF) {
        case 0x00: return "ZDP_OPCODE_OK";
        case 0x01: return "ZDP_OPCODE_ERROR";
        case 0x02: return "ZDP_OPCODE_TESTDATA";
        case 0x03: return "ZDP_OPCODE_SAMPLEDATA";
        case 0x08: return "ZDP_OPCODE_ENABLECERT";
        case 0x09: return "ZDP_OPCODE_DISABLECERT";
        case 0x10: return "ZDP_OPCODE_CONFIGNODE";
        case 0x11: return "ZDP_OPCODE_CONFIGSEND";
        case 0x12: return "ZDP_OPCODE_STARTSEND";
        case 0x13: return "ZDP_OPCODE_STOPSEND";
        case 0x14: return "ZDP_OPCODE_ECHOREQUEST";
        case 0x15: return "ZDP_OPCODE_CONFIGRECV";
        case 0x16: return "ZDP_OPCODE_STOPRECV";
        case 0x17: return "ZDP_OPCODE_REPORTSTATS";
        case 0x18: return "ZDP_OPCODE_REPORTCONFIG";
        case 0x19: return "ZDP_OPCODE_RESETSTATS";
        case 0x20: return "ZDP_OPCODE_REPORTNODE";
        case 0x30: return "";
        case 0x40: return "ZDP_OPCODE_VENDOR";
        default: return "UNKOWN";
    }
}
