// The alpha levels a set of prepared pixels holds, learnt a row at a time, by any number of
// threads at once: the one level every lit pixel has, where there is one, and whether some pixel
// is unlit (level 0). A photograph's alpha is usually one level, and a pass that knows so sums
// its alpha from its stamp alone.
#ifndef QB_ENGINE_ALPHA_LEVELS_H
#define QB_ENGINE_ALPHA_LEVELS_H

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

class AlphaLevels {
  public:
    static constexpr int32_t kNone = -1;   // no lit pixel noted
    static constexpr int32_t kMixed = -2;  // lit pixels of more than one level

    AlphaLevels() = default;
    // Copied as a value, which it is once no thread notes rows any more.
    AlphaLevels(const AlphaLevels& other) : level_(other.level()), unlit_(other.unlit()) {}
    AlphaLevels& operator=(const AlphaLevels& other) {
        level_.store(other.level());
        unlit_.store(other.unlit());
        return *this;
    }

    // Notes the alpha levels of `pixels` pixels of four levels each, alpha first.
    void note_row(const uint16_t* levels, int32_t pixels) {
        if (mixed()) {
            return;  // nothing a row holds changes the answer
        }
        const RowAlpha row = row_alpha(levels, pixels);
        if (row.unlit) {
            unlit_.store(true, std::memory_order_relaxed);
        }
        if (row.most == 0) {
            return;
        }
        int32_t seen = kNone;
        if (row.least_lit != row.most ||
            (!level_.compare_exchange_strong(seen, row.most) && seen != row.most)) {
            level_.store(kMixed, std::memory_order_relaxed);
        }
    }

    // The level of every lit pixel noted, or kNone or kMixed.
    int32_t level() const { return level_.load(); }
    bool mixed() const { return level_.load(std::memory_order_relaxed) == kMixed; }
    bool unlit() const { return unlit_.load(); }

  private:
    static constexpr int32_t kLevelsPerPixel = 4;

    struct RowAlpha {
        uint16_t least_lit;  // 0 when no pixel is lit
        uint16_t most;
        bool unlit;
    };

    // Three running extremes and no branch, so that the loop is vectorised: an unlit pixel's
    // level less one wraps to the top, where it never is the least.
    static RowAlpha row_alpha(const uint16_t* levels, int32_t pixels) {
        uint16_t least_lit_less_one = UINT16_MAX;
        uint16_t least = UINT16_MAX;
        uint16_t most = 0;
        for (int32_t x = 0; x < pixels; ++x) {
            const uint16_t alpha = levels[static_cast<std::ptrdiff_t>(x) * kLevelsPerPixel];
            least_lit_less_one =
                std::min(least_lit_less_one, static_cast<uint16_t>(alpha - uint16_t{1}));
            least = std::min(least, alpha);
            most = std::max(most, alpha);
        }
        return {static_cast<uint16_t>(least_lit_less_one + 1), most, pixels > 0 && least == 0};
    }

    std::atomic<int32_t> level_{kNone};
    std::atomic<bool> unlit_{false};
};

#endif
