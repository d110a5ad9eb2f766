#include "engine/bokeh_engine.h"
#include "scatter/grey_cells.h"

namespace {

struct PlainSums {
    double light[4];
    double weight;

    void reset() {
        light[0] = light[1] = light[2] = light[3] = 0.0;
        weight = 0.0;
    }
    void add(const float* table, const uint16_t* pixel, const uint16_t* level_map) {
        light[0] += table[pixel[0]];
        light[1] += table[pixel[1]];
        light[2] += table[pixel[2]];
        light[3] += table[pixel[3]];
        weight += table[level_map[pixel[0]]];
    }
    void merge(const PlainSums& other) {
        for (int k = 0; k < 4; ++k) {
            light[k] += other.light[k];
        }
        weight += other.weight;
    }
    double value(int j) const { return j < 4 ? light[j] : weight; }
    void clear(int j) { (j < 4 ? light[j] : weight) = 0.0; }
};

scatter::GreyState<PlainSums> plain_state;
scatter::UpdatePlan<PlainSums> plain_plan;

}  // namespace

void BokehEngine::gather_plain(KernelResult* result, int32_t restart) {
    scatter::gather_grey(*this, result, restart, plain_state, plain_plan);
}
