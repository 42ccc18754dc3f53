#include "section_readers.h"

SectionOutcome read_static_addresses(LineReader& reader, std::string& line, QosTables& tables,
                                     Messages& messages) {
    tables.static_addresses.clear();
    while (reader.read_line(line)) {
        if (is_section_header_line(line)) return SectionOutcome::header_handed_back;
        if (line.empty() || line[0] == '\n' || line[0] == '\r' || line[0] == '#') continue;

        const auto tokens = split_tokens(line, "\t :-");
        if (tokens.size() < static_address_size) {
            // A bad line ends the list; what follows goes back to the main reader.
            messages.report(1, tokens.empty() ? "ERROR : unable to read MAC address.\n"
                                              : "ERROR : unable to read MAC address\n");
            messages.report(1, "Error occured in line : %s\n", line.c_str());
            return SectionOutcome::carry_on;
        }
        if (tables.static_addresses.size() >= static_cast<size_t>(max_static_addresses)) {
            messages.report(0, "ERROR: more than %d static addresses!!!\n", max_static_addresses);
            return SectionOutcome::capacity_exceeded;
        }
        auto& address = tables.static_addresses.emplace_back();
        for (int i = 0; i < static_address_size; ++i) address[i] = static_cast<uint8_t>(read_token_hex(tokens[i]));
    }
    return SectionOutcome::carry_on;
}
