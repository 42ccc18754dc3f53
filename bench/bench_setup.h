#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class EthernetLink;

// What the devsim benchmarks share: running inside the test namespace,
// starting and stopping the emulator on dv0, and opening the loader's link on
// hl0 the way start-up opens it.

// Outside the namespace, replaces the process with the same program run
// through the namespace harness (and returns only if that fails). Inside it,
// returns at once.
void enter_test_namespace(char** argv);

// The emulator with the reading end of its standard output, kept open until
// it ends so that its closing line cannot cost it a SIGPIPE before its files
// are written.
struct Devsim {
    pid_t pid = -1;
    int output = -1;
};

// Starts devsim -i dv0 with the options and waits at most 5 s for its ready
// line; pid -1 when it did not come.
Devsim start_devsim(const std::vector<std::string>& options);

// SIGTERM (so that its files are written), SIGKILL after 5 s.
void stop_devsim(Devsim& devsim);

bool read_interface_mac(const char* name, uint8_t mac[6]);

// The EtherType of every frame the benchmarks send.
constexpr uint16_t BENCH_ETHERTYPE = 0x886C;

// A packet socket bound to the interface for EtherType 0x886C; its kernel
// index in *index. -1 when it cannot be opened.
int open_packet_socket(const char* name, int* index);

// recvfrom that passes over the socket's own outgoing frames (a packet socket
// can be handed its own sends).
ssize_t receive_incoming(int s, uint8_t* buffer, size_t size);

// Sets pc_mac from hl0, selects the interface by 192.0.2.2, opens it and
// installs the device filter; local_mac is set as start-up sets it.
bool open_device_link(EthernetLink& link);

// Keeps this process, and every process it starts from now on, on the CPU it
// runs on. Left to the scheduler, a floor's ping-pong pair always lands on two
// CPUs while the loader and devsim often share one, and a ratio to the floor
// then measures where the scheduler put them. Prints the CPU; false (with a
// message) when the placement cannot be set.
bool keep_on_one_cpu();
