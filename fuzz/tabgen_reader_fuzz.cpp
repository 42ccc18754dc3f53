// libFuzzer target for tabgen's parameter file reader: any byte sequence must
// give a result or a documented exit code, within the image and the tables.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "messages.h"
#include "parameter_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the verbosity so that every message path runs.
    if (size == 0) return 0;
    Messages messages{data[0] % 4, {}};
    const std::string_view contents(reinterpret_cast<const char*>(data + 1), size - 1);
    ParameterSet parameters;
    const int status = read_parameter_text(contents, parameters, messages);
    if (status != 0 && status != exit_bad_syntax && status != exit_unknown_parameter) std::abort();
    const QosTables& tables = parameters.tables;
    if (tables.rules.size() > max_rules || tables.filters.size() > max_filters || tables.flows.size() > max_flows ||
        tables.static_addresses.size() > max_static_addresses) {
        std::abort();
    }
    for (const FilterRecord& filter : tables.filters) {
        if (filter.bytes[filter_first_rule_field] > tables.rules.size()) std::abort();
        if (filter.bytes[filter_flow_field] > tables.flows.size()) std::abort();
    }
    return 0;
}
