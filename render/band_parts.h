// A distance step's band of rows cut into one part a member of the team that prepares it. The
// member that extracts a part's rows grows and smooths their mask too: growth and smoothing read
// the rows extraction wrote, and a core reading another's freshly written rows waited longer
// than its share of the work took. A member reads another's rows only where growth and smoothing
// reach across a cut.
#ifndef QB_RENDER_BAND_PARTS_H
#define QB_RENDER_BAND_PARTS_H

#include <cstdint>

#include "platform/parallel_rows.h"
#include "render/span.h"

namespace render {

class BandParts {
  public:
    // `owners` holds an entry a part; the parts' first stage fills it.
    BandParts(Span rows, int parts, int32_t* owners)
        : rows_(rows), parts_(parts), owners_(owners) {}

    // The first stage: the parts go out as any stage's items do, so that a member late to the
    // team leaves its part to the others, and each part remembers who took it.
    template <class Work>
    void take(platform::RowTeam& team, Work work) const {
        team.for_each(0, parts_, [&](int thread, int32_t p) {
            owners_[p] = thread;
            work(part(p));
        });
    }

    // A later stage: each member works the parts it took, then waits for the rest of the team.
    template <class Work>
    void revisit(platform::RowTeam& team, Work work) const {
        for (int32_t p = 0; p < parts_; ++p) {
            if (owners_[p] == team.thread()) {
                work(part(p));
            }
        }
        team.meet();
    }

  private:
    Span part(int32_t p) const {
        const int64_t rows = rows_.end - rows_.first;
        return Span{rows_.first + static_cast<int32_t>(rows * p / parts_),
                    rows_.first + static_cast<int32_t>(rows * (p + 1) / parts_)};
    }

    const Span rows_;
    const int32_t parts_;
    int32_t* const owners_;
};

}  // namespace render

#endif
