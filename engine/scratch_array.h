// A stage-local buffer on the module's allocation path, released on every exit of the stage.
#ifndef QB_ENGINE_SCRATCH_ARRAY_H
#define QB_ENGINE_SCRATCH_ARRAY_H

#include <cstddef>

#include "platform/allocation.h"

template <class T>
class ScratchArray {
  public:
    explicit ScratchArray(std::size_t count) : data_(platform::allocate_array<T>(count)) {}
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;
    ~ScratchArray() { platform::release_array(data_); }

    bool allocated() const { return data_ != nullptr; }
    T* get() const { return data_; }
    T& operator[](std::size_t i) const { return data_[i]; }

    // Hands the buffer to a new owner, who must release it with platform::release_array.
    T* release() {
        T* const held = data_;
        data_ = nullptr;
        return held;
    }

  private:
    T* data_;
};

#endif
