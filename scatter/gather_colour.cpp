// The colour kernel: each colour channel is weighted by its own stamp plane, so a colour iris
// tints the light it spreads. Plane A (stamp_planes[1]) weights the alpha and the first colour
// channel and the weight sum, plane B the second colour channel, plane C the third.
#include <cstddef>

#include "engine/bokeh_engine.h"
#include "scatter/gather_walk.h"
#include "scatter/update_plan.h"

namespace {

enum Plane { kPlaneA, kPlaneB, kPlaneC, kPlanes };

struct ColourSums {
    double light[4];
    double weight;
    // Per plane, the weight of its cells that lie in the frame.
    int32_t inside[kPlanes];
    // Each channel's pixels counted under the cells of the plane that weights it.
    scatter::LitCount lit;

    void reset() {
        light[0] = light[1] = light[2] = light[3] = 0.0;
        weight = 0.0;
        inside[kPlaneA] = inside[kPlaneB] = inside[kPlaneC] = 0;
        lit = scatter::LitCount{};
    }

    // A sum that nothing feeds is exactly 0; what it still holds is the rounding of the steps
    // that took its light away.
    void drop_residue() {
        for (int k = 0; k < scatter::kLevelsPerPixel; ++k) {
            if (!lit.feeds(k)) {
                light[k] = 0.0;
            }
        }
        constexpr int kWeight = 4;
        if (!lit.feeds(kWeight)) {
            weight = 0.0;
        }
    }
};

// Kept between calls; a call works on a local copy so that its additions stay in registers.
ColourSums colour_sums;

class ColourCells {
  public:
    explicit ColourCells(const BokehEngine& e)
        : e_(e),
          planes_{e.stamp_planes[1], e.stamp_planes[2], e.stamp_planes[3]},
          counting_(scatter::updates_along_rows(e)),
          sums_(colour_sums) {}

    void reset() { sums_.reset(); }
    void add_off(int32_t from, int32_t to) {
        for (int p = 0; p < kPlanes; ++p) {
            for (int32_t c = from; c < to; ++c) {
                off_[p] += planes_[p][c];
            }
        }
    }
    void add_full(std::ptrdiff_t pixel, int32_t cell) {
        for (int p = 0; p < kPlanes; ++p) {
            add(p, pixel, planes_[p][cell], 0);
        }
    }
    void add_leaving(std::ptrdiff_t pixel, int32_t old_cell) {
        for (int p = 0; p < kPlanes; ++p) {
            add(p, pixel, 0, planes_[p][old_cell]);
        }
    }
    void add_change(std::ptrdiff_t pixel, int32_t new_cell, int32_t old_cell) {
        for (int p = 0; p < kPlanes; ++p) {
            add(p, pixel, planes_[p][new_cell], planes_[p][old_cell]);
        }
    }

    // Every result is divided by the in-frame weight of the plane that weighted it, so that a
    // uniform area keeps its level under any colour iris.
    void finish(KernelResult* result) {
        if (counting_) {
            sums_.drop_residue();
        }
        colour_sums = sums_;
        const ColourSums& s = sums_;
        result->value[0] = normalised_by(kPlaneA, s.light[0]);
        result->value[1] = normalised_by(kPlaneA, s.light[1]);
        result->value[2] = normalised_by(kPlaneB, s.light[2]);
        result->value[3] = normalised_by(kPlaneC, s.light[3]);
        result->value[4] = normalised_by(kPlaneA, s.weight);
    }

  private:
    void add(int plane, std::ptrdiff_t index, uint8_t now, uint8_t before) {
        if (now == before) {
            return;
        }
        const float* table = scatter::photon_table(e_, now, before);
        const uint16_t* pixel = e_.Src_Data_sh + index;
        const int32_t presence = counting_ ? scatter::presence_change(now, before) : 0;
        ColourSums& s = sums_;
        switch (plane) {
            case kPlaneA:
                s.light[0] += table[pixel[0]];
                s.light[1] += table[pixel[1]];
                s.weight += table[e_.level_map[pixel[0]]];
                s.lit.add(0, pixel[0], presence);
                s.lit.add(1, pixel[1], presence);
                break;
            case kPlaneB:
                s.light[2] += table[pixel[2]];
                s.lit.add(2, pixel[2], presence);
                break;
            default:
                s.light[3] += table[pixel[3]];
                s.lit.add(3, pixel[3], presence);
                break;
        }
        s.inside[plane] += now - before;
    }

    // channel_norm is kept per stored plane; find which one `plane` reads.
    float norm_of(int plane) const {
        const std::ptrdiff_t plane_size =
            static_cast<std::ptrdiff_t>(e_.stamp_width) * e_.stamp_height;
        return e_.channel_norm[(planes_[plane] - e_.newPattern) / plane_size];
    }
    float normalised_by(int plane, double sum) const {
        return scatter::normalised(sum, norm_of(plane), off_[plane], sums_.inside[plane]);
    }

    const BokehEngine& e_;
    const uint8_t* planes_[kPlanes];
    const bool counting_;
    ColourSums sums_;
    int32_t off_[kPlanes] = {};
};

}  // namespace

void BokehEngine::gather_colour(KernelResult* result, int32_t restart) {
    ColourCells cells(*this);
    scatter::NoPlan no_plan;
    scatter::walk_stamp(*this, cells, scatter::gathers_incrementally(*this, restart), no_plan);
    cells.finish(result);
}
