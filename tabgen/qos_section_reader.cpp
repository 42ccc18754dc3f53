#include "section_readers.h"

#include <algorithm>
#include <cstdlib>

#include "flow_encoding.h"
#include "parameter_definitions.h"

namespace {

// Key lines also split at commas so that "RULES = r1, r2" names r1 and r2.
constexpr std::string_view key_separators = " \n\r\t=,";
constexpr std::string_view filter_list_separators = ",\n\t\r= ";
// The line end is not a separator: a header without its "]" names nothing.
constexpr std::string_view header_separators = "[ ]";

using Values = std::vector<std::string_view>;

enum class SubsectionEnd { ended, positioning_failed, capacity_exceeded };

// Runs handle_key(key, values) for each key line of the subsection that starts
// after the current header. The subsection ends at end of file, at a line
// without tokens, or at the next header, which is left for the section loop.
// handle_key returns false when a table is full.
template <typename Handler>
SubsectionEnd read_subsection(LineReader& reader, Handler&& handle_key) {
    std::string line;
    bool skipping_leading_lines = true;
    for (;;) {
        const size_t line_start = reader.tell();
        if (!reader.read_line(line)) return SubsectionEnd::ended;
        if (skipping_leading_lines && (is_empty_line(line) || line.starts_with('#'))) continue;
        skipping_leading_lines = false;

        const Values tokens = split_tokens(line, key_separators);
        if (tokens.empty()) return SubsectionEnd::ended;
        const std::string_view key = tokens[0];
        if (key.starts_with('[')) {
            return reader.seek(line_start) ? SubsectionEnd::ended : SubsectionEnd::positioning_failed;
        }
        if (key.starts_with('#')) continue;
        if (!handle_key(key, Values(tokens.begin() + 1, tokens.end()))) return SubsectionEnd::capacity_exceeded;
    }
}

bool name_fits(std::string_view name, Messages& messages) {
    if (name.size() <= static_cast<size_t>(max_name_length)) return true;
    messages.report(0, "ERROR: name longer than %d characters (%s)!!!\n", max_name_length, std::string(name).c_str());
    return false;
}

bool has_room(size_t count, int capacity, const char* what, Messages& messages) {
    if (count < static_cast<size_t>(capacity)) return true;
    messages.report(0, "ERROR: more than %d %s!!!\n", capacity, what);
    return false;
}

FlowRecord new_flow(std::string_view name) {
    FlowRecord flow;
    flow.name = name;
    store_le(&flow.bytes[flow_control_field], 2, flow_initial_control);
    store_le(&flow.bytes[flow_packet_size_field], 2, flow_initial_packet_size);
    store_le(&flow.bytes[flow_packet_size_copy_field], 2, flow_initial_packet_size);
    return flow;
}

int find_flow(const QosTables& tables, std::string_view name) {
    for (size_t i = 0; i < tables.flows.size(); ++i) {
        if (tables.flows[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

SubsectionEnd read_filter(LineReader& reader, QosTables& tables, size_t filter_index, Messages& messages) {
    const std::string filter_name = tables.filters[filter_index].name;
    auto& bytes = tables.filters[filter_index].bytes;
    std::string first_rule;
    bool have_first_rule = false;
    std::string flow_name;

    const SubsectionEnd end = read_subsection(reader, [&](std::string_view key, const Values& values) {
        if (key == "TYPE" && !values.empty()) {
            bytes[filter_type_field] = values[0].starts_with('C') ? 1 : 2;
        } else if (key == "PRIORITY" && !values.empty()) {
            bytes[filter_priority_field] = static_cast<uint8_t>(read_token_decimal(values[0]));
        } else if (key == "RULES") {
            const size_t line_start = tables.rules.size();
            for (std::string_view rule_name : values) {
                if (!has_room(tables.rules.size(), max_rules, "classifier rules", messages)) return false;
                if (!name_fits(rule_name, messages)) return false;
                RuleRecord& rule = tables.rules.emplace_back();
                rule.name = rule_name;
                rule.owner = filter_name;
                rule.bytes[rule_next_field] = static_cast<uint8_t>(tables.rules.size() + 1);
                if (!have_first_rule) {
                    first_rule = rule_name;
                    have_first_rule = true;
                }
            }
            if (tables.rules.size() > line_start) tables.rules.back().bytes[rule_next_field] = 0;
        } else if (key == "FLOW_PARAMS") {
            for (std::string_view name : values) {
                if (find_flow(tables, name) < 0) {
                    if (!has_room(tables.flows.size(), max_flows, "flows", messages)) return false;
                    if (!name_fits(name, messages)) return false;
                    tables.flows.push_back(new_flow(name));
                }
                flow_name = name;
            }
        } else {
            messages.report(2, "*****unknown parameter in %s filter********\n", filter_name.c_str());
        }
        return true;
    });
    if (end == SubsectionEnd::capacity_exceeded) return end;
    if (end == SubsectionEnd::positioning_failed) {
        messages.report(1, "*****failed to parse %s filter correctly********\n", filter_name.c_str());
    }

    bytes[filter_first_rule_field] = 0;
    if (have_first_rule) {
        const std::string_view wanted = std::string_view(first_rule).substr(0, 15);
        for (size_t i = 0; i < tables.rules.size(); ++i) {
            const RuleRecord& rule = tables.rules[i];
            if (std::string_view(rule.name).substr(0, 15) == wanted && rule.owner == filter_name) {
                bytes[filter_first_rule_field] = static_cast<uint8_t>(i + 1);
                break;
            }
        }
    }
    const int flow = flow_name.empty() ? -1 : find_flow(tables, flow_name);
    bytes[filter_flow_field] = static_cast<uint8_t>(flow + 1);
    return end;
}

SubsectionEnd read_rule(LineReader& reader, RuleRecord& rule, Messages& messages) {
    auto& bytes = rule.bytes;
    int pattern_count = 0;

    const SubsectionEnd end = read_subsection(reader, [&](std::string_view key, const Values& values) {
        if (key == "PATTERN") {
            for (std::string_view value : values) {
                if (pattern_count == rule_max_pattern_bytes) {
                    messages.report(1, "*****more than %d pattern bytes in %s rule, extra bytes ignored********\n",
                                    rule_max_pattern_bytes, rule.name.c_str());
                    break;
                }
                bytes[rule_pattern_offset + pattern_count++] = static_cast<uint8_t>(read_token_hex(value));
            }
        } else if (key == "MASK") {
            for (int i = 0; i < rule_max_pattern_bytes; ++i) {
                const bool given = i < pattern_count && static_cast<size_t>(i) < values.size();
                bytes[rule_mask_offset + i] = given ? static_cast<uint8_t>(read_token_hex(values[i])) : 0;
            }
            bytes[rule_length_field] = static_cast<uint8_t>(pattern_count);
        } else if (key == "OFFSET" && !values.empty()) {
            store_le(&bytes[rule_offset_field], 2, static_cast<uint32_t>(read_token_decimal(values[0])));
        } else {
            messages.report(2, "*****unknown parameter in %s rule********\n", rule.name.c_str());
        }
        return true;
    });
    if (end == SubsectionEnd::positioning_failed) {
        messages.report(1, "*****failed to parse %s rule correctly ********\n", rule.name.c_str());
    }
    return end;
}

SubsectionEnd read_flow(LineReader& reader, FlowRecord& flow, Messages& messages) {
    auto& bytes = flow.bytes;
    bool had_max_rate = false;
    bool had_min_rate = false;
    auto set_control = [&](uint16_t mask, int shift, int code) {
        const auto control = static_cast<uint16_t>(load_le(&bytes[flow_control_field], 2));
        store_le(&bytes[flow_control_field], 2, with_field(control, mask, shift, code));
    };
    auto store_rate = [&](int field, std::string_view value) {
        store_le(&bytes[field], 2, static_cast<uint32_t>(read_token_decimal(value) >> 2));
    };

    const SubsectionEnd end = read_subsection(reader, [&](std::string_view key, const Values& values) {
        if (values.empty()) {
            messages.report(2, "*****unknown parameter [%s] in %s flow********\n", std::string(key).c_str(),
                            flow.name.c_str());
        } else if (key == "SERVICE_TYPE") {
            set_control(control_service_mask, control_service_shift, service_type_code(values[0]));
        } else if (key == "PRIORITY") {
            set_control(control_priority_mask, control_priority_shift, read_token_decimal(values[0]));
        } else if (key == "LATENCY") {
            set_control(control_latency_mask, control_latency_shift, latency_code(read_token_decimal(values[0])));
        } else if (key == "JITTER") {
            set_control(control_jitter_mask, control_jitter_shift, jitter_code(read_token_decimal(values[0])));
        } else if (key == "PACKET_SIZE") {
            const auto size = static_cast<uint32_t>(read_token_decimal(values[0]));
            store_le(&bytes[flow_packet_size_field], 2, size);
            store_le(&bytes[flow_packet_size_copy_field], 2, size);
        } else if (key == "MAX_RATE") {
            store_rate(flow_max_rate_field, values[0]);
            had_max_rate = true;
        } else if (key == "AVG_RATE") {
            store_rate(flow_avg_rate_field, values[0]);
        } else if (key == "MIN_RATE") {
            store_rate(flow_min_rate_field, values[0]);
            had_min_rate = true;
        } else if (key == "PER") {
            const double per = std::strtod(std::string(values[0]).c_str(), nullptr);
            bytes[flow_per_field] = per_code(per, load_le(&bytes[flow_packet_size_field], 2));
        } else if (key == "TIMEOUT") {
            store_le(&bytes[flow_timeout_field], 4, static_cast<uint32_t>(read_token_decimal(values[0])) & 0xFFFF);
        } else {
            messages.report(2, "*****unknown parameter [%s] in %s flow********\n", std::string(key).c_str(),
                            flow.name.c_str());
        }
        return true;
    });
    if (end == SubsectionEnd::positioning_failed) {
        messages.report(1, "*****failed to parse %s flow correctly ********\n", flow.name.c_str());
    }
    const uint32_t average = load_le(&bytes[flow_avg_rate_field], 2);
    if (!had_max_rate) store_le(&bytes[flow_max_rate_field], 2, average);
    if (!had_min_rate) store_le(&bytes[flow_min_rate_field], 2, average);
    return end;
}

bool read_filter_list(std::string_view line, QosTables& tables, Messages& messages) {
    const Values names = split_tokens(line, filter_list_separators);
    for (size_t i = 1; i < names.size(); ++i) {
        if (!has_room(tables.filters.size(), max_filters, "classifier filters", messages)) return false;
        if (!name_fits(names[i], messages)) return false;
        FilterRecord& filter = tables.filters.emplace_back();
        filter.name = names[i];
        filter.bytes[filter_type_field] = 1;
    }
    return true;
}

}  // namespace

SectionOutcome read_qos_section(LineReader& reader, std::string& line, QosTables& tables, Messages& messages) {
    tables.rules.clear();
    tables.filters.clear();
    tables.flows.clear();

    do {
        if (!reader.read_line(line)) return SectionOutcome::carry_on;
    } while (is_empty_line(line));
    if (!read_filter_list(line, tables, messages)) return SectionOutcome::capacity_exceeded;

    while (reader.read_line(line)) {
        if (!line.starts_with('[')) continue;
        const Values parts = split_tokens(line, header_separators);
        const std::string header = parts.empty() ? std::string() : std::string(parts[0]);

        bool matched = false;
        bool filter_matched = false;
        for (size_t i = 0; i < tables.filters.size(); ++i) {
            if (tables.filters[i].name != header) continue;
            if (read_filter(reader, tables, i, messages) == SubsectionEnd::capacity_exceeded) {
                return SectionOutcome::capacity_exceeded;
            }
            matched = filter_matched = true;
            break;
        }

        // A rule listed by several filters is described once; every listing
        // after the first gets a copy of it.
        int first_rule = -1;
        for (size_t i = 0; i < tables.rules.size(); ++i) {
            RuleRecord& rule = tables.rules[i];
            if (rule.name != header) continue;
            matched = true;
            if (first_rule < 0) {
                first_rule = static_cast<int>(i);
                if (!filter_matched) read_rule(reader, rule, messages);
            } else {
                const auto& source = tables.rules[first_rule].bytes;
                std::copy(source.begin(), source.begin() + rule_next_field, rule.bytes.begin());
            }
        }

        const int flow = find_flow(tables, header);
        if (flow >= 0) {
            read_flow(reader, tables.flows[flow], messages);
            continue;
        }

        if (!matched) {
            if (is_section_header_line(line)) return SectionOutcome::header_handed_back;
            messages.report(2, "*************** Error : unidentified parameter : %s *************\n",
                            header.c_str());
        }
    }
    return SectionOutcome::carry_on;
}
