// The block sums in vector instructions against the plain ones, on random records and lights:
// every lane adds the same exact products in the same order, so they must agree to the bit.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/cpu_features.h"
#include "scatter/block_sums.h"

namespace {

using scatter::BlockSummer;
using scatter::BlockTask;
using scatter::LightSums;
using scatter::LitCount;

constexpr int kBlock = 32;
constexpr int kRowPixels = 200;
constexpr int kRows = 9;

struct RandomBlock {
    std::vector<float> channel_light;
    std::vector<float> weight_light;
    std::vector<scatter::UpdateStep> steps;
    std::vector<scatter::PresenceStep> presence;

    RandomBlock(std::mt19937& rng, int step_count) {
        std::uniform_real_distribution<float> light(0.0f, 200.0f);
        std::bernoulli_distribution dark(0.3);
        channel_light.resize(static_cast<size_t>(kRowPixels) * kRows * 4);
        weight_light.resize(static_cast<size_t>(kRowPixels) * kRows);
        for (float& l : channel_light) {
            l = dark(rng) ? 0.0f : light(rng);
        }
        for (size_t p = 0; p < weight_light.size(); ++p) {
            weight_light[p] = channel_light[4 * p] != 0.0f ? 0.62f : 0.0f;
        }
        std::uniform_int_distribution<int> change(-255, 255);
        std::uniform_int_distribution<int> row(0, kRows - 1);
        std::uniform_int_distribution<int> column(0, kRowPixels - kBlock - 1);
        std::uniform_int_distribution<int> sign(-1, 1);
        for (int s = 0; s < step_count; ++s) {
            const int offset = row(rng) * kRowPixels + column(rng);
            steps.push_back({{static_cast<float>(change(rng)), static_cast<float>(change(rng)),
                              static_cast<float>(change(rng)), static_cast<float>(change(rng))},
                             offset});
            presence.push_back({{sign(rng), sign(rng), sign(rng), sign(rng)}, offset});
        }
    }

    BlockTask task(int count) const {
        return BlockTask{steps.data(),
                         steps.data() + steps.size(),
                         presence.data(),
                         presence.data() + presence.size(),
                         channel_light.data(),
                         weight_light.data(),
                         0,
                         count};
    }
};

struct Sums {
    LightSums changes[kBlock];
    LitCount lit[kBlock];
};

Sums sum_with(BlockSummer summer, const BlockTask& task) {
    Sums sums{};
    summer(task, sums.changes, sums.lit);
    return sums;
}

// The plain kernel and its vector twins, summing weights or leaving them out.
struct Summers {
    BlockSummer plain;
    std::vector<BlockSummer> vector;
};

Summers summers(bool weights) {
    Summers found{weights ? scatter::sum_block_plain : scatter::sum_block_plain_without_weights,
                  {}};
    if (platform::cpu_has_double_vectors()) {
        found.vector.push_back(weights ? scatter::sum_block_vector
                                       : scatter::sum_block_vector_without_weights);
    }
    if (platform::cpu_has_wide_double_vectors()) {
        found.vector.push_back(weights ? scatter::sum_block_wide
                                       : scatter::sum_block_wide_without_weights);
    }
    return found;
}

// Left out, the weights are 0 and nothing else changes.
TEST(BlockSums, VectorSumsEqualThePlainOnesToTheBit) {
    if (summers(true).vector.empty()) {
        GTEST_SKIP() << "the processor has no vector kernels";
    }
    std::mt19937 rng(41);
    for (int step_count : {0, 1, 7, 120}) {
        const RandomBlock block(rng, step_count);
        // Whole vectors, and every ragged end a block may have near the frame's right edge.
        for (int count = 1; count <= kBlock; ++count) {
            const Sums weighed = sum_with(scatter::sum_block_plain, block.task(count));
            for (const bool weights : {true, false}) {
                const Summers kernels = summers(weights);
                const Sums plain = sum_with(kernels.plain, block.task(count));
                for (BlockSummer summer : kernels.vector) {
                    const Sums vector = sum_with(summer, block.task(count));
                    for (int j = 0; j < count; ++j) {
                        SCOPED_TRACE(testing::Message()
                                     << step_count << " steps, " << count << " pixels, pixel " << j
                                     << ", weights " << weights);
                        for (int k = 0; k < 4; ++k) {
                            ASSERT_EQ(vector.changes[j].light[k], plain.changes[j].light[k]);
                            ASSERT_EQ(plain.changes[j].light[k], weighed.changes[j].light[k]);
                            ASSERT_EQ(vector.lit[j].channel[k], plain.lit[j].channel[k]);
                        }
                        ASSERT_EQ(vector.changes[j].weight, plain.changes[j].weight);
                        if (!weights) {
                            ASSERT_EQ(plain.changes[j].weight, 0.0);
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
