// The shape catalogue: one sub-folder of the `pattern` folder per iris shape, each holding the
// same shape at several sizes as TIFF files named by their size in pixels ("31.tif").
//
// Folder and file names are taken in byte-wise order, because stored "Iris Shape" values are
// positions in the listing and the file system gives no order of its own. Paths are built in
// 512-byte buffers; a path that would not fit is never built half-way.
#ifndef QB_SHAPES_SHAPE_CATALOGUE_H
#define QB_SHAPES_SHAPE_CATALOGUE_H

// The "Iris Shape" choice string holds at most this many characters before its terminator.
inline constexpr int kShapeChoiceLimit = 511;

// Chooses, in `folder`, the TIFF file of `requested_size` pixels or the next larger size, and
// writes its path into `chosen_path` (512 bytes, cleared by the caller). The path is left empty
// when every file is smaller or the folder holds none. Returns 0.
int find_shape_size_file(const char* folder, int requested_size, char* chosen_path);

#endif
