// What the user sees while frames render, on standard error: a bar that the host's progress
// callback moves when that is a terminal, and one line per frame in every case, so a farm log
// reads frame by frame.
#ifndef QB_SESSION_PROGRESS_REPORT_H
#define QB_SESSION_PROGRESS_REPORT_H

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

namespace session {

class ProgressReport {
  public:
    // `frame` is empty for a still image, whose lines then carry no frame number.
    ProgressReport(std::FILE* stream, bool terminal);

    void start(std::optional<int> frame);
    // From the host's progress callback: `current` of `total`.
    void advance(long current, long total);
    void wrote(const std::string& path);
    void skipped(const std::string& path);
    void failed(const std::string& message);

  private:
    void clear_bar();
    std::string prefix() const;

    std::FILE* stream_;
    bool terminal_;
    std::optional<int> frame_;
    int shown_percent_ = -1;
    std::chrono::steady_clock::time_point started_;
};

// Whether standard error is a terminal a bar can be drawn on.
bool stderr_is_terminal();

}  // namespace session

#endif
