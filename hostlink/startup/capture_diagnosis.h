#pragma once

class EthernetLink;

// After start-up's own line about an interface that could not be opened or
// filtered: one line on standard error with libpcap's reason and, when the
// reason is missing capture rights, how to grant them to this very binary.
void report_capture_failure(const EthernetLink& link);
