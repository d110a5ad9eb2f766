// The module's control names and the plug-in folder's option files, as a host that drives the
// module by name needs them: controls are set by the names the module declares.
#ifndef QB_SESSION_CONTROL_NAMES_H
#define QB_SESSION_CONTROL_NAMES_H

namespace session {

inline constexpr const char kIrisShape[] = "Iris Shape";
inline constexpr const char kDistanceLayer[] = "Distance Layer";
inline constexpr const char kFocusHere[] = "Focus Here";
inline constexpr const char kFocusDistance[] = "On-Focus Distance";
inline constexpr const char kBokehAmount[] = "Bokeh Amount";
inline constexpr const char kHardness[] = "Hardness";
inline constexpr const char kBrightness[] = "Brightness";
inline constexpr const char kPreviewOnly[] = "Preview Only";
inline constexpr const char kPreviewPoint[] = "Preview Point";
inline constexpr const char kPreviewSize[] = "Preview Size";
inline constexpr const char kPreviewQuality[] = "Preview Quality";
inline constexpr const char kQuality[] = "Quality";
inline constexpr const char kDistancePrecision[] = "Distance Precision";
inline constexpr const char kAlphaBokeh[] = "Alpha bokeh";

// The option files that the alpha bokeh settings stand for.
inline constexpr const char kAlphaBokehMarker[] = "alpha_boke";
inline constexpr const char kMoreParamsMarker[] = "more_param";

}  // namespace session

#endif
