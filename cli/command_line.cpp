#include "cli/command_line.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <map>
#include <sstream>

#include "cli/exit_status.h"
#include "cli/module_location.h"
#include "session/plugin_folder_location.h"
#include "session/session_error.h"

namespace cli {
namespace {

constexpr int kDefaultShapePictureSize = 127;

const std::map<std::string, LightMode> kLightModes = {
    {"auto", LightMode::automatic}, {"linear", LightMode::linear}, {"display", LightMode::display}};
const std::map<std::string, SampleKind> kFloatTypes = {{"half", SampleKind::kHalf},
                                                       {"float", SampleKind::kFloat}};

// The flags that set controls, as strings until the module's declarations can check them.
struct ControlFlags {
    std::string shape;
    std::string focus_at;
    std::string preview;
    std::string preview_quality;
    std::string quality;
    std::string alpha_bokeh;
    double focus = 0, amount = 0, hardness = 0, brightness = 0, precision = 0;
    int downsample = 1;
    CLI::Option* alpha_bokeh_option = nullptr;
    CLI::App* app = nullptr;
};

void add_control_flags(CLI::App& app, ControlFlags& flags) {
    flags.app = &app;
    const char* group = "Controls (ranges and menus: quillbloom controls)";
    app.add_option("--shape", flags.shape, "Iris Shape, by name (list: quillbloom shapes)")
        ->group(group);
    app.add_option("--focus", flags.focus,
                   "On-Focus Distance: the Distance Layer value that stays sharp")
        ->group(group);
    app.add_option("--focus-at", flags.focus_at,
                   "X,Y: focus on the distance under this pixel, picked as a click on Focus Here")
        ->group(group);
    app.add_option("--amount", flags.amount, "Bokeh Amount: the largest blur, in pixels")
        ->group(group);
    app.add_option("--hardness", flags.hardness, "Hardness of the bokeh discs")->group(group);
    app.add_option("--brightness", flags.brightness, "Brightness of the highlights")->group(group);
    app.add_option("--preview", flags.preview,
                   "X,Y[,SIZE]: render only a square around this pixel (Preview Only)")
        ->group(group);
    app.add_option("--preview-quality", flags.preview_quality,
                   "Preview Quality, by number or menu text")
        ->group(group);
    app.add_option("--quality", flags.quality, "Quality, by number or menu text")->group(group);
    app.add_option("--precision", flags.precision, "Distance Precision")->group(group);
    flags.alpha_bokeh_option =
        app.add_option("--alpha-bokeh", flags.alpha_bokeh,
                       "Spread alpha with the bokeh; =VALUE also sets Alpha bokeh")
            ->expected(0, 1)
            ->group(group);
    app.add_option("--downsample", flags.downsample,
                   "Render at 1/N resolution, as a host's draft resolution does")
        ->check(CLI::PositiveNumber)
        ->group(group);
}

template <class T>
std::optional<T> if_given(const ControlFlags& flags, const char* name, const T& value) {
    return flags.app->count(name) ? std::optional<T>(value) : std::nullopt;
}

session::PointXY point_of(const std::string& text, const std::string& flag) {
    const std::vector<double> xy = parse_numbers(text, flag, 2, 2);
    return {xy[0], xy[1]};
}

session::RenderSettings settings_from(const ControlFlags& flags) {
    session::RenderSettings settings;
    settings.shape = if_given(flags, "--shape", flags.shape);
    settings.focus = if_given(flags, "--focus", flags.focus);
    if (flags.app->count("--focus-at")) {
        settings.focus_at = point_of(flags.focus_at, "--focus-at");
    }
    settings.amount = if_given(flags, "--amount", flags.amount);
    settings.hardness = if_given(flags, "--hardness", flags.hardness);
    settings.brightness = if_given(flags, "--brightness", flags.brightness);
    if (flags.app->count("--preview")) {
        const std::vector<double> values = parse_numbers(flags.preview, "--preview", 2, 3);
        settings.preview = session::PreviewRequest{{values[0], values[1]}, std::nullopt};
        if (values.size() == 3) {
            settings.preview->size = values[2];
        }
    }
    settings.preview_quality = if_given(flags, "--preview-quality", flags.preview_quality);
    settings.quality = if_given(flags, "--quality", flags.quality);
    settings.precision = if_given(flags, "--precision", flags.precision);
    if (flags.alpha_bokeh_option->count()) {
        settings.alpha_bokeh = true;
        if (!flags.alpha_bokeh.empty()) {
            settings.alpha_bokeh_value = parse_numbers(flags.alpha_bokeh, "--alpha-bokeh", 1, 1)[0];
        }
    }
    settings.downsample = flags.downsample;
    return settings;
}

struct DepthFlags {
    std::string channel;
    double near = 0, far = 0;
    bool invert = false;
};

DistanceSource distance_source(const CLI::App& render, const std::string& distance,
                               const DepthFlags& depth) {
    const bool has_range = render.count("--near") || render.count("--far");
    if (has_range && !(render.count("--near") && render.count("--far"))) {
        session::fail_input("a depth pass needs both --near and --far");
    }
    if (!has_range) {
        if (render.count("--distance-channel") || depth.invert) {
            session::fail_input(
                "--distance-channel and --invert read a depth pass: give --near and --far");
        }
        return distance.empty() ? DistanceSource{}
                                : DistanceSource{DistanceSource::Kind::layer_file, "", {}};
    }
    if (depth.near == depth.far) {
        session::fail_input(
            fmt::format("--near and --far are both {:g}: they must differ", depth.near));
    }
    return {DistanceSource::Kind::depth_channel, depth.channel,
            session::DepthRange{depth.near, depth.far, depth.invert}};
}

// CLI11 reports a mistake on two lines; the tool's errors are one line each.
int report_parse_error(const CLI::App& app, const CLI::ParseError& error) {
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        return app.exit(error);
    }
    fmt::print(stderr, "quillbloom: {} (see quillbloom --help)\n", error.what());
    return kExitBadInput;
}

}  // namespace

std::vector<double> parse_numbers(const std::string& text, const std::string& flag,
                                  std::size_t min_count, std::size_t max_count) {
    std::vector<double> numbers;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
        std::size_t used = 0;
        try {
            numbers.push_back(std::stod(part, &used));
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != part.size()) {
            numbers.clear();
            break;
        }
    }
    if (numbers.size() < min_count || numbers.size() > max_count) {
        session::fail_input(fmt::format("{} \"{}\": expected {}", flag, text,
                                        max_count == 1                     ? "a number"
                                        : min_count == 2 && max_count == 2 ? "X,Y"
                                                                           : "X,Y[,SIZE]"));
    }
    return numbers;
}

Command parse_command_line(int argc, const char* const* argv,
                           const std::filesystem::path& default_module) {
    // The first line is the man page's NAME line; the footer's paragraphs become its sections.
    CLI::App app{
        "quillbloom: a depth-of-field (\"bokeh\") effect for image files, stills and sequences\n"
        "\n"
        "Renders a picture as a lens focused at one distance shows it: pixels away from that\n"
        "distance spread into discs of the lens's iris shape, bright points bloom into\n"
        "iris-shaped highlights, and pixels at the focus distance stay sharp. How far each pixel\n"
        "is comes from a Distance Layer (its red channel, 0..255, white near) or a depth pass.\n"
        "The effect module of the plug-in folder renders it, driven as a compositing host would\n"
        "drive it. Start with: quillbloom demo",
        "quillbloom"};
    app.footer(fmt::format(
        "Exit status: {} success; {} a bad command line or an unreadable input; {} an error the\n"
        "effect reported, or too little memory; {} cancelled (Ctrl-C).\n"
        "\n"
        "Environment: OMP_NUM_THREADS sets the threads a render takes, else SLURM_CPUS_PER_TASK,\n"
        "else the CPUs the process may run on. SLURM_ARRAY_TASK_ID, SLURM_ARRAY_TASK_MIN and\n"
        "SLURM_ARRAY_TASK_COUNT give the slice of --chunk auto.\n"
        "\n"
        "Files: the plug-in folder holds the effect module {}, pattern/ with a folder of TIFF\n"
        "files for each iris shape, and help/index.html, the effect's help page.\n"
        "\n"
        "See also: the help page, which quillbloom about --open-help opens; gegl(1).",
        kExitSuccess, kExitBadInput, kExitEffectError, kExitCancelled, session::kModuleFileName));
    app.set_version_flag("--version", "quillbloom " QB_VERSION);
    app.require_subcommand(1);
    // A flag given twice takes its last value, so that a script can append an override.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    std::string module = default_module.string();
    // Where the default lies, not the path itself: the help is the man page's source, made in
    // the build folder for an installed program.
    app.add_option(
        "--module", module,
        fmt::format("Effect module file to load; default: {} of the plug-in folder, "
                    "{}/ beside this program or, installed, {}/",
                    session::kModuleFileName, kBuildPluginFolder, kInstalledPluginFolder));

    CLI::App* render = app.add_subcommand(
        "render", "Render IN (a file or a frame pattern such as shot.####.exr) to OUT");
    std::string input, output, distance, frames, chunk;
    bool skip_existing = false;
    DepthFlags depth;
    render->add_option("IN", input, "Input picture or frame pattern (shot.####.exr, shot.%04d.exr)")
        ->required();
    render
        ->add_option("-o,--output", output,
                     "Output file or frame pattern; its extension "
                     "picks the format")
        ->required();
    render->add_option("--distance", distance,
                       "Distance Layer: red channel (or grey) 0..255, or a depth pass with "
                       "--near/--far");
    render->add_option("--distance-channel", depth.channel,
                       "Depth channel by name (Z, depth, ViewLayer.Z); default: Z or depth; "
                       "read from --distance or else from IN");
    render->add_option("--near", depth.near, "Depth that maps to 255 (nearest)");
    render->add_option("--far", depth.far, "Depth that maps to 0 (farthest)");
    render->add_flag("--invert", depth.invert, "Map near to 0 and far to 255 instead");
    std::string light = "auto";
    render
        ->add_option("--light", light,
                     "How file values are taken: auto (float files as scene-linear light, "
                     "8/16-bit files as they are), linear (8/16-bit files too, decoded from "
                     "sRGB and encoded again on output), display (float files clamped to 0..1 "
                     "at 16 bits)")
        ->check(CLI::IsMember(kLightModes))
        ->option_text("auto|linear|display");
    std::string float_type;
    render
        ->add_option("-d,--float-type", float_type,
                     "Float outputs (EXR, TIFF) as half or float; default: as the input, "
                     "half for an 8/16-bit input")
        ->check(CLI::IsMember(kFloatTypes))
        ->option_text("half|float");
    render->add_option("--frames", frames, "FIRST-LAST: the frames of a pattern");
    render->add_option("--chunk", chunk,
                       "I/N: render only the I-th of N even slices of --frames; auto: the "
                       "Slurm array task's slice");
    render->add_flag("--skip-existing", skip_existing,
                     "Leave frames whose output file exists (resumes an interrupted task)");
    ControlFlags render_controls;
    add_control_flags(*render, render_controls);

    CLI::App* demo = app.add_subcommand(
        "demo", fmt::format("Render the built-in demo scene (Bokeh Amount {:g} unless given) and "
                            "say where the picture is",
                            kDemoAmount));
    DemoRequest demo_request;
    demo->add_option("-o,--output", demo_request.output, "Picture to write")->capture_default_str();
    demo->add_option("--save-scene", demo_request.scene_folder,
                     "Also save the unrendered scene and its Distance Layer in this folder");
    ControlFlags demo_controls;
    add_control_flags(*demo, demo_controls);

    CLI::App* shapes = app.add_subcommand("shapes", "List the iris shapes and their sizes");
    ShapesCommand shapes_command;
    shapes->add_option("--pictures", shapes_command.picture_folder,
                       "Also write a PNG of each shape into this folder");
    shapes_command.picture_size = kDefaultShapePictureSize;
    shapes
        ->add_option("--picture-size", shapes_command.picture_size,
                     "Pixels of the shape file pictured (the next larger size if missing)")
        ->capture_default_str();

    CLI::App* controls = app.add_subcommand("controls", "List the effect's controls");
    CLI::App* about = app.add_subcommand("about", "Show the effect's About box as text");
    AboutCommand about_command;
    about->add_flag("--open-help", about_command.open_help,
                    "Press its Help button: open the help page");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return Finished{report_parse_error(app, error)};
    }

    if (render->parsed()) {
        RenderRequest request;
        request.module = module;
        request.input = input;
        request.output = output;
        request.distance = distance;
        request.frames = render->count("--frames") ? std::optional(frames) : std::nullopt;
        request.chunk = render->count("--chunk") ? std::optional(chunk) : std::nullopt;
        request.skip_existing = skip_existing;
        request.distance_source = distance_source(*render, distance, depth);
        request.light = kLightModes.at(light);
        if (!float_type.empty()) {
            request.float_type = kFloatTypes.at(float_type);
        }
        request.settings = settings_from(render_controls);
        return request;
    }
    if (demo->parsed()) {
        demo_request.module = module;
        demo_request.settings = settings_from(demo_controls);
        return demo_request;
    }
    if (shapes->parsed()) {
        shapes_command.module = module;
        return shapes_command;
    }
    if (controls->parsed()) {
        return ControlsCommand{module};
    }
    about_command.module = module;
    return about_command;
}

}  // namespace cli
