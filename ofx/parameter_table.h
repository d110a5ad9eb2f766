// The plug-in's parameters as one table: the effect's own controls under their own names, with
// the ranges, defaults and menus the module declared, then the controls only the bundle has (a
// focus point and the Depth input's conventions). The describe action defines the table and the
// render reads the values back by the same names, so no name is typed twice.
#ifndef QB_OFX_PARAMETER_TABLE_H
#define QB_OFX_PARAMETER_TABLE_H

#include <string>
#include <vector>

#include "session/effect_declarations.h"

namespace qb_ofx {

inline constexpr const char kBlurOpacity[] = "Blur Opacity";
inline constexpr const char kUseFocusPoint[] = "Use Focus Point";
inline constexpr const char kFocusPoint[] = "Focus Point";
inline constexpr const char kDepthGroup[] = "Depth Input";
inline constexpr const char kDepthChannel[] = "Depth Channel";
inline constexpr const char kWhiteIsNear[] = "White Is Near";
inline constexpr const char kDepthInSceneUnits[] = "Depth In Scene Units";
inline constexpr const char kNearPlane[] = "Near Plane";
inline constexpr const char kFarPlane[] = "Far Plane";

enum class ParamKind { kChoice, kDouble, kInteger, kBoolean, kPoint, kGroup };

struct ParamEntry {
    std::string name;  // also its label and script name
    ParamKind kind = ParamKind::kDouble;
    std::string hint;
    std::string parent;  // the group it sits in; empty: none
    double default_value = 0.0;
    double min = 0.0;  // valid range; display range below
    double max = 0.0;
    double display_min = 0.0;
    double display_max = 0.0;
    int digits = 0;
    std::vector<std::string> options;  // choices, in menu order
    std::string enabled_by;            // a boolean that must be on for this to count
};

std::vector<ParamEntry> parameter_table(const session::EffectDeclarations& declarations);

}  // namespace qb_ofx

#endif
