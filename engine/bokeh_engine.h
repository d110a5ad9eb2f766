// The bokeh engine: one pass renders every source pixel of one distance step with one disc.
//
// Principles shared by every operation here:
// - Stages return 1 for success and 0 for failure. A failing stage sets `error_code` and copies
//   a fixed text into `message`; nothing throws and nothing is retried.
// - Every buffer of a pass is allocated through platform::allocate_array by the stage that
//   fills it, and released by one of the two release operations (`free_pattern_buffers`,
//   `free_size_patterns`) before `render_bokeh` returns. A stage refuses to start while its
//   buffer is still held.
// - The caller owns the source, iris, blur map, row mask, accumulator and weight buffers; the
//   engine only reads the first four and adds into the last two.
// - One pass runs at a time, started from the caller's thread. Inside a pass, pre-processing
//   and the scatter loop spread their rows over as many threads as OpenMP would use
//   (omp_set_num_threads / OMP_NUM_THREADS); each thread keeps its own kernel sums, and
//   progress is reported from the caller's thread alone, in row order. Nothing here is shared
//   between engines: two engines may run passes on two threads at once.
#ifndef QB_ENGINE_BOKEH_ENGINE_H
#define QB_ENGINE_BOKEH_ENGINE_H

#include <cstdint>
#include <functional>

#include "engine/channel_levels.h"
#include "engine/light_curve.h"

// The five values a gather kernel answers for one output pixel: the light sums of the four
// source channels, then the weight sum.
struct KernelResult {
    float value[5];
};

class BokehEngine {
  public:
    // The caller's answer to `done` of `total`; non-zero stops the pass.
    using ProgressFn = std::function<int(int done, int total)>;

    static constexpr int kMessageSize = 512;
    static constexpr int kSizeSlots = 270;
    static constexpr int kMaxStampRows = 1024;
    static constexpr int kStampValues = 256;
    static constexpr int kLevelMapSize = 65536;
    static constexpr double kDefaultPatternSize = 21.0;

    BokehEngine();
    BokehEngine(const BokehEngine&) = delete;
    BokehEngine& operator=(const BokehEngine&) = delete;
    ~BokehEngine();

    // Setters, in the order the render driver calls them for every pass.
    void set_alpha_scale(float scale, float* weight_buffer, int32_t unused);
    void set_options(int32_t simd_allowed, int32_t micro);
    void set_region(const uint8_t* map, int32_t map_rowbytes, const int32_t* rows);
    void set_run_parameters(double size, double unused1, double contrast, double blend,
                            double scale, double unused2);
    void set_source_frame(int32_t unused1, int32_t unused2, int32_t frame_width,
                          int32_t frame_height, const uint8_t* pixels8, int32_t rowbytes8,
                          const uint16_t* pixels16, int32_t stride16, int32_t level_count);
    void set_iris_image(int32_t alpha_first, int32_t bytes_per_pixel, int32_t image_width,
                        int32_t image_height, const uint8_t* pixels, int32_t rowbytes);
    void set_accumulator(int32_t unused1, int32_t unused2, float* buffer, int32_t rowbytes,
                         int32_t unused_flag);

    void render_bokeh(double hardness_value, double brightness_value, uint16_t quality_value);
    int32_t check_leaks() const;
    void end_run_reset();

    void free_pattern_buffers();
    void free_size_patterns();

    // Stages of a pass, in the order render_bokeh runs them. Inputs that would make a stage
    // write past a buffer or table (a source stride shorter than a row, an empty iris, a stamp
    // taller than the span tables, more levels than the level map) are refused with the codes
    // of engine/engine_failures.h instead.
    int32_t pre_process_RGB_cf();
    // Failure is left in error_code and shown by null buffers.
    void pack_pattern_alpha();
    void measure_pattern();
    // The odd cell count of a stamp of `diameter`; a diameter not above 0 counts as 0.
    int32_t odd_diameter(double diameter) const;
    // The same rule for a caller that plans a pass before `set_options` has given the engine
    // the pass's micro flag.
    static int32_t odd_diameter_rule(double diameter, int32_t micro);
    int32_t prepare_pattern();
    int32_t resize_pattern(int32_t size_index);
    int32_t smear_micro_pattern_if(int32_t size_index);
    int32_t new_pattern(int32_t size_index);
    // The light each level carries (`level_light`), the middle level's light and the level
    // map. The scatter loop weights that light by the stamp's cells as it gathers, so no table
    // of light per pair of cell values is built.
    int32_t make_photon(double hardness_value, double brightness_value);
    int32_t run_pix_loop();

    // Converts the whole frame into light_rows, for the gather kernels called one pixel at a
    // time (scatter::PixelKernels); 0 when they cannot be allocated.
    int32_t make_light_rows();

    // Sets `error_code` and copies `text` into `message`; returns 0 so a stage can
    // `return fail(...)`.
    int32_t fail(int32_t code, const char* text);

    // Status
    int32_t error_code = 0;
    float mid_light = 0.0f;
    char message[kMessageSize] = {};
    ProgressFn progress_fn;

    // Source frame
    const uint8_t* src8 = nullptr;
    const uint16_t* src16 = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t src8_rowbytes = 0;
    int32_t src16_stride = 0;
    int32_t levels = kLevels8;

    // The iris image and the packed pattern
    int32_t iris_alpha_first = 0;
    int32_t pattern_channels = 0;
    int32_t iris_width = 0;
    int32_t iris_height = 0;
    const uint8_t* iris_pixels = nullptr;
    int32_t iris_rowbytes = 0;
    uint8_t* Pattern = nullptr;
    int32_t* row_first = nullptr;
    int32_t* row_last = nullptr;
    int32_t use_micro = 0;

    // Size table and the pass's stamp
    float* m_mapzp[kSizeSlots] = {};
    int32_t size_width[kSizeSlots] = {};
    int32_t size_height[kSizeSlots] = {};
    double size_diameter[kSizeSlots] = {};
    uint8_t* newPattern = nullptr;
    int32_t stamp_width = 0;
    int32_t stamp_height = 0;
    int32_t stamp_half_width = 0;
    int32_t stamp_half_height = 0;
    uint8_t* stamp_planes[4] = {};
    int32_t span_first[kMaxStampRows] = {};
    int32_t span_end[kMaxStampRows] = {};
    int32_t full_first[kMaxStampRows] = {};
    int32_t full_end[kMaxStampRows] = {};
    int32_t has_holes = 0;
    float channel_norm[4] = {};
    int32_t value_count = 0;
    int32_t stamp_values[kStampValues] = {};
    int32_t value_index[kStampValues] = {};
    uint16_t quality = 0;
    double pattern_size = kDefaultPatternSize;

    // Light and photons
    double hardness = 0.0;
    double brightness = 0.0;
    double light_contrast = 1.5;
    double light_scale = 1.0;
    double blend_scale = 1.0;
    // The source's light per level for the pass's unblurred rows.
    LightTables light_tables;
    uint16_t mid_level = 0;
    uint16_t level_map[kLevelMapSize] = {};
    // Per level, the photon light P rounded to float32: the light one source pixel of that level
    // carries, which the scatter loop weights by the stamp's cells.
    float level_light[kLevelMapSize] = {};

    // Pass region and scatter buffers
    const uint8_t* blur_map = nullptr;
    int32_t blur_map_rowbytes = 0;
    const int32_t* row_mask = nullptr;
    float* accum = nullptr;
    int32_t accum_rowbytes = 0;
    float alpha_scale = 1.0f;
    float* weight_buf = nullptr;
    int32_t use_simd = 0;
    uint16_t* Src_Data_sh = nullptr;
    // Src_Data_sh as photon light for the gather operations called one pixel at a time: rows
    // of `width` pixels with `light_pad` pixels of no light on either side; the four channel
    // lights of every pixel, then the weight light of every pixel (scatter/light_rows.h).
    // Freed with Src_Data_sh.
    float* light_rows = nullptr;
    int32_t light_pad = 0;

    // Position of the output pixel the scatter loop is at; the kernels read it.
    int32_t cur_x = 0;
    int32_t cur_y = 0;
};

#endif
