#include "qos_tables.h"

namespace {

template <typename Records>
void append_records(std::vector<uint8_t>& out, const Records& records) {
    for (const auto& record : records) out.insert(out.end(), record.bytes.begin(), record.bytes.end());
}

}  // namespace

std::vector<uint8_t> table_bytes(const QosTables& tables, int table) {
    std::vector<uint8_t> out;
    switch (table) {
        case 0: append_records(out, tables.rules); break;
        case 1: append_records(out, tables.filters); break;
        case 2: append_records(out, tables.flows); break;
        case 3:
            for (const auto& address : tables.static_addresses) out.insert(out.end(), address.begin(), address.end());
            break;
        default: break;
    }
    return out;
}
