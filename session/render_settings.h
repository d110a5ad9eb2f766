// The effect's controls as a front end asks for them: each is optional, and a control left
// out keeps the default the module declared.
#ifndef QB_SESSION_RENDER_SETTINGS_H
#define QB_SESSION_RENDER_SETTINGS_H

#include <optional>
#include <string>

namespace session {

struct PointXY {
    double x = 0.0;
    double y = 0.0;
};

struct PreviewRequest {
    PointXY point;
    std::optional<double> size;
};

struct RenderSettings {
    std::optional<std::string> shape;            // "Iris Shape", by name
    std::optional<double> focus;                 // "On-Focus Distance"
    std::optional<PointXY> focus_at;             // "Focus Here", picked as a click would
    std::optional<double> amount;                // "Bokeh Amount"
    std::optional<double> hardness;              // "Hardness"
    std::optional<double> brightness;            // "Brightness"
    std::optional<PreviewRequest> preview;       // "Preview Only", "Preview Point", "Preview Size"
    std::optional<std::string> preview_quality;  // "Preview Quality", number or menu text
    std::optional<std::string> quality;          // "Quality", number or menu text
    std::optional<double> precision;             // "Distance Precision"
    bool alpha_bokeh = false;                    // the plug-in folder's alpha bokeh option
    std::optional<double> alpha_bokeh_value;     // "Alpha bokeh"
    int downsample = 1;                          // render at 1/N resolution
    // With downsample N, a resolution of M/N of the full picture's (hosts that render at any
    // scale); the tool's whole divisors keep 1.
    int downsample_numerator = 1;
};

}  // namespace session

#endif
