#include "cli/render_command.h"

#include <fmt/format.h>

#include <vector>

#include "cli/atomic_output.h"
#include "cli/exit_status.h"
#include "cli/frame_sequence.h"
#include "cli/image_writer.h"
#include "session/cancellation.h"
#include "session/effect_session.h"
#include "session/progress_report.h"
#include "session/session_error.h"

namespace cli {
namespace {

struct Patterns {
    FramePattern input;
    FramePattern distance;
    FramePattern output;
};

// The frames to render: the chunk's share of --frames for a sequence, one for a still.
std::vector<std::optional<int>> frames_to_render(const RenderRequest& request,
                                                 const Patterns& patterns) {
    if (!patterns.input.has_frame_field()) {
        if (request.frames || request.chunk || patterns.distance.has_frame_field() ||
            patterns.output.has_frame_field()) {
            session::fail_input(fmt::format(
                "--frames, --chunk and frame fields in --distance and -o need an input pattern "
                "such as shot.####.exr; {} has no frame field",
                request.input));
        }
        return {std::nullopt};
    }
    if (!request.frames) {
        session::fail_input(fmt::format(
            "{} is a frame pattern: say which frames with --frames FIRST-LAST", request.input));
    }
    if (!patterns.output.has_frame_field()) {
        session::fail_input(fmt::format(
            "-o {} needs a frame field (#### or %04d) to hold every frame", request.output));
    }
    const FrameRange range = parse_frame_range(*request.frames);
    const Chunk chunk =
        request.chunk ? parse_chunk(*request.chunk, process_environment()) : Chunk{};
    std::vector<std::optional<int>> frames;
    for (const int frame : frames_of_chunk(range, chunk)) {
        frames.emplace_back(frame);
    }
    return frames;
}

// The input files of every frame of --frames, not only this task's: the frame they share must
// not depend on how a farm slices them.
std::vector<std::string> every_input(const RenderRequest& request, const Patterns& patterns) {
    if (!patterns.input.has_frame_field()) {
        return {request.input};
    }
    const FrameRange range = parse_frame_range(*request.frames);
    std::vector<std::string> inputs;
    for (int frame = range.first; frame <= range.last; ++frame) {
        inputs.push_back(patterns.input.file_for(frame));
    }
    return inputs;
}

void check_focus_point(const session::RenderSettings& settings, const PixelWindow& display) {
    if (!settings.focus_at) {
        return;
    }
    const session::PointXY& point = *settings.focus_at;
    if (point.x < 0 || point.y < 0 || point.x >= display.width || point.y >= display.height) {
        session::fail_input(fmt::format("--focus-at {:g},{:g} lies outside the {}x{} picture",
                                        point.x, point.y, display.width, display.height));
    }
}

// --focus-at and --preview are given in display-window coordinates; the effect takes points in
// its layer's, which covers the frame.
session::RenderSettings in_frame_coordinates(session::RenderSettings settings,
                                             const FrameGeometry& geometry) {
    if (settings.focus_at) {
        settings.focus_at = frame_point(geometry, *settings.focus_at);
    }
    if (settings.preview) {
        settings.preview->point = frame_point(geometry, settings.preview->point);
    }
    return settings;
}

void report_cleaned(const std::string& input, long pixels) {
    if (pixels == 1) {
        fmt::print(stderr,
                   "quillbloom: {}: 1 pixel with a NaN, infinite or negative value was cleaned\n",
                   input);
    } else if (pixels > 1) {
        fmt::print(stderr,
                   "quillbloom: {}: {} pixels with NaN, infinite or negative values were cleaned\n",
                   input, pixels);
    }
}

void render_one(session::EffectSession& effect, const RenderRequest& request,
                const Patterns& patterns, const FrameReading& reading, std::optional<int> frame,
                session::ProgressReport& report) {
    const int number = frame.value_or(0);
    const std::string output = patterns.output.file_for(number);
    if (request.skip_existing && std::filesystem::exists(output)) {
        report.skipped(output);
        return;
    }
    const std::string input = patterns.input.file_for(number);
    FrameLayers layers = read_frame_layers(
        input, request.distance.empty() ? "" : patterns.distance.file_for(number), reading);
    report_cleaned(input, layers.cleaned_pixels);
    const auto result = effect.render(*layers.input, layers.distance.get(), report);
    OutputTraits traits = layers.output;
    traits.float_type = request.float_type;
    write_world(*result, output, traits);
    report.wrote(output);
}

}  // namespace

int run_render(const RenderRequest& request) {
    const Patterns patterns{FramePattern(request.input), FramePattern(request.distance),
                            FramePattern(request.output)};
    const std::vector<std::optional<int>> frames = frames_to_render(request, patterns);
    if (request.settings.focus_at && request.distance_source.kind == DistanceSource::Kind::none) {
        session::fail_input(
            "--focus-at picks a distance from the Distance Layer: give --distance or a "
            "depth channel with --near and --far");
    }
    if (frames.empty()) {
        fmt::print(stderr, "chunk {} holds no frame of {}\n", request.chunk.value_or(""),
                   request.frames.value_or(""));
        return kExitSuccess;
    }
    const std::string first_output = patterns.output.file_for(frames.front().value_or(0));
    output_format_for(first_output);
    require_output_folder(first_output);

    const FrameGeometry geometry =
        sequence_geometry(every_input(request, patterns), request.settings.downsample);
    check_focus_point(request.settings, geometry.display);
    const FrameReading reading{request.distance_source, request.light, geometry.frame,
                               request.settings.downsample};
    session::EffectSession effect(request.module, in_frame_coordinates(request.settings, geometry));
    session::ProgressReport report(stderr, session::stderr_is_terminal());
    std::vector<int> failed;
    int status = kExitSuccess;
    for (const std::optional<int>& frame : frames) {
        report.start(frame);
        if (session::cancel_requested()) {
            report.failed("cancelled");
            return kExitCancelled;
        }
        try {
            render_one(effect, request, patterns, reading, frame, report);
        } catch (const session::SessionError& error) {
            report.failed(error.what());
            if (error.kind() == session::FailureKind::cancelled) {
                return kExitCancelled;
            }
            failed.push_back(frame.value_or(0));
            status = status == kExitSuccess ? exit_status(error.kind()) : status;
        }
    }
    if (!failed.empty() && frames.front()) {
        fmt::print(stderr, "quillbloom: {} of {} frames failed: {}\n", failed.size(), frames.size(),
                   fmt::join(failed, " "));
    }
    return status;
}

}  // namespace cli
