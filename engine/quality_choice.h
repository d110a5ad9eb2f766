// The Quality choices: what the menu shows and the value a pass receives, in one place. A pass's
// quality value is the 1-based position of its choice in the menu.
#ifndef QB_ENGINE_QUALITY_CHOICE_H
#define QB_ENGINE_QUALITY_CHOICE_H

#include <cstdint>

enum QualityChoice : uint16_t {
    kAutoSpeed = 1,
    kAutoQuality = 2,
    kLow = 3,
    kNormal = 4,
    kHigh = 5,
};

// The menu's entries in the order of the values above, joined with "|".
inline constexpr char kQualityMenu[] = "Auto (Speed)|Auto (Quality)|Low|Normal|High";
inline constexpr int16_t kQualityChoiceCount = kHigh;

#endif
