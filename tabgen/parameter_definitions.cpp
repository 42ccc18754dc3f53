#include "parameter_definitions.h"

#include <algorithm>

using namespace std::string_view_literals;

// The list order is the image layout: each offset is the sum of the sizes
// before it, and the three section length fields open sections 1, 2 and 3.
const std::array<ParameterDefinition, parameter_count> parameter_definitions = {{
    // Section 1
    {"section1_length", 0, 4, 4, {}},
    {"auto_activate", 4, 1, 0, {}},
    {"HOST_MODE_OVERRIDE", 5, 1, 63, {}},
    {"PM_CAPLIST", 6, 2, 2, {}},
    {"PIN_DEF", 8, 2, 0x11C, {}},
    {"GPIO_MODE", 10, 2, 0, {}},
    {"USB_VID", 12, 2, 0x6B2D, {}},
    {"USB_PID", 14, 2, 0x8011, {}},
    {"USB_Manufacturer", 16, 20, 0, "Talvenrick"sv},
    {"USB_Product", 36, 20, 0, "ZR8011"sv},
    {"USB_Serial", 56, 14, 0, "007"sv},
    {"EXT_MEMORY_MODE", 70, 2, 0, {}},
    {"EXT_SRAM_PREF", 72, 2, 4, {}},
    {"EXT_FLASH_PREF", 74, 2, 0x631, {}},
    {"BOOT_AUTO_GCLK_L", 76, 2, 0xFFFF, {}},
    {"BOOT_AUTO_GCLK_H", 78, 2, 0xFFFF, {}},
    {"SUSP_AUTO_GCLK_L", 80, 2, 0xFFFF, {}},
    {"SUSP_AUTO_GCLK_H", 82, 2, 0xFFFF, {}},
    {"BOOT_MAN_GCLK", 84, 2, 0xFFFF, {}},
    {"SUSP_MAN_GCLK", 86, 2, 0xFFFF, {}},
    {"MII_CONTROL", 88, 2, 0x2000, {}},
    {"MII_STATUS", 90, 2, 0x2004, {}},
    {"MII_CONFIG", 92, 2, 0x3B0C, {}},
    {"spare4", 94, 2, 0, {}},
    {"MAC_ADDR", 96, 6, 0, "\x0A\x3F\x71\x00\x00\x02"sv},
    {"I2C_SPEED_KHZ", 102, 2, 100, {}},
    {"TALVENRICK_OUI", 104, 3, 0, "\x0A\x3F\x71"sv},
    {"DEVICE_TYPE", 107, 1, 0, {}},
    // Section 2
    {"section2_length", 108, 4, 152, {}},
    {"OPTIONS_MASK", 112, 4, 0x7FFFFFFF, {}},
    {"LARQ_HOUSE_KEEP_INTERVAL", 116, 4, 20, {}},
    {"LARQ_MIN_TXCH_TAKEOVER_TIME", 120, 4, 15, {}},
    {"LARQ_MAX_SAVE_LIMIT", 124, 2, 5, {}},
    {"LARQ_MAX_SAVE_INTERVAL", 126, 2, 15, {}},
    {"LARQ_MIN_RETRANS_INTERVAL", 128, 2, 1, {}},
    {"LARQ_REMINDER_INTERVAL", 130, 2, 5, {}},
    {"LARQ_MAX_HOLD_INTERVAL", 132, 2, 15, {}},
    {"LARQ_MAX_RECEIVE_LIMIT", 134, 2, 5, {}},
    {"LARQ_NACK_RETRANS_INTERVAL", 136, 2, 2, {}},
    {"LARQ_FORGET_INTERVAL", 138, 2, 100, {}},
    {"LARQ_LOST_FRAME_INTERVAL", 140, 2, 10, {}},
    {"LARQ_MAX_RESENDS", 142, 2, 2, {}},
    {"LARQ_MAX_PACKETS", 144, 2, 10, {}},
    {"LARQ_PRIORITY_CHANNEL", 146, 8, 0, "\x02\x02\x02\x02\x02\x02\x02\x02"sv},
    {"INITPHY_MODE", 154, 1, 0, {}},
    {"M_PARAMS_DEFINED", 155, 1, 0, {}},
    {"SCHD_MAP_SPARE_ENT", 156, 2, 30, {}},
    {"BE_ACTIVE_DROP", 158, 1, 0, {}},
    {"CP_AGGR", 159, 1, 1, {}},
    {"HOST_BUFFER_BYTES", 160, 2, 1600, {}},
    {"RX_BUFFER_BYTES", 162, 2, 10000, {}},
    {"MIN_BE_BYTES", 164, 2, 3048, {}},
    {"HMAC_IS_MASTER", 166, 1, 0, {}},
    {"HMAC_IS_MASTER_CAPABLE", 167, 1, 0, {}},
    {"HMAC_HPNA2_CONFIGURED", 168, 1, 0, {}},
    {"HMAC_USE_CSS", 169, 1, 0, {}},
    {"MAX_FLOW_TABLE_ENTRIES", 170, 1, 16, {}},
    {"MAX_FLOWS", 171, 1, 4, {}},
    {"PACKET_BYTE_OFFSET", 172, 1, 0, {}},
    {"CL_HEADER_TAG_BYTES", 173, 1, 4, {}},
    {"LLC_HEADER_TAG_BYTES", 174, 1, 20, {}},
    {"PACKET_HEADER_BYTES", 175, 1, 12, {}},
    {"HTX_RING_ALLOC", 176, 1, 2, {}},
    {"USE_QUOTAS", 177, 1, 0, {}},
    {"REPORT_QUOTAS", 178, 1, 0, {}},
    {"REPORT_TX_STATUS", 179, 1, 0, {}},
    {"HOST_IF_VIA_MSG", 180, 1, 0, {}},
    {"HMAC_LATENCY_REPAIR_METHOD", 181, 1, 0, {}},
    {"HMAC_CR_METHOD", 182, 1, 1, {}},
    {"HMAC_CP_PRIORITY", 183, 1, 7, {}},
    {"HMAC_MAP_IFG_INCR", 184, 1, 0, {}},
    {"HMAC_AGGR_OTF", 185, 1, 0, {}},
    {"MIN_HOST_PKT_LEN", 186, 1, 60, {}},
    {"BUFFER_ADJUST", 187, 1, 0, {}},
    {"CL_TX_HOST_HEADER_AREA_SIZE", 188, 2, 0, {}},
    {"CL_RX_HOST_HEADER_AREA_SIZE", 190, 2, 0, {}},
    {"CL_MAX_SERVICE_CLASSES", 192, 1, 8, {}},
    {"CSA_USE_802_1Q_PRIORITY_TAGS", 193, 1, 0, {}},
    {"LLC_REPORT_DEVICE_STATUS", 194, 1, 0, {}},
    {"LLC_DEVICE_STATUS_REPORT_PERIOD", 195, 1, 5, {}},
    {"CL_HOST_SUPPORTS_802_1Q_TAGS", 196, 1, 1, {}},
    {"CL_EXTERNAL_FRAME_CONTROL", 197, 1, 0, {}},
    {"LLC_MAX_PEND_EVENTS", 198, 2, 32, {}},
    {"LLC_MAX_TIMER_EVENTS", 200, 2, 32, {}},
    {"LLC_MAX_TXCHANS", 202, 1, 16, {}},
    {"LLC_MAX_RXCHANS", 203, 1, 16, {}},
    {"LLC_MAX_XCAST_CHANS", 204, 1, 16, {}},
    {"LLC_LL_DEFAULT_PRIORITY", 205, 1, 6, {}},
    {"ADDR_FILTER", 206, 1, 0, {}},
    {"MRX_RING_ALLOC", 207, 1, 4, {}},
    {"MAP_INITIAL_TIMEOUT", 208, 4, 55000, {}},
    {"MAP_SYNC_LOSS_TIMEOUT", 212, 4, 150000, {}},
    {"CSA_TIMER_INTERVAL", 216, 4, 60000000, {}},
    {"CSA_DEFAULT_MTU", 220, 2, 10000, {}},
    {"CSA_MAX_STATIONS", 222, 1, 32, {}},
    {"CSA_FRAME_BURST_PKT_LIMIT", 223, 1, 0, {}},
    {"CSA_AGE_OUT_INITIAL_VALUE", 224, 1, 3, {}},
    {"CSA_PRIORITY_REMAPPING", 225, 1, 0, {}},
    {"LICF_MIN_FORCE_SEND_COUNT", 226, 1, 30, {}},
    {"LICF_MAX_FORCE_SEND_COUNT", 227, 1, 63, {}},
    {"LICF_TIMER_INTERVAL", 228, 4, 1000000, {}},
    {"NTR_TRI_INTERVAL", 232, 4, 300000, {}},
    {"NTR_NCO_INC", 236, 4, 128, {}},
    {"NTR_NCO_FNOM", 240, 4, 1024000, {}},
    {"GIP", 244, 2, 26424, {}},
    {"GDP", 246, 2, 16515, {}},
    {"NTR_DST_ADDR", 248, 8, 0, "\xFF\xFF\xFF\xFF\xFF\xFF\x00\x00"sv},
    {"NTR_flags", 256, 1, 7, {}},
    {"GIP_SHIFT", 257, 1, 23, {}},
    {"GDP_SHIFT", 258, 1, 19, {}},
    {"NTR_M_DIV", 259, 1, 1, {}},
    {"RRCF_TIMER_INTERVAL_SECS", 260, 2, 128, {}},
    {"RRCF_RATE_TEST_REQUEST_INTERVAL", 262, 2, 1, {}},
    {"RRCF_NOISE_MARGIN", 264, 2, 340, {}},
    {"RRCF_BPB_HYSTERESIS", 266, 2, 170, {}},
    {"RRCF_DEFAULT_BER", 268, 2, 0xFD82, {}},
    {"RRCF_DEFAULT_LARQ_PER", 270, 2, 0xFD7A, {}},
    {"RRCF_DEFAULT_NON_LARQ_PER", 272, 2, 0xFCA5, {}},
    {"RRCF_AGEING_PERIOD_INTERVALS", 274, 1, 1, {}},
    {"RRCF_LOG2_HISTORY_WINDOW_SIZE", 275, 1, 4, {}},
    {"RRCF_ENABLED", 276, 1, 0, {}},
    {"RRCF_INITIAL_PE", 277, 1, 63, {}},
    {"RRCF_BIT_ERRORS_PER_ERROR_EVENT", 278, 1, 10, {}},
    {"RRCF_BPB_HI_PROBE_THRESHOLD", 279, 1, 2, {}},
    {"RRCF_BPB_LO_PROBE_THRESHOLD", 280, 1, 3, {}},
    {"RRCF_MIN_FLOW_PE_LIMIT", 281, 1, 60, {}},
    {"RRCF_PE_LIMIT", 282, 1, 63, {}},
    {"REGP_MAX_RETRIES", 283, 1, 10, {}},
    {"REGP_RESPONSE_TIMEOUT", 284, 4, 150000, {}},
    {"REGP_MIN_BE_BW", 288, 2, 0, {}},
    {"REGP_MAX_BE_BW", 290, 2, 128, {}},
    {"REGP_DEVICE_ID", 292, 1, 0, {}},
    {"FS_NUM_XACTIONS", 293, 1, 32, {}},
    {"FS_NUM_RETRIES", 294, 1, 3, {}},
    {"FS_INITIAL_AGGR_LIMIT", 295, 1, 1, {}},
    {"FS_RESPONSE_TIMEOUT", 296, 4, 50000, {}},
    {"FS_CONFIRM_TIMEOUT", 300, 4, 50000, {}},
    {"PCF_MAX_CLASSIFIER_RULES", 304, 2, 32, {}},
    {"PCF_MAX_TEMPLATE_FILTERS", 306, 2, 8, {}},
    {"CSS_ENABLED", 308, 1, 0, {}},
    {"RRCF_PROTOCOL_PE_HI_LIMIT", 309, 1, 33, {}},
    {"RRCF_LOG2_MAX_RATE_TEST_REQUESTS", 310, 1, 1, {}},
    {"RRCF_MIN_XCAST_PE_LIMIT", 311, 1, 59, {}},
    {"RFIP_DET_SCAN_PERIOD", 312, 4, 100, {}},
    {"RFIP_FLT_RECHECK_PERIOD", 316, 4, 100, {}},
    {"RFIP_TEST_PERIOD", 320, 2, 5, {}},
    {"RFIP_SW_MODE", 322, 1, 1, {}},
    {"RFIP_TRANSIENT_DELAY", 323, 1, 10, {}},
    {"RFIP_REITERATION_COUNT", 324, 1, 2, {}},
    {"RFIP_HW_STATE", 325, 1, 0, {}},
    {"RFIP_HW_BAND", 326, 1, 4, {}},
    {"RFIP_RESET_FLAG_DELAY", 327, 1, 10, {}},
    {"RFIP_SFT2", 328, 1, 4, {}},
    {"RFIP_NUM_OF_BANDS", 329, 1, 7, {}},
    {"NUM_PEND_TX_PKTS", 330, 2, 20, {}},
    {"NUM_PEND_RX_PKTS", 332, 2, 50, {}},
    {"MAP_SYNC_NUM_CYCLE_ADJSUT", 334, 2, 2000, {}},
    {"DL_TIME", 336, 4, 5000, {}},
    {"UL_TIME", 340, 4, 5000, {}},
    {"MAP_SYNC_TYPE", 344, 1, 1, {}},
    {"MAP_SYNC_NUM_SAMPLES", 345, 1, 20, {}},
    {"POWER_BOOST", 346, 1, 0, {}},
    {"POWER_BOOST_MULTIPLY_FACTOR", 347, 1, 1, {}},
    {"FS_PERIODIC_TIMER_INTERVAL", 348, 4, 1000000, {}},
    {"FS_BW_RESERVATION_RETRY_INTERVAL", 352, 4, 5, {}},
    {"LLC_TIMER_INTERVAL", 356, 4, 1000000, {}},
    // Section 3
    {"section3_length", 360, 4, 4, {}},
    {"MFR_ID", 364, 2, 0xFFFF, {}},
    {"PART_NO", 366, 2, 0xFFFF, {}},
    {"REV", 368, 1, 255, {}},
    {"ID_SPACE", 369, 1, 255, {}},
    {"spare3_2", 370, 1, 0, {}},
    {"spare3_3", 371, 1, 0, {}},
    {"VH_COMMAND", 372, 4, 0, {}},
    {"VH_PARAMETER_1", 376, 4, 0, {}},
    {"VH_PARAMETER_2", 380, 4, 0, {}},
    {"VH_RESULT", 384, 4, 0, {}},
    {"APP_OPER_AUTO_GCLK_L", 388, 2, 0xFFFF, {}},
    {"APP_OPER_AUTO_GCLK_H", 390, 2, 0xFFFF, {}},
    {"APP_SUSP_AUTO_GCLK_L", 392, 2, 0xFFFF, {}},
    {"APP_SUSP_AUTO_GCLK_H", 394, 2, 0xFFFF, {}},
    {"APP_OPER_MAN_GCLK", 396, 2, 0xFFFF, {}},
    {"APP_SUSP_MAN_GCLK", 398, 2, 0xFFFF, {}},
    {"DMA_BURST_CONTROL", 400, 1, 0, {}},
    {"SCHD_UNI_STAT_BW", 401, 1, 0, {}},
    {"spare4_3", 402, 1, 0, {}},
    {"spare4_4", 403, 1, 0, {}},
    {"WD_LIMIT_H", 404, 2, 0x300, {}},
    {"TCP_ACK_PRIORITY", 406, 1, 2, {}},
    {"SCHD_DIV_CP", 407, 1, 0, {}},
    {"LED_SELECT0", 408, 2, 0xD0D, {}},
    {"LED_SELECT1", 410, 2, 0x202, {}},
    {"LED_BLINK0", 412, 2, 0xC0C, {}},
    {"LED_BLINK1", 414, 2, 0, {}},
    {"SCHD_GUARD_MICROS", 416, 2, 0, {}},
    {"FLOW0_AGGR_MICROS", 418, 2, 1000, {}},
    {"FLOW0_LATENCY_MSEC", 420, 1, 100, {}},
    {"FLOW_LIMIT_AGGR", 421, 1, 5, {}},
    {"TX_DOUBLE_BUFFER", 422, 1, 1, {}},
    {"HTXT_NUM_DEVS", 423, 1, 16, {}},
    {"REGP_MIN_EP_BE_BW", 424, 2, 0, {}},
    {"REGP_MAX_EP_BE_BW", 426, 2, 100, {}},
}};

ParameterLocation find_parameter(std::string_view name) {
    for (const ParameterDefinition& definition : parameter_definitions) {
        if (name == definition.name) return {definition.offset, definition.size};
    }
    return {};
}

void store_le(uint8_t* target, int width, uint32_t value) {
    for (int i = 0; i < width; ++i) target[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t load_le(const uint8_t* source, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | source[i];
    return value;
}

ParameterImage default_parameter_image() {
    ParameterImage image{};
    for (const ParameterDefinition& definition : parameter_definitions) {
        uint8_t* field = image.data() + definition.offset;
        if (definition.size == 1 || definition.size == 2 || definition.size == 4) {
            store_le(field, definition.size, definition.default_value);
        } else {
            const size_t count = std::min<size_t>(definition.default_bytes.size(), definition.size);
            std::copy_n(definition.default_bytes.begin(), count, field);
        }
    }
    return image;
}

void set_section_lengths(ParameterImage& image) {
    store_le(image.data() + section1_offset, 4, section1_length);
    store_le(image.data() + section2_offset, 4, section2_length);
    store_le(image.data() + section3_offset, 4, section3_length);
}
