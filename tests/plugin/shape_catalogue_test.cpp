// The shape folders behind "Iris Shape" and the choice of a shape file by size.
#include "shapes/shape_catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "plugin/bokeh_plugin.h"
#include "tests/plugin/plugin_folder.h"

namespace {

namespace fs = std::filesystem;

class ShapeCatalogueTest : public ::testing::Test {
  protected:
    ShapeCatalogueTest() {
        plugin_->first_call_init();
        std::snprintf(plugin_->pattern_folder, sizeof plugin_->pattern_folder, "%s",
                      folder_.pattern().c_str());
        fs::create_directories(folder_.pattern());
    }

    // Lists the catalogue and answers the choice string.
    std::string list(int* preferred = nullptr) {
        char choices[kPathBufferSize];
        std::memset(choices, 'x', sizeof choices);
        plugin_->list_shape_folders(choices, preferred);
        return choices;
    }

    qb_test::PluginFolder folder_;
    std::unique_ptr<BokehPlugin> plugin_ = std::make_unique<BokehPlugin>();
};

TEST_F(ShapeCatalogueTest, FoldersAreListedByteWiseAndFilesIgnored) {
    folder_.add_shape_folder("circle");
    folder_.add_shape_folder("06");
    folder_.add_shape_folder("Blade");
    folder_.touch("pattern/readme.txt");
    folder_.touch("pattern/01");
    int preferred = -5;
    EXPECT_EQ(list(&preferred), "06|Blade|circle");
    EXPECT_EQ(plugin_->shape_count, 3);
    EXPECT_STREQ(plugin_->shape_names[0], "06");
    EXPECT_STREQ(plugin_->shape_names[2], "circle");
    EXPECT_EQ(preferred, 0);
}

TEST_F(ShapeCatalogueTest, AMissingOrEmptyPatternFolderIsAnEmptyCatalogue) {
    int preferred = 0;
    EXPECT_EQ(list(&preferred), "");
    EXPECT_EQ(plugin_->shape_count, 0);
    EXPECT_EQ(preferred, -1);

    fs::remove_all(folder_.pattern());
    plugin_->shape_count = 9;
    EXPECT_EQ(list(&preferred), "");
    EXPECT_EQ(plugin_->shape_count, 0);
    EXPECT_EQ(preferred, -1);
}

TEST_F(ShapeCatalogueTest, OnlyTheFirstSixtyFourFoldersAreTaken) {
    for (int i = 0; i < 70; ++i) {
        folder_.add_shape_folder(std::to_string(100 + i));
    }
    const std::string choices = list();
    EXPECT_EQ(plugin_->shape_count, 64);
    EXPECT_STREQ(plugin_->shape_names[63], "163");
    EXPECT_EQ(choices.substr(choices.size() - 4), "|163");
}

TEST_F(ShapeCatalogueTest, TheChoiceStringStopsAtItsLimitAndTheCatalogueWithIt) {
    // 100-character names: five take 504 characters with their separators, a sixth would not fit.
    for (char c = 'a'; c <= 'h'; ++c) {
        folder_.add_shape_folder(std::string(100, c));
    }
    const std::string choices = list();
    EXPECT_EQ(choices.size(), 504u);
    EXPECT_EQ(plugin_->shape_count, 5);
    EXPECT_EQ(choices.substr(choices.size() - 100), std::string(100, 'e'));

    // The listing without a choice string holds the same folders, so positions agree.
    plugin_->shape_count = 0;
    plugin_->list_shape_folders();
    EXPECT_EQ(plugin_->shape_count, 5);
}

TEST_F(ShapeCatalogueTest, ANameThatWouldReadAsTwoChoicesIsLeftOut) {
    folder_.add_shape_folder("a|b");
    folder_.add_shape_folder("06");
    folder_.add_shape_folder("z");
    int preferred = -1;
    EXPECT_EQ(list(&preferred), "06|z");
    EXPECT_EQ(plugin_->shape_count, 2);
    EXPECT_EQ(preferred, 0);
}

class ShapeFileTest : public ::testing::Test {
  protected:
    ShapeFileTest() { fs::create_directories(shape_folder()); }

    fs::path shape_folder() const { return folder_.pattern() / "06"; }
    void add(const std::string& name) const { folder_.touch(fs::path("pattern/06") / name); }
    std::string choose(int size, const fs::path& folder) const {
        char path[kPathBufferSize] = {};
        EXPECT_EQ(find_shape_size_file(folder.c_str(), size, path), 0);
        return path;
    }
    std::string choose(int size) const { return choose(size, shape_folder()); }
    std::string in_folder(const std::string& name) const { return (shape_folder() / name); }

    qb_test::PluginFolder folder_;
};

TEST_F(ShapeFileTest, TheSmallestFileNotBelowTheRequestedSizeIsChosen) {
    for (const char* name : {"63.tif", "15.tif", "31.tif", "notes.txt", "99.tiff"}) {
        add(name);
    }
    EXPECT_EQ(choose(31), in_folder("31.tif"));
    EXPECT_EQ(choose(1), in_folder("15.tif"));
    EXPECT_EQ(choose(33), in_folder("63.tif"));
    EXPECT_EQ(choose(65), "");
}

TEST_F(ShapeFileTest, SizesReadAsTheCLibraryReadsANumber) {
    add("abc.tif");
    add("+41x.tif");
    EXPECT_EQ(choose(0), in_folder("abc.tif"));
    EXPECT_EQ(choose(41), in_folder("+41x.tif"));
    EXPECT_EQ(choose(42), "");
    // A number past what the library holds reads as its largest value, which must not overflow
    // when measured against any request.
    add("99999999999999999999999.tif");
    EXPECT_EQ(choose(-5), in_folder("abc.tif"));
    EXPECT_EQ(choose(42), "");
}

TEST_F(ShapeFileTest, EqualSizesGoToTheFirstInByteOrderUnderItsOwnName) {
    add("31.tif");
    add("031.tif");
    EXPECT_EQ(choose(31), in_folder("031.tif"));
}

TEST_F(ShapeFileTest, TheExtensionMatchesInAnyCaseAndThePathKeepsTheRealName) {
    add("31.TIF");
    add("63.Tif");
    EXPECT_EQ(choose(31), in_folder("31.TIF"));
    EXPECT_EQ(choose(40), in_folder("63.Tif"));
}

TEST_F(ShapeFileTest, FoldersMissingFoldersAndOverlongPathsChooseNothing) {
    fs::create_directories(shape_folder() / "45.tif");
    EXPECT_EQ(choose(41), "");
    EXPECT_EQ(choose(41, shape_folder() / "absent"), "");

    // A path that cannot be written whole into 512 bytes is never handed on cut short.
    fs::path deep = shape_folder();
    while (deep.string().size() < 500) {
        deep /= std::string(40, 'd');
    }
    fs::create_directories(deep);
    std::ofstream(deep / "0123456789012345678901234567890123456789.tif") << "";
    EXPECT_EQ(choose(1, deep), "");
}

}  // namespace
