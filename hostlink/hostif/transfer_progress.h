#pragma once

// Bytes moved by the long memory transfers (memory files, firmware download,
// flash and EEPROM staging), for a progress display. One transfer runs at a
// time through the one request buffer, so one process-wide counter serves;
// the command that starts a transfer installs it for the transfer's length.
class TransferCounter {
public:
    virtual ~TransferCounter() = default;
    virtual void moved(int bytes) = 0;
};

// Installs `counter` (nullptr: none) and returns the one it replaces.
TransferCounter* set_transfer_counter(TransferCounter* counter);

// Called by the transfer loops for every piece the device took or gave.
void count_transfer(int bytes);
