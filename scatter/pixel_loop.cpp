#include "engine/bokeh_engine.h"

int32_t BokehEngine::run_pix_loop() {
    return fail(99, "(run_pix_loop): the scatter renderer is not built yet");
}
