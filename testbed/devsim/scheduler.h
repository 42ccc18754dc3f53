#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>

// Timed actions of the emulated device (end of a busy window, a delayed
// reply, a spaced acknowledgement). Times are microseconds of one monotonic
// clock; actions due at the same time run in the order they were added.
class Scheduler {
public:
    using Action = std::function<void()>;
    static constexpr int64_t never = std::numeric_limits<int64_t>::max();

    void at(int64_t when_us, Action action) { events_.emplace(when_us, std::move(action)); }

    int64_t next_due() const { return events_.empty() ? never : events_.begin()->first; }

    // Runs every action due by `now_us`, including ones that due actions add.
    void run_due(int64_t now_us) {
        while (!events_.empty() && events_.begin()->first <= now_us) {
            Action action = std::move(events_.begin()->second);
            events_.erase(events_.begin());
            action();
        }
    }

    bool empty() const { return events_.empty(); }

private:
    std::multimap<int64_t, Action> events_;
};
