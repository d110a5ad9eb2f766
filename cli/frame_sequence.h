// Frame numbers in file names, frame ranges, and the slices of a range that farm tasks share.
#ifndef QB_CLI_FRAME_SEQUENCE_H
#define QB_CLI_FRAME_SEQUENCE_H

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// A file name that may stand for many frames: "shot.####.exr" (the run of #s gives the number
// of digits) or "shot.%04d.exr" (printf style, "%d" for no padding). A name with neither is a
// single file, the same for every frame.
class FramePattern {
  public:
    // Throws SessionError (bad input) for a name with more than one frame field.
    explicit FramePattern(std::string text);

    bool has_frame_field() const { return field_length_ > 0; }
    const std::string& text() const { return text_; }
    // The file name of `frame` (the text itself when there is no frame field).
    std::string file_for(int frame) const;

  private:
    std::string text_;
    std::size_t field_start_ = 0;
    std::size_t field_length_ = 0;  // characters of the field in `text_`; 0: none
    int digits_ = 0;                // zero-padded width
};

// An inclusive range of frames, FIRST-LAST (or a single number).
struct FrameRange {
    int first = 0;
    int last = 0;
    int count() const { return last - first + 1; }
};

// Parses "FIRST-LAST" or "N"; throws SessionError (bad input) when LAST < FIRST or it is no range.
FrameRange parse_frame_range(const std::string& text);

// Which of N slices this task renders, 1-based.
struct Chunk {
    int index = 1;
    int count = 1;
};

// Parses "I/N" with 1 <= I <= N; "auto" reads the task's place in a Slurm job array from
// `environment` (SLURM_ARRAY_TASK_ID, SLURM_ARRAY_TASK_MIN, SLURM_ARRAY_TASK_COUNT). Throws
// SessionError (bad input) for anything else, and for "auto" outside a job array.
Chunk parse_chunk(const std::string& text, const std::map<std::string, std::string>& environment);

// The frames of the chunk-th slice: the range cut into `count` slices as even as they can be
// (sizes differ by one at most), every frame in exactly one slice. A slice
// may be empty when there are more slices than frames.
std::vector<int> frames_of_chunk(const FrameRange& range, const Chunk& chunk);

// The process environment as a map, for the functions above.
std::map<std::string, std::string> process_environment();

}  // namespace cli

#endif
