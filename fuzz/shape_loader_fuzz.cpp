// The iris shape loader on arbitrary files: TIFF headers, tags, strips and compression as a
// damaged or hostile shape library would hold them. A load must end in a whole image or none.
#include <cstdint>
#include <cstdlib>

#include "fuzz/scratch_file.h"
#include "host/desktop_recorder.h"
#include "platform/allocation.h"
#include "shapes/shape_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::write_scratch_file(".tif", data, size);
    shapes::ShapeFile file;
    uint8_t* image = nullptr;
    shapes::load_shape_image(path.c_str(), file, image);
    if (image != nullptr) {
        if (file.rowbytes < static_cast<int>(file.width) * shapes::kShapeBytesPerPixel) {
            std::abort();  // rows shorter than their pixels
        }
        // Every row the loader claims is there must lie inside the image it allocated.
        const std::size_t bytes = static_cast<std::size_t>(file.rowbytes) * file.height;
        volatile uint8_t last = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            last = image[i];
        }
        (void)last;
        platform::release_array(image);
    }
    if (platform::live_allocations() != 0) {
        std::abort();  // the loader kept something of a failed load
    }
    host::desktop_record().message_boxes.clear();
    return 0;
}
