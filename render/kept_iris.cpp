#include "render/kept_iris.h"

#include "shapes/shape_catalogue.h"

namespace render {

KeptIris::Iris KeptIris::load(const char* folder, int max_effect) {
    if (still_holds(folder, max_effect)) {
        return kept();
    }
    release();
    // Stamped before they are read, so that a change made meanwhile shows at the next render.
    const std::optional<platform::FileStamp> folder_stamp = platform::file_stamp(folder);
    char chosen[platform::kPathBufferSize] = {};
    find_shape_size_file(folder, max_effect, chosen);
    if (chosen[0] == '\0') {
        return Iris{false, &file_, nullptr};
    }
    const std::optional<platform::FileStamp> file_stamp = platform::file_stamp(chosen);
    uint8_t* image = nullptr;
    shapes::load_shape_image(chosen, file_, image);
    image_ = platform::OwnedArray<uint8_t>::adopt(image);
    if (image_ && folder_stamp && file_stamp) {
        source_ = Source{folder, max_effect, chosen, *folder_stamp, *file_stamp};
    }
    return kept();
}

void KeptIris::release() {
    source_.reset();
    image_.reset();
    file_ = shapes::ShapeFile{};
}

bool KeptIris::still_holds(const char* folder, int max_effect) const {
    return source_ && image_ && source_->folder == folder && source_->max_effect == max_effect &&
           platform::file_stamp(folder) == source_->folder_stamp &&
           platform::file_stamp(source_->path.c_str()) == source_->file_stamp;
}

}  // namespace render
