#include <emmintrin.h>

#include "engine/bokeh_engine.h"
#include "scatter/grey_cells.h"

namespace {

// The sums of gather_plain with the four channels added two at a time. Each lane sees the same
// additions in the same order as its scalar twin, so both kernels round alike.
struct VectorSums {
    __m128d light01;
    __m128d light23;
    double weight;

    void reset() {
        light01 = _mm_setzero_pd();
        light23 = _mm_setzero_pd();
        weight = 0.0;
    }
    void add(const float* table, const uint16_t* pixel, const uint16_t* level_map) {
        light01 = _mm_add_pd(light01, _mm_set_pd(table[pixel[1]], table[pixel[0]]));
        light23 = _mm_add_pd(light23, _mm_set_pd(table[pixel[3]], table[pixel[2]]));
        weight += table[level_map[pixel[0]]];
    }
    void merge(const VectorSums& other) {
        light01 = _mm_add_pd(light01, other.light01);
        light23 = _mm_add_pd(light23, other.light23);
        weight += other.weight;
    }
    double value(int j) const {
        double lanes[4];
        _mm_storeu_pd(lanes, light01);
        _mm_storeu_pd(lanes + 2, light23);
        return j < 4 ? lanes[j] : weight;
    }
    void clear(int j) {
        const __m128d zero = _mm_setzero_pd();
        switch (j) {
            case 0:
                light01 = _mm_move_sd(light01, zero);
                break;
            case 1:
                light01 = _mm_unpacklo_pd(light01, zero);
                break;
            case 2:
                light23 = _mm_move_sd(light23, zero);
                break;
            case 3:
                light23 = _mm_unpacklo_pd(light23, zero);
                break;
            default:
                weight = 0.0;
                break;
        }
    }
};

scatter::GreyState<VectorSums> vector_state;
scatter::UpdatePlan<VectorSums> vector_plan;

}  // namespace

void BokehEngine::gather_vector(KernelResult* result, int32_t restart) {
    scatter::gather_grey(*this, result, restart, vector_state, vector_plan);
}
