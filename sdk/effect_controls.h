// The names the effect declares its controls under, and the option files beside the module that
// change which controls it declares. The module declares its controls by these names and a host
// that drives it sets them by the same names, so each is written here once; they are the texts
// users see and projects store, so they keep their spelling.
#ifndef QB_SDK_EFFECT_CONTROLS_H
#define QB_SDK_EFFECT_CONTROLS_H

namespace effect_controls {

inline constexpr const char kIrisShape[] = "Iris Shape";
inline constexpr const char kIrisLayer[] = "Iris Layer";
inline constexpr const char kDistanceLayer[] = "Distance Layer";
inline constexpr const char kFocusHere[] = "Focus Here";
inline constexpr const char kFocusDistance[] = "On-Focus Distance";
inline constexpr const char kBokehAmount[] = "Bokeh Amount";
inline constexpr const char kHardness[] = "Hardness";
inline constexpr const char kBrightness[] = "Brightness";
inline constexpr const char kPreviewGroup[] = "Preview";
inline constexpr const char kPreviewOnly[] = "Preview Only";
inline constexpr const char kPreviewPoint[] = "Preview Point";
inline constexpr const char kPreviewSize[] = "Preview Size";
inline constexpr const char kPreviewQuality[] = "Preview Quality";
inline constexpr const char kSettingsGroup[] = "Settings";
inline constexpr const char kQuality[] = "Quality";
inline constexpr const char kDistancePrecision[] = "Distance Precision";
inline constexpr const char kAlphaBokeh[] = "Alpha bokeh";

// Option files: empty files of these names in the plug-in folder. The first blurs the opacity as
// well as the colours; the second adds the "Alpha bokeh" control; the third keeps the gather to
// its plain kernels; the last turns on the engine's small-disc handling.
inline constexpr const char kAlphaBokehOption[] = "alpha_boke";
inline constexpr const char kMoreParamsOption[] = "more_param";
inline constexpr const char kNoSimdOption[] = "no_simd";
inline constexpr const char kUseMicroOption[] = "use_micro";

}  // namespace effect_controls

#endif
