#include "cli/frame_sequence.h"

#include <fmt/format.h>

#include <charconv>
#include <cstdint>

#include "session/session_error.h"

extern char** environ;

namespace cli {
namespace {

std::optional<int> parse_int(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string variable(const std::map<std::string, std::string>& environment,
                     const std::string& name) {
    const auto found = environment.find(name);
    return found == environment.end() ? std::string() : found->second;
}

int array_variable(const std::map<std::string, std::string>& environment, const std::string& name) {
    const std::string text = variable(environment, name);
    if (text.empty()) {
        session::fail_input(
            fmt::format("--chunk auto needs a Slurm job array, but {} is not set", name));
    }
    const std::optional<int> value = parse_int(text);
    if (!value) {
        session::fail_input(fmt::format("--chunk auto: {} is \"{}\", not a number", name, text));
    }
    return *value;
}

// A frame field starting at `at`: a run of '#', or "%d" / "%0Nd". Answers its length and the
// number of digits it pads to, or a length of 0.
struct Field {
    std::size_t length = 0;
    int digits = 0;
};

Field field_at(const std::string& text, std::size_t at) {
    if (text[at] == '#') {
        const std::size_t end = text.find_first_not_of('#', at);
        const std::size_t length = (end == std::string::npos ? text.size() : end) - at;
        return {length, static_cast<int>(length)};
    }
    if (text[at] != '%') {
        return {};
    }
    const std::size_t end = text.find_first_not_of("0123456789", at + 1);
    if (end == std::string::npos || text[end] != 'd') {
        return {};
    }
    const std::string width = text.substr(at + 1, end - at - 1);
    return {end + 1 - at, width.empty() ? 0 : parse_int(width).value_or(0)};
}

}  // namespace

FramePattern::FramePattern(std::string text) : text_(std::move(text)) {
    for (std::size_t at = 0; at < text_.size();) {
        const Field field = field_at(text_, at);
        if (field.length == 0) {
            ++at;
            continue;
        }
        if (has_frame_field()) {
            session::fail_input(fmt::format("\"{}\" has more than one frame-number field", text_));
        }
        field_start_ = at;
        field_length_ = field.length;
        digits_ = field.digits;
        at += field.length;
    }
}

std::string FramePattern::file_for(int frame) const {
    if (!has_frame_field()) {
        return text_;
    }
    const std::string number = frame < 0 ? fmt::format("-{:0{}}", -static_cast<std::int64_t>(frame),
                                                       std::max(digits_ - 1, 0))
                                         : fmt::format("{:0{}}", frame, digits_);
    return text_.substr(0, field_start_) + number + text_.substr(field_start_ + field_length_);
}

FrameRange parse_frame_range(const std::string& text) {
    // The separating dash is the first one after the first character, so "-5--2" works too.
    const std::size_t dash = text.find('-', 1);
    const std::optional<int> first = parse_int(text.substr(0, dash));
    const std::optional<int> last =
        dash == std::string::npos ? first : parse_int(text.substr(dash + 1));
    if (!first || !last) {
        session::fail_input(fmt::format("--frames \"{}\" is not a range FIRST-LAST", text));
    }
    if (*last < *first) {
        session::fail_input(
            fmt::format("--frames {}: the last frame comes before the first", text));
    }
    return {*first, *last};
}

Chunk parse_chunk(const std::string& text, const std::map<std::string, std::string>& environment) {
    Chunk chunk;
    if (text == "auto") {
        const int id = array_variable(environment, "SLURM_ARRAY_TASK_ID");
        const int min = array_variable(environment, "SLURM_ARRAY_TASK_MIN");
        chunk = {id - min + 1, array_variable(environment, "SLURM_ARRAY_TASK_COUNT")};
    } else {
        const std::size_t slash = text.find('/');
        const std::optional<int> index = parse_int(text.substr(0, slash));
        const std::optional<int> count =
            slash == std::string::npos ? std::nullopt : parse_int(text.substr(slash + 1));
        if (!index || !count) {
            session::fail_input(fmt::format("--chunk \"{}\" is not I/N or auto", text));
        }
        chunk = {*index, *count};
    }
    if (chunk.count < 1 || chunk.index < 1 || chunk.index > chunk.count) {
        session::fail_input(fmt::format("--chunk {}: the slice must be 1 to {} (it is {})", text,
                                        chunk.count, chunk.index));
    }
    return chunk;
}

std::vector<int> frames_of_chunk(const FrameRange& range, const Chunk& chunk) {
    const std::int64_t total = range.count();
    // Slice k starts at floor(k * total / count): sizes differ by one at most.
    const auto start = [&](std::int64_t k) { return k * total / chunk.count; };
    std::vector<int> frames;
    for (std::int64_t i = start(chunk.index - 1); i < start(chunk.index); ++i) {
        frames.push_back(static_cast<int>(range.first + i));
    }
    return frames;
}

std::map<std::string, std::string> process_environment() {
    std::map<std::string, std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos) {
            environment.emplace(text.substr(0, equals), text.substr(equals + 1));
        }
    }
    return environment;
}

}  // namespace cli
