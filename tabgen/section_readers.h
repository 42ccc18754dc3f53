#pragma once

#include <string>

#include "line_reader.h"
#include "messages.h"
#include "qos_tables.h"

// How a table section ends, as seen by the main parameter reader.
enum class SectionOutcome {
    carry_on,             // read the next line as usual
    header_handed_back,   // `line` holds a section header line to process next
    capacity_exceeded,    // a table or name did not fit; the run fails (exit -2)
};

// Called after a "[QoS]" line: rebuilds tables 0 to 2 from the lines that follow.
SectionOutcome read_qos_section(LineReader& reader, std::string& line, QosTables& tables, Messages& messages);

// Called after a "[STATIC_ADDRESSES]" line: rebuilds table 3.
SectionOutcome read_static_addresses(LineReader& reader, std::string& line, QosTables& tables,
                                     Messages& messages);
