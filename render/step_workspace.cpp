#include "render/step_workspace.h"

#include <algorithm>
#include <cstddef>

#include "platform/allocation.h"
#include "platform/parallel_rows.h"
#include "sdk/effect_messages.h"

namespace render {
namespace {

template <class T>
bool take(T*& field, std::size_t count, const char* text, const char** failure_text) {
    field = platform::allocate_array<T>(count);
    if (field == nullptr) {
        *failure_text = text;
        return false;
    }
    return true;
}

}  // namespace

StepWorkspace::~StepWorkspace() {
    release();
}

void StepWorkspace::release() {
    platform::release_array(row_work);
    platform::release_array(row_distances);
    platform::release_array(column_distances);
    platform::release_array(row_dirty);
    platform::release_array(mask_scratch);
    platform::release_array(column_scratch_);
    platform::release_array(column_sums);
    sum_rows = 0;
}

bool StepWorkspace::allocate(int32_t width, int32_t height, const char** failure_text) {
    release();
    const auto rows = static_cast<std::size_t>(height);
    const auto columns = static_cast<std::size_t>(width);
    sum_rows = platform::row_threads();
    width_ = width;
    height_ = height;
    const auto threads = static_cast<std::size_t>(sum_rows);
    const bool complete =
        take(row_work, rows, QB_RENDER_MESSAGE "not enough memory for row work", failure_text) &&
        take(row_distances, rows, QB_RENDER_MESSAGE "not enough memory for row distances",
             failure_text) &&
        take(column_distances, columns, QB_RENDER_MESSAGE "not enough memory for column distances",
             failure_text) &&
        take(row_dirty, rows, QB_RENDER_MESSAGE "not enough memory for row marks", failure_text) &&
        take(mask_scratch, rows * columns, QB_RENDER_MESSAGE "not enough memory for mask scratch",
             failure_text) &&
        take(column_scratch_, static_cast<std::size_t>(thread_entries()) * threads + threads,
             QB_RENDER_MESSAGE "not enough memory for column scratch", failure_text) &&
        take(column_sums, columns * static_cast<std::size_t>(sum_rows),
             QB_RENDER_MESSAGE "not enough memory for column sums", failure_text);
    if (!complete) {
        release();
    }
    return complete;
}

}  // namespace render
