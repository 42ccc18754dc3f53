#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Table capacities. A file that needs more fails the run rather than losing
// records.
constexpr int max_rules = 100;
constexpr int max_filters = 100;
constexpr int max_flows = 100;
constexpr int max_static_addresses = 64;
constexpr int max_name_length = 79;

// Table 0: 16-byte classifier rule record.
constexpr int rule_record_size = 16;
constexpr int rule_pattern_offset = 0;
constexpr int rule_mask_offset = 6;
constexpr int rule_max_pattern_bytes = 6;
constexpr int rule_offset_field = 12;
constexpr int rule_length_field = 14;
constexpr int rule_next_field = 15;

// Table 1: 4-byte classifier filter record.
constexpr int filter_record_size = 4;
constexpr int filter_type_field = 0;
constexpr int filter_priority_field = 1;
constexpr int filter_first_rule_field = 2;
constexpr int filter_flow_field = 3;

// Table 2: 28-byte flow parameter record.
constexpr int flow_record_size = 28;
constexpr int flow_control_field = 0;
constexpr int flow_packet_size_field = 4;
constexpr int flow_packet_size_copy_field = 6;
constexpr int flow_max_rate_field = 8;
constexpr int flow_avg_rate_field = 10;
constexpr int flow_min_rate_field = 12;
constexpr int flow_per_field = 14;
constexpr int flow_timeout_field = 20;
constexpr uint16_t flow_initial_control = 0x00C4;
constexpr uint16_t flow_initial_packet_size = 1514;

// Table 3: 6-byte static address record.
constexpr int static_address_size = 6;

struct RuleRecord {
    std::array<uint8_t, rule_record_size> bytes{};
    std::string name;
    std::string owner;  // name of the filter whose RULES line listed it
};

struct FilterRecord {
    std::array<uint8_t, filter_record_size> bytes{};
    std::string name;
};

struct FlowRecord {
    std::array<uint8_t, flow_record_size> bytes{};
    std::string name;
};

// Indexes stored in the records count from 1 in table order; 0 means none.
struct QosTables {
    std::vector<RuleRecord> rules;
    std::vector<FilterRecord> filters;
    std::vector<FlowRecord> flows;
    std::vector<std::array<uint8_t, static_address_size>> static_addresses;
};

// The bytes of table 0 to 3 as they are written out.
std::vector<uint8_t> table_bytes(const QosTables& tables, int table);
