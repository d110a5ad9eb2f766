// Where a picture's pixels lie in the frame the effect renders. A file stores the pixels of its
// data window and shows its display window; the two may differ (a crop, or overscan around the
// display). The effect renders one rectangle, the frame, that holds both, with the stored
// pixels at their own coordinates and empty pixels (all channels 0) elsewhere; the output
// stores the same windows again.
//
// Coordinates are the file's own pixel coordinates; a window's origin may be negative.
#ifndef QB_CLI_FRAME_GEOMETRY_H
#define QB_CLI_FRAME_GEOMETRY_H

#include "host/world.h"
#include "session/render_settings.h"

namespace cli {

struct PixelWindow {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool operator==(const PixelWindow&) const = default;
};

// The smallest window holding both.
PixelWindow union_of(const PixelWindow& a, const PixelWindow& b);

// The window at 1/`factor` resolution: its edges divided by `factor`, rounded outward, so that
// every pixel it touched keeps a pixel.
PixelWindow reduced(const PixelWindow& window, int factor);

// The window grown so that its edges fall on multiples of `factor`: reduced by `factor`, its
// pixels are whole blocks of the full-resolution frame.
PixelWindow aligned(const PixelWindow& window, int factor);

struct FrameGeometry {
    PixelWindow frame;  // what the effect renders
    PixelWindow data;
    PixelWindow display;

    bool operator==(const FrameGeometry&) const = default;
};

// A picture without windows of its own: everything is the world.
FrameGeometry whole_world(int width, int height);

// The geometry at 1/`factor` resolution; `geometry.frame` must be aligned to `factor`.
FrameGeometry reduced(const FrameGeometry& geometry, int factor);

// A point given in display-window coordinates (0,0 at the display window's corner) in the
// coordinates of the frame's world.
session::PointXY frame_point(const FrameGeometry& geometry, const session::PointXY& point);

// Copies `layer`, whose pixels lie at `at` in the geometry's coordinates, into `frame_world`,
// whose pixels are `frame`; what falls outside the frame is left out. Both worlds are of one
// depth.
void place_in_frame(const host::World& layer, const PixelWindow& at, const PixelWindow& frame,
                    host::World& frame_world);

}  // namespace cli

#endif
