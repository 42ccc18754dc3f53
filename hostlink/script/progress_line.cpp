#include "progress_line.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);
constexpr double RATE_AFTER_SECONDS = 0.2;

}  // namespace

ProgressLine::ProgressLine(const char* command, long long total, std::FILE* out)
    : command_(command), total_(total), out_(out) {
    active_ = isatty(fileno(out_)) == 1;
    if (!active_) return;
    previous_ = set_transfer_counter(this);
    draw();
}

ProgressLine::~ProgressLine() {
    if (!active_) return;
    set_transfer_counter(previous_);
    std::fprintf(out_, "\r%*s\r", static_cast<int>(width_), "");
    std::fflush(out_);
}

void ProgressLine::moved(int bytes) {
    const Clock::time_point now = Clock::now();
    if (done_ == 0) {
        first_ = now;
        first_piece_ = bytes;
    }
    done_ += bytes;
    if (now - drawn_ >= REDRAW_INTERVAL || (total_ > 0 && done_ >= total_)) draw();
}

void ProgressLine::draw() {
    drawn_ = Clock::now();
    // The clock starts with the first piece, so the rate counts what came after it.
    const double seconds = done_ > 0 ? std::chrono::duration<double>(drawn_ - first_).count() : 0.0;
    const double rate = seconds >= RATE_AFTER_SECONDS ? static_cast<double>(done_ - first_piece_) / seconds : -1.0;
    const std::string line = text(command_, done_, total_, rate);
    // Pad over a longer previous line, so nothing of it stays visible.
    const std::size_t pad = width_ > line.size() ? width_ - line.size() : 0;
    std::fprintf(out_, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
    std::fflush(out_);
    if (line.size() > width_) width_ = line.size();
}

std::string ProgressLine::text(const char* command, long long done, long long total, double rate) {
    char line[160];
    int n = total > 0 ? std::snprintf(line, sizeof line, "%s: %lld/%lld bytes (%lld%%)", command, done, total,
                                      done * 100 / total)
                      : std::snprintf(line, sizeof line, "%s: %lld bytes", command, done);
    if (rate >= 0 && n > 0 && n < static_cast<int>(sizeof line))
        std::snprintf(line + n, sizeof line - n, ", %.1f kB/s", rate / 1000.0);
    return line;
}

long long file_size(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : 0;
}
