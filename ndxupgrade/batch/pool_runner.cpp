#include "pool_runner.h"

#include <cstdint>

namespace ndx {
namespace {

class OneChild : public BatchListener {
public:
    OneChild(const OutputLine& output, LogMemo& errors) : output_(output), errors_(errors) {}
    void started(std::size_t) override {}
    void line(std::size_t, const std::string& text) override
    {
        if (output_) output_(text);
    }
    void ended(std::size_t, const JobEnd& end) override { end_ = end; }
    void stopping(const std::string& signalName) override
    {
        errors_.addLine("ndxupgrade: " + signalName + ": stopping the batch before it starts");
    }
    const JobEnd& end() const { return end_; }

private:
    const OutputLine& output_;
    LogMemo& errors_;
    JobEnd end_;
};

}  // namespace

int PoolRunner::run(const std::vector<std::string>& argv, const std::string& workDir, const OutputLine& output)
{
    if (stoppedBy_) return -1;
    OneChild child(output, errors_);
    stoppedBy_ = runJobPool({{argv, workDir}}, 1, stopGrace_, signals_, child);
    if (child.end().how != JobEnd::How::Exited) return -1;
    // The children exit with negative codes; a Linux status holds their low 8 bits.
    return static_cast<std::int8_t>(child.end().status & 0xFF);
}

}  // namespace ndx
