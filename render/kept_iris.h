// The iris image of a render, kept for the next. Each render listed the iris folder, then read
// and decoded the chosen file again: 0.6 ms of an HD depth render that no helper thread could
// share. A render that asks for the same folder and size takes the kept image while neither the
// folder nor the file has changed on disk since it was read; otherwise it reads afresh.
#ifndef QB_RENDER_KEPT_IRIS_H
#define QB_RENDER_KEPT_IRIS_H

#include <cstdint>
#include <optional>
#include <string>

#include "platform/allocation.h"
#include "platform/file_system.h"
#include "shapes/shape_loader.h"

namespace render {

class KeptIris {
  public:
    struct Iris {
        bool found = false;                       // a file of the folder fits the size
        const shapes::ShapeFile* file = nullptr;  // what was read of it
        const uint8_t* image = nullptr;           // its pixels; null when it gave no image
    };

    // The iris of `max_effect` pixels or more in `folder`, valid until the next call or
    // release().
    Iris load(const char* folder, int max_effect);

    // Gives the kept image back.
    void release();

  private:
    // What the kept image was read from, as it stood before it was read.
    struct Source {
        std::string folder;
        int max_effect = 0;
        std::string path;
        platform::FileStamp folder_stamp;
        platform::FileStamp file_stamp;
    };

    bool still_holds(const char* folder, int max_effect) const;
    Iris kept() const { return Iris{true, &file_, image_.get()}; }

    std::optional<Source> source_;
    shapes::ShapeFile file_;
    platform::OwnedArray<uint8_t> image_;
};

}  // namespace render

#endif
