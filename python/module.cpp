// The Python module `quillbloom`: the effect rendered on numpy arrays, through the same effect
// session as the tool, so that the same pixels and controls give the same result.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "plugin/effect_entry.h"
#include "python/control_table.h"
#include "python/plugin_folder.h"
#include "python/render_call.h"
#include "session/effect_declarations.h"

namespace {

namespace py = pybind11;
using qb_python::effect_module_path;

constexpr const char kModuleDoc[] = R"(Depth of field ("bokeh") on numpy arrays.

render() blurs a picture by a distance map as the command-line tool `quillbloom render` does,
with the same controls; shapes() and controls() list what the effect declares. The effect
module and its iris shapes come from the folder `quillbloom` beside this module, or from the
folder QUILLBLOOM_PLUGIN_DIR names.)";

constexpr const char kRenderDoc[] = R"(Renders the depth of field of a picture; returns a new array.

image: H x W x 3 or H x W x 4 array of uint8, uint16 (0..65535) or float32 (scene-linear
    light, colour not multiplied by alpha). RGB is opaque. Views and strided arrays are fine;
    the array is never changed.
distance: H x W array (or H x W x C: the first channel) of uint8, uint16, or float (0..1),
    the Distance Layer: 255 (or 1.0) is near. None: no distance map; every pixel is blurred
    alike.
focus: On-Focus Distance, the distance value that stays sharp. None: the effect's default,
    or the distance under focus_at.
focus_at: (x, y) in image pixels: the focus is the distance there, as a click on Focus Here
    picks it (the tool's --focus-at). Needs distance.
amount: Bokeh Amount, the blur's size.
shape: Iris Shape, by name; shapes() lists them.
hardness: Hardness of the highlights' light curve.
brightness: Brightness of the highlights.
quality: Quality, by menu text or number (controls() lists the entries).
precision: Distance Precision.
alpha_bokeh: a value spreads alpha with the bokeh and sets Alpha bokeh to it (the tool's
    --alpha-bokeh=VALUE). None: off.
downsample: N renders at 1/N resolution, as a host's draft resolution does: the picture and
    the distance map are reduced by the means of N x N blocks and the result is
    ceil(H / N) x ceil(W / N).
threads: how many threads this render uses. None: as many as OpenMP would.
progress: called with the fraction done (0..1) from the rendering thread while it renders;
    an exception it raises stops the render and is raised by render().

The GIL is released while the effect renders, so renders in several threads run at once.
Ctrl-C stops a render with KeyboardInterrupt.

Raises ValueError for a bad argument (shape, type, size, a value out of range, an unknown
iris shape or quality), MemoryError when memory runs out, RuntimeError when the effect fails,
each with the effect's own message.)";

using MenuChoice = std::variant<std::string, int>;

// The tool's text for a menu choice: its entry's text, or its number.
std::optional<std::string> choice_text(const std::optional<MenuChoice>& choice) {
    if (!choice) {
        return std::nullopt;
    }
    if (const int* number = std::get_if<int>(&*choice)) {
        return std::to_string(*number);
    }
    return std::get<std::string>(*choice);
}

py::array render(const py::array& image, const std::optional<py::array>& distance,
                 std::optional<double> focus, std::optional<std::pair<double, double>> focus_at,
                 double amount, std::optional<std::string> shape, double hardness,
                 double brightness, const std::optional<MenuChoice>& quality, double precision,
                 std::optional<double> alpha_bokeh, int downsample, std::optional<int> threads,
                 py::object progress) {
    qb_python::RenderCall call;
    call.image = image;
    call.distance = distance;
    session::RenderSettings& settings = call.settings;
    settings.focus = focus;
    if (focus_at) {
        settings.focus_at = session::PointXY{focus_at->first, focus_at->second};
    }
    settings.amount = amount;
    settings.shape = std::move(shape);
    settings.hardness = hardness;
    settings.brightness = brightness;
    settings.quality = choice_text(quality);
    settings.precision = precision;
    settings.alpha_bokeh = alpha_bokeh.has_value();
    settings.alpha_bokeh_value = alpha_bokeh;
    settings.downsample = downsample;
    call.threads = threads;
    call.progress = std::move(progress);
    return qb_python::render(call);
}

// The menu entry at a 1-based position; none when the module names no default.
std::optional<std::string> default_entry(const session::MenuDeclaration& menu) {
    if (menu.default_position < 1 ||
        menu.default_position > static_cast<int>(menu.entries.size())) {
        return std::nullopt;
    }
    return menu.entries[static_cast<std::size_t>(menu.default_position - 1)];
}

std::vector<std::string> shapes() {
    return session::learn_declarations(quillbloom_effect_main, effect_module_path())
        .iris_shape.entries;
}

py::list controls() {
    return qb_python::control_table(
        session::declared_controls(quillbloom_effect_main, effect_module_path()));
}

}  // namespace

PYBIND11_MODULE(quillbloom, python_module) {
    python_module.doc() = kModuleDoc;
    python_module.attr("__version__") = QB_VERSION;
    // The defaults shown by help() are the module's own declarations, never typed here.
    const session::EffectDeclarations declared =
        session::learn_declarations(quillbloom_effect_main, effect_module_path());
    python_module.def("render", &render, kRenderDoc, py::arg("image"),
                      py::arg("distance") = py::none(), py::kw_only(),
                      py::arg("focus") = py::none(), py::arg("focus_at") = py::none(),
                      py::arg("amount") = declared.bokeh_amount.default_value,
                      py::arg("shape") = default_entry(declared.iris_shape),
                      py::arg("hardness") = declared.hardness.default_value,
                      py::arg("brightness") = declared.brightness.default_value,
                      py::arg("quality") = default_entry(declared.quality),
                      py::arg("precision") = declared.distance_precision.default_value,
                      py::arg("alpha_bokeh") = py::none(), py::arg("downsample") = 1,
                      py::arg("threads") = py::none(), py::arg("progress") = py::none());
    python_module.def(
        "shapes", &shapes,
        "The names of the iris shapes, in menu order, as `quillbloom shapes` lists them.");
    python_module.def(
        "controls", &controls,
        "The effect's controls in the module's order, as `quillbloom controls` lists them: "
        "one dict a control with name, kind, default, min and max (the valid range) and "
        "choices (a menu's entries); what a control does not have is None.");
}
