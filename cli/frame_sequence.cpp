#include "cli/frame_sequence.h"

#include <fmt/format.h>

#include <charconv>
#include <cstdint>
#include <regex>

#include "cli/cli_error.h"

extern char** environ;

namespace cli {
namespace {

// "%d" or "%0Nd"; the match gives the padding.
const std::regex kPrintfField(R"(%(0?\d*)d)");
const std::regex kHashField(R"(#+)");

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
        fail_input(fmt::format("--chunk auto needs a Slurm job array, but {} is not set", name));
    }
    const std::optional<int> value = parse_int(text);
    if (!value) {
        fail_input(fmt::format("--chunk auto: {} is \"{}\", not a number", name, text));
    }
    return *value;
}

}  // namespace

FramePattern::FramePattern(std::string text) : text_(std::move(text)) {
    std::smatch printf_match;
    std::smatch hash_match;
    const bool has_printf = std::regex_search(text_, printf_match, kPrintfField);
    const bool has_hash = std::regex_search(text_, hash_match, kHashField);
    const auto fields =
        std::distance(std::sregex_iterator(text_.begin(), text_.end(), kPrintfField), {}) +
        std::distance(std::sregex_iterator(text_.begin(), text_.end(), kHashField), {});
    if (fields > 1) {
        fail_input(fmt::format("\"{}\" has more than one frame-number field", text_));
    }
    if (has_printf) {
        field_start_ = static_cast<std::size_t>(printf_match.position(0));
        field_length_ = static_cast<std::size_t>(printf_match.length(0));
        const std::string width = printf_match[1].str();
        digits_ = width.empty() ? 0 : parse_int(width).value_or(0);
    } else if (has_hash) {
        field_start_ = static_cast<std::size_t>(hash_match.position(0));
        field_length_ = static_cast<std::size_t>(hash_match.length(0));
        digits_ = static_cast<int>(field_length_);
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
        fail_input(fmt::format("--frames \"{}\" is not a range FIRST-LAST", text));
    }
    if (*last < *first) {
        fail_input(fmt::format("--frames {}: the last frame comes before the first", text));
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
            fail_input(fmt::format("--chunk \"{}\" is not I/N or auto", text));
        }
        chunk = {*index, *count};
    }
    if (chunk.count < 1 || chunk.index < 1 || chunk.index > chunk.count) {
        fail_input(fmt::format("--chunk {}: the slice must be 1 to {} (it is {})", text,
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
