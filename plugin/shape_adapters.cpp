// The plug-in object's shape catalogue and shape image, over the shape library.
#include <cstring>

#include "platform/allocation.h"
#include "plugin/bokeh_plugin.h"
#include "shapes/shape_catalogue.h"
#include "shapes/shape_loader.h"

void BokehPlugin::list_shape_folders(char* choice_string, int* preferred_position) {
    shape_count = ::list_shape_folders(pattern_folder, preferred_shape_name, shape_names,
                                       choice_string, preferred_position);
}

void BokehPlugin::load_shape_image(const char* path) {
    shapes::ShapeFile file;
    std::memcpy(file.path, shape_path, sizeof file.path);
    file.height = shape_height;
    file.width = shape_width;
    file.samples_per_pixel = samples_per_pixel;
    file.bits_per_sample = bits_per_sample;
    file.rowbytes = shape_rowbytes;
    shapes::load_shape_image(path, file, shape_image);
    std::memcpy(shape_path, file.path, sizeof shape_path);
    shape_height = file.height;
    shape_width = file.width;
    samples_per_pixel = file.samples_per_pixel;
    bits_per_sample = file.bits_per_sample;
    shape_rowbytes = file.rowbytes;
}

void BokehPlugin::release_shape_image(PF_InData* in_data, PF_ParamDef* iris_layer_param) {
    if (iris_layer_enabled && iris_layer_marker) {
        // The image is then the Iris Layer's pixels, which the host lent and takes back.
        in_data->inter.checkin_param(in_data->effect_ref, iris_layer_param);
        shape_image = nullptr;
        return;
    }
    platform::release_array(shape_image);
}
