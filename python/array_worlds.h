// Pictures between numpy arrays and the host's worlds, with the tool's channel levels: bytes as
// they are, 16-bit values (0..65535) scaled to the worlds' 0..32768 and back, float32 as
// straight scene-linear light cleaned of NaN and negative values. An RGB image is opaque.
//
// Arrays are read through C-ordered copies where they are views or strided, never changing
// their type: a type the effect does not take is refused with py::value_error, as is a shape it
// cannot render. Nothing here releases the GIL.
#ifndef QB_PYTHON_ARRAY_WORLDS_H
#define QB_PYTHON_ARRAY_WORLDS_H

#include <pybind11/numpy.h>

#include <memory>

#include "host/world.h"

namespace qb_python {

namespace py = pybind11;

// The sample type of an image, which its result keeps.
enum class Samples { k8, k16, kFloat };

struct ImageLayer {
    std::unique_ptr<host::World> world;
    Samples samples = Samples::k8;
    int channels = 0;  // 3 or 4
};

// An H x W x 3 or H x W x 4 array of uint8, uint16 or float32.
ImageLayer image_layer(const py::array& image);

// An H x W (or H x W x C, first channel) array: uint8 into an 8-bit world, uint16 into a 16-bit
// one, float (0..1) through the nearest 16-bit file level, as the tool reads a float file.
std::unique_ptr<host::World> distance_layer(const py::array& distance);

// A new array of `channels` channels of `samples` from `world`.
py::array image_array(const host::World& world, Samples samples, int channels);

}  // namespace qb_python

#endif
