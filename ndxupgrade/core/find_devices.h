#pragma once
// Finding the devices on the wire: the loader's FIND_DEVICES line lists
// every device that answers its broadcast address query, so that nobody has
// to read a MAC address off a label. The kit's Tool/find.txt holds the line
// with the default window; another window gets a script of its own.

#include <string>
#include <vector>

#include "mac_fields.h"
#include "session.h"

namespace ndx {

constexpr int kMaxFindWindowMs = 10000;

enum class FindOutcome {
    Found,      // at least one device answered
    NoneFound,  // the query went out and nobody answered
    Failed,     // the loader could not ask (kit, capture rights, interface)
};

struct FoundDevices {
    FindOutcome outcome = FindOutcome::Failed;
    std::vector<MacAddress> devices;  // in the order first heard
};

// Runs the loader on session.interfaceIp with Tool/find.txt (windowMs 0) or
// with a script of its own for windowMs (1 to kMaxFindWindowMs), written
// into Tool/ and removed afterwards. Logs what it does into `memo` and names
// the stage for a failure ("kit files", "find devices").
FoundDevices findDevices(Session& session, int windowMs, LogMemo* memo);

}  // namespace ndx
