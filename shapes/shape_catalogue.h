// The shape catalogue: one sub-folder of the `pattern` folder per iris shape, each holding the
// same shape at several sizes as TIFF files named by their size in pixels ("31.tif").
//
// Folder and file names are taken in byte-wise order, because stored "Iris Shape" values are
// positions in the listing and the file system gives no order of its own. Paths are built in
// 512-byte buffers; a path that would not fit is never built half-way.
#ifndef QB_SHAPES_SHAPE_CATALOGUE_H
#define QB_SHAPES_SHAPE_CATALOGUE_H

#include <cstdint>

#include "platform/file_system.h"

// The "Iris Shape" choice string holds at most this many characters before its terminator.
inline constexpr int kShapeChoiceLimit = 511;
inline constexpr int kMaxShapeFolders = 64;

// Lists the shape folders of `pattern_folder` into `names` (at most kMaxShapeFolders) and
// answers how many there are. `choices` (512 bytes, may be null) gets the names joined with
// "|"; `preferred_position` (may be null) the position of the folder named `preferred`, or -1.
// Only names the choice string can carry are listed, whether or not it was asked for, so that a
// position means the same folder wherever the listing is made.
int16_t list_shape_folders(const char* pattern_folder, const char* preferred,
                           char (*names)[platform::kPathBufferSize], char* choices,
                           int* preferred_position);

// Chooses, in `folder`, the TIFF file of `requested_size` pixels or the next larger size, and
// writes its path into `chosen_path` (512 bytes, cleared by the caller). The path is left empty
// when every file is smaller or the folder holds none. Returns 0.
int find_shape_size_file(const char* folder, int requested_size, char* chosen_path);

#endif
