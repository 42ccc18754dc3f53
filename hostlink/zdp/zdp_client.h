#pragma once

#include <cstdint>
#include <vector>

#include "link/ethernet_link.h"
#include "zdp_pacing.h"

// ZDP opcodes (byte 19 of a ZDP frame).
constexpr uint8_t ZDP_OPCODE_OK = 0x00;
constexpr uint8_t ZDP_OPCODE_ERROR = 0x01;
constexpr uint8_t ZDP_OPCODE_ENABLECERT = 0x08;
constexpr uint8_t ZDP_OPCODE_DISABLECERT = 0x09;
constexpr uint8_t ZDP_OPCODE_CONFIGNODE = 0x10;
constexpr uint8_t ZDP_OPCODE_CONFIGSEND = 0x11;
constexpr uint8_t ZDP_OPCODE_STARTSEND = 0x12;
constexpr uint8_t ZDP_OPCODE_STOPSEND = 0x13;
constexpr uint8_t ZDP_OPCODE_CONFIGRECV = 0x15;
constexpr uint8_t ZDP_OPCODE_REPORTSTATS = 0x17;
constexpr uint8_t ZDP_OPCODE_RESETSTATS = 0x19;

// Segment types of the requests the loader builds.
constexpr uint16_t ZDP_SEG_ERROR = 0x0001;
constexpr uint16_t ZDP_SEG_TRANSFER_ID = 0x0005;
constexpr uint16_t ZDP_SEG_SA = 0x0081;
constexpr uint16_t ZDP_SEG_DA = 0x0083;
constexpr uint16_t ZDP_SEG_DGEN_TYPE = 0x0084;
constexpr uint16_t ZDP_SEG_DGEN_DATA = 0x0085;
constexpr uint16_t ZDP_SEG_LENGTH = 0x0086;
constexpr uint16_t ZDP_SEG_NPKTS = 0x0087;
constexpr uint16_t ZDP_SEG_BURST_INT = 0x0088;
constexpr uint16_t ZDP_SEG_BURST_NPKTS = 0x0089;
constexpr uint16_t ZDP_SEG_NUMACKS = 0x008A;
constexpr uint16_t ZDP_SEG_TXPE_TEST = 0x008B;
constexpr uint16_t ZDP_SEG_TXPRI_TEST = 0x008C;

// poll_reply results beyond the link's own statuses.
constexpr ZdkStatus ZDP_REPLY_NOT_OK = 2;          // neither OK nor ERROR
constexpr ZdkStatus ZDP_REPLY_WRONG_SEQUENCE = 6;  // answers some other request
constexpr ZdkStatus ZDP_REPLY_ERROR_NO_CODE = 7;   // ERROR without an error segment

constexpr int ZDP_MAX_NODES = 50;
constexpr int ZDP_MAX_DESTINATIONS = 16;
constexpr uint16_t ZDP_SLOT_NOT_SET = 0xFFFF;
constexpr int ZDP_NODE_SETTING_COUNT = 8;

// Input of CONFIGSEND; transfer_id receives the sequence number it was sent with.
struct ZdpSendConfig {
    uint16_t transfer_id = 0;
    uint8_t dgen_type = 0;
    uint32_t dgen_data = 0;
    uint16_t length = 0;
    uint32_t npkts = 0;
    uint16_t burst_int = 0;
    uint16_t burst_npkts = 1;
    uint8_t numacks = 1;
    uint8_t txpe_test = 255;
    uint8_t txpri_test = 255;
    uint8_t sa[6] = {};
    int32_t destination_count = 0;
    uint8_t destinations[ZDP_MAX_DESTINATIONS][6] = {};
};

// Input of CONFIGRECV; transfer_id receives the sequence number it was sent with.
struct ZdpRecvConfig {
    uint16_t transfer_id = 0;
    uint8_t dgen_type = 0;
    uint32_t dgen_data = 0;
    uint16_t length = 0;
    uint8_t sa[6] = {};
    int32_t destination_count = 0;
    uint8_t destinations[ZDP_MAX_DESTINATIONS][6] = {};
};

// Builds, sends and matches the ZDP test requests (sub-protocol 0x02) of the
// loader. One instance per process, bound to the link once it is open.
class ZdpClient {
public:
    static constexpr int FRAME_SIZE = 1500;

    ZdpClient() = default;
    virtual ~ZdpClient() = default;

    // Binds the client to an open link; the link's local_mac becomes the source address.
    ZdkStatus init(EthernetLink* link);

    EthernetLink* link() const { return link_; }

    ZdkStatus send_enable_cert(const uint8_t node[6]);
    ZdkStatus send_disable_cert(const uint8_t node[6]);
    // settings: txpe, txpri, linkint, txmode, hpnamode, larq, csa, csahpnamode;
    // ZDP_SLOT_NOT_SET marks a slot that is not sent.
    ZdkStatus send_config_node(const uint8_t node[6], const uint16_t settings[ZDP_NODE_SETTING_COUNT]);
    ZdkStatus send_config_send(const uint8_t node[6], ZdpSendConfig& config);
    ZdkStatus send_config_recv(const uint8_t node[6], ZdpRecvConfig& config);
    ZdkStatus send_start_send(const uint8_t node[6], const uint16_t* ids, int count);
    ZdkStatus send_stop_send(const uint8_t node[6], const uint16_t* ids, int count);
    ZdkStatus send_report_stats(const uint8_t node[6]);
    ZdkStatus send_reset_stats(const uint8_t node[6]);

    // Looks for the reply to the last request: 0 for OK, the error code of an
    // ERROR reply, or one of the ZDP_REPLY_* / link statuses. *frame stays valid
    // until the next receive on the link.
    ZdkStatus poll_reply(const uint8_t** frame, int* length, uint8_t* opcode, int attempts);

    static const char* opcode_name(int opcode);

    // Sequence number of the last request sent (0 before the first).
    uint16_t last_sequence() const { return sequence_; }
    int registered_node_count() const { return node_count_; }

    // Time and keyboard used by every wait; tests put a simulated one here.
    ZdpPacing& pacing() const { return *pacing_; }
    void set_pacing(ZdpPacing* pacing) { pacing_ = pacing != nullptr ? pacing : &default_pacing(); }

protected:
    bool link_usable();
    void begin_frame(const uint8_t node[6], uint8_t opcode, uint16_t provisional_sequence);
    void append_bytes(uint16_t type, const uint8_t* value, int length);
    void append_u8(uint16_t type, uint8_t value) { append_bytes(type, &value, 1); }
    void append_u16(uint16_t type, uint16_t value);
    void append_u32(uint16_t type, uint32_t value);
    void pad_to_minimum();
    // Numbers the built frame and sends it; the new sequence number lands in *sequence_out.
    ZdkStatus finish_and_send(uint16_t* sequence_out, const uint8_t* node_to_register);
    // The segments CONFIGSEND and CONFIGRECV share: generator, length, SA, destinations.
    template <typename Config>
    void append_transfer_segments(const Config& config);
    ZdkStatus send_segmentless(const uint8_t node[6], uint8_t opcode, bool register_node);
    ZdkStatus send_transfer_ids(const uint8_t node[6], uint8_t opcode, const uint16_t* ids, int count);
    bool node_registered(const uint8_t node[6]) const;
    void register_node(const uint8_t node[6]);

    EthernetLink* link_ = nullptr;
    std::vector<uint8_t> frame_;        // the request buffer, allocated by init
    uint8_t template_destination_[6] = {};
    uint8_t template_source_[6] = {};
    uint16_t template_ethertype_ = 0;   // 0x886C in network order once bound
    uint16_t sequence_ = 0;

    int remaining_ = FRAME_SIZE;        // space left in frame_ while building
    bool build_failed_ = false;
    uint8_t nodes_[ZDP_MAX_NODES][6] = {};
    int16_t node_count_ = 0;
    ZdpPacing* pacing_ = &default_pacing();
};
