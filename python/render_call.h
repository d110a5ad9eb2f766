// One call of quillbloom.render: arrays in, a new array out, through one effect session.
//
// - The pictures are copied into worlds with the GIL held; the effect renders with it released,
//   so that renders in several Python threads run at once.
// - The progress callable, the check for Ctrl-C and any Python exception they raise run with the
//   GIL taken back, on the rendering thread; an exception cancels the render at once and is
//   raised again, as it was, once the render has stopped.
// - Bad arguments raise ValueError, the effect's failures RuntimeError, running out of memory
//   MemoryError, each with the session's or the effect's own message.
#ifndef QB_PYTHON_RENDER_CALL_H
#define QB_PYTHON_RENDER_CALL_H

#include <pybind11/numpy.h>

#include <optional>

#include "session/render_settings.h"

namespace qb_python {

namespace py = pybind11;

struct RenderCall {
    py::array image;
    std::optional<py::array> distance;
    session::RenderSettings settings;
    std::optional<int> threads;  // none: as many as OpenMP would use
    py::object progress;         // None: no reports
};

py::array render(const RenderCall& call);

}  // namespace qb_python

#endif
