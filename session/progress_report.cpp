#include "session/progress_report.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>

namespace session {
namespace {

constexpr int kBarWidth = 40;
constexpr int kPercent = 100;

}  // namespace

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) != 0;
}

ProgressReport::ProgressReport(std::FILE* stream, bool terminal)
    : stream_(stream), terminal_(terminal) {}

std::string ProgressReport::prefix() const {
    return frame_ ? fmt::format("frame {}: ", *frame_) : std::string();
}

void ProgressReport::start(std::optional<int> frame) {
    frame_ = frame;
    shown_percent_ = -1;
    started_ = std::chrono::steady_clock::now();
}

void ProgressReport::advance(long current, long total) {
    if (!terminal_ || total <= 0) {
        return;
    }
    const int percent = static_cast<int>(std::clamp(current * kPercent / total, 0L, 100L));
    if (percent == shown_percent_) {
        return;
    }
    shown_percent_ = percent;
    const int filled = percent * kBarWidth / kPercent;
    fmt::print(stream_, "\r{}[{}{}] {:3}%", prefix(), std::string(filled, '#'),
               std::string(kBarWidth - filled, '.'), percent);
    std::fflush(stream_);
}

void ProgressReport::clear_bar() {
    if (terminal_ && shown_percent_ >= 0) {
        fmt::print(stream_, "\r\033[K");
    }
    shown_percent_ = -1;
}

void ProgressReport::wrote(const std::string& path) {
    clear_bar();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started_;
    fmt::print(stream_, "{}wrote {} ({:.1f} s)\n", prefix(), path, seconds.count());
    std::fflush(stream_);
}

void ProgressReport::skipped(const std::string& path) {
    fmt::print(stream_, "{}skipped, {} exists\n", prefix(), path);
    std::fflush(stream_);
}

void ProgressReport::failed(const std::string& message) {
    clear_bar();
    fmt::print(stream_, "{}{}\n", frame_ ? prefix() : std::string("quillbloom: "), message);
    std::fflush(stream_);
}

}  // namespace session
