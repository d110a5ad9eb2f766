// The emulated host's own promises to the modules and tests that use it: handles, worlds,
// layers, progress, suites and loading.
#include "host/emulated_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/plugin/plugin_folder.h"

namespace {

using host::EmulatedHost;
using host::World;

class EmulatedHostTest : public ::testing::Test {
  protected:
    EmulatedHostTest() : host_(folder_.module().string()) {}
    PF_UtilCallbacks& utils() { return *host_.in_data().utils; }

    qb_test::PluginFolder folder_;
    EmulatedHost host_;
};

TEST(EmulatedHostLoading, AMissingFileOrOneWithoutEntryPointIsRefused) {
    EXPECT_THROW(EmulatedHost("/nonexistent/QuilAE.aex"), host::HostError);
    qb_test::PluginFolder folder;
    folder.touch("empty.aex");
    EXPECT_THROW(EmulatedHost((folder.root() / "empty.aex").string()), host::HostError);
}

bool module_mapped(const std::filesystem::path& module) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(module.string()) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(EmulatedHostLoading, AModuleLoadedAgainStartsFromItsLoadState) {
    qb_test::PluginFolder folder;
    folder.add_shape_folder("06");
    {
        EmulatedHost first(folder.module().string());
        ASSERT_EQ(first.global_setup(), PF_Err_NONE);
        ASSERT_EQ(first.params_setup(), PF_Err_NONE);
        EXPECT_EQ(first.declared_params()[0].choices, "06");
        EXPECT_TRUE(module_mapped(folder.module()));
    }
    EXPECT_FALSE(module_mapped(folder.module()));
    // Without global set-up a fresh module knows no pattern folder, so it offers no shape.
    EmulatedHost second(folder.module().string());
    ASSERT_EQ(second.params_setup(), PF_Err_NONE);
    EXPECT_EQ(second.declared_params()[0].choices, "");
}

TEST_F(EmulatedHostTest, HandlesCountLocksKeepTheirSizeAndCanBeRefused) {
    PF_Handle handle = utils().host_new_handle(16);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(utils().host_get_handle_size(handle), 16u);
    auto* bytes = static_cast<uint8_t*>(utils().host_lock_handle(handle));
    ASSERT_NE(bytes, nullptr);
    std::memset(bytes, 7, 16);
    EXPECT_EQ(utils().host_lock_handle(handle), bytes);
    EXPECT_EQ(host_.lock_count(handle), 2);
    utils().host_unlock_handle(handle);
    utils().host_unlock_handle(handle);
    utils().host_unlock_handle(handle);
    EXPECT_EQ(host_.lock_count(handle), 0);

    EXPECT_EQ(utils().host_resize_handle(32, &handle), PF_Err_NONE);
    EXPECT_EQ(utils().host_get_handle_size(handle), 32u);
    EXPECT_EQ(static_cast<uint8_t*>(utils().host_lock_handle(handle))[15], 7);

    // A size no memory can hold is refused, not thrown back through the callback.
    EXPECT_EQ(utils().host_new_handle(~A_u_longlong{0}), nullptr);

    host_.refuse_handle_after(1);
    PF_Handle second = utils().host_new_handle(4);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(utils().host_new_handle(4), nullptr);
    EXPECT_NE(utils().host_new_handle(4), nullptr);
    host_.refuse_handle_after(0);
    EXPECT_EQ(utils().host_resize_handle(64, &handle), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(utils().host_get_handle_size(handle), 32u);

    EXPECT_EQ(host_.live_handles(), 3);
    utils().host_dispose_handle(handle);
    utils().host_dispose_handle(second);
    EXPECT_EQ(host_.live_handles(), 1);
    // A handle the host never gave is answered with nothing, not a crash.
    EXPECT_EQ(utils().host_lock_handle(handle), nullptr);
    EXPECT_EQ(utils().host_get_handle_size(handle), 0u);
}

TEST_F(EmulatedHostTest, PixelDataIsAnsweredOnlyForTheWorldsOwnDepth) {
    World narrow(3, 2), deep(3, 2, World::Depth::k16);
    PF_Pixel8* p8 = nullptr;
    PF_Pixel16* p16 = nullptr;
    utils().get_pixel_data8(&narrow.def(), &p8);
    utils().get_pixel_data16(&narrow.def(), &p16);
    EXPECT_EQ(p8, &narrow.pixel8(0, 0));
    EXPECT_EQ(p16, nullptr);
    utils().get_pixel_data8(&deep.def(), &p8);
    utils().get_pixel_data16(&deep.def(), &p16);
    EXPECT_EQ(p8, nullptr);
    EXPECT_EQ(p16, &deep.pixel16(0, 0));
    EXPECT_EQ(narrow.def().rowbytes, 12);
    EXPECT_EQ(deep.def().rowbytes, 24);

    // A float world is none of the integer depths, and only a float world is one.
    World light(3, 2, World::Depth::kFloat);
    PF_PixelFloat* pf = nullptr;
    utils().get_pixel_data8(&light.def(), &p8);
    utils().get_pixel_data16(&light.def(), &p16);
    utils().get_pixel_data_float(&light.def(), &pf);
    EXPECT_EQ(p8, nullptr);
    EXPECT_EQ(p16, nullptr);
    EXPECT_EQ(pf, &light.pixel_float(0, 0));
    utils().get_pixel_data_float(&deep.def(), &pf);
    EXPECT_EQ(pf, nullptr);
    EXPECT_EQ(light.def().rowbytes, 48);
}

TEST_F(EmulatedHostTest, CopyIsAWholeWorldCopyBetweenWorldsOfOneShape) {
    World source(4, 3), target(4, 3), other(5, 3);
    source.fill8({255, 10, 20, 30});
    source.pixel8(3, 2) = {1, 2, 3, 4};
    EXPECT_EQ(
        utils().copy(host_.in_data().effect_ref, &source.def(), &target.def(), nullptr, nullptr),
        PF_Err_NONE);
    EXPECT_EQ(target.pixel8(0, 0).green, 20);
    EXPECT_EQ(target.pixel8(3, 2).blue, 4);
    EXPECT_NE(
        utils().copy(host_.in_data().effect_ref, &source.def(), &other.def(), nullptr, nullptr),
        PF_Err_NONE);
}

TEST_F(EmulatedHostTest, CopyBetweenWorldsOfDifferentRowPaddingCopiesPixelsOnly) {
    for (const World::Depth depth : {World::Depth::k8, World::Depth::k16}) {
        SCOPED_TRACE(depth == World::Depth::k8 ? "8-bit" : "16-bit");
        World source(5, 4, depth, 12), target(5, 4, depth, 36), back(5, 4, depth, 4);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 5; ++x) {
                const auto v = static_cast<uint8_t>(10 * y + x);
                if (depth == World::Depth::k8) {
                    source.pixel8(x, y) = {255, v, static_cast<uint8_t>(v + 1), 3};
                } else {
                    source.pixel16(x, y) = {32768, v, static_cast<uint16_t>(v + 1000), 3};
                }
            }
        }
        std::vector<uint8_t> target_padding(36, 0xA5);
        for (int y = 0; y < 4; ++y) {
            std::memset(static_cast<uint8_t*>(target.def().data) + y * target.rowbytes() +
                            target.rowbytes() - 36,
                        0xA5, 36);
        }
        const auto effect_ref = host_.in_data().effect_ref;
        ASSERT_EQ(utils().copy(effect_ref, &source.def(), &target.def(), nullptr, nullptr),
                  PF_Err_NONE);
        ASSERT_EQ(utils().copy(effect_ref, &target.def(), &back.def(), nullptr, nullptr),
                  PF_Err_NONE);
        for (int y = 0; y < 4; ++y) {
            const uint8_t* padding = static_cast<const uint8_t*>(target.def().data) +
                                     y * target.rowbytes() + target.rowbytes() - 36;
            EXPECT_TRUE(std::equal(padding, padding + 36, target_padding.begin()));
            for (int x = 0; x < 5; ++x) {
                if (depth == World::Depth::k8) {
                    EXPECT_EQ(back.pixel8(x, y).red, 10 * y + x);
                    EXPECT_EQ(target.pixel8(x, y).green, 10 * y + x + 1);
                } else {
                    EXPECT_EQ(back.pixel16(x, y).red, 10 * y + x);
                    EXPECT_EQ(target.pixel16(x, y).green, 10 * y + x + 1000);
                }
            }
        }
    }
}

TEST_F(EmulatedHostTest, PlatformDataAndTheCLibraryCallbacks) {
    char path[512] = {};
    EXPECT_EQ(
        utils().get_platform_data(host_.in_data().effect_ref, PF_PlatData_EXE_FILE_PATH, path),
        PF_Err_NONE);
    EXPECT_EQ(path, folder_.module().string());
    EXPECT_NE(utils().get_platform_data(host_.in_data().effect_ref, 2, path), PF_Err_NONE);

    char text[64];
    EXPECT_EQ(utils().ansi.sprintf(text, "%s %d", "size", 31), 7);
    EXPECT_STREQ(text, "size 31");
    EXPECT_EQ(utils().ansi.ceil(1.25), 2.0);
    EXPECT_EQ(utils().ansi.fabs(-3.5), 3.5);
}

TEST_F(EmulatedHostTest, ALayerControlChecksOutTheAssignedWorldAndCountsCheckIns) {
    ASSERT_EQ(host_.open_sequence(), PF_Err_NONE);
    World distance(6, 5);
    host_.set_layer("Distance Layer", &distance);
    const int index = host_.param_index("Distance Layer");
    EXPECT_EQ(host_.param(index).u.ld.layer_marker, 1);

    PF_ParamDef checked{};
    EXPECT_EQ(
        host_.in_data().inter.checkout_param(host_.in_data().effect_ref, index, 0, 1, 1, &checked),
        PF_Err_NONE);
    EXPECT_EQ(checked.u.ld.data, distance.def().data);
    EXPECT_EQ(checked.u.ld.width, 6);
    EXPECT_EQ(host_.layers_checked_out(), 1);
    host_.in_data().inter.checkin_param(host_.in_data().effect_ref, &checked);
    EXPECT_EQ(host_.layers_checked_out(), 0);

    World input(2, 2);
    host_.param(0).u.ld = input.def();
    host_.in_data().inter.checkout_param(host_.in_data().effect_ref, 0, 0, 1, 1, &checked);
    EXPECT_EQ(checked.u.ld.data, input.def().data);

    host_.set_layer("Distance Layer", nullptr);
    host_.in_data().inter.checkout_param(host_.in_data().effect_ref, index, 0, 1, 1, &checked);
    EXPECT_EQ(checked.u.ld.data, nullptr);
    EXPECT_EQ(checked.u.ld.layer_marker, 0);
    EXPECT_NE(
        host_.in_data().inter.checkout_param(host_.in_data().effect_ref, 99, 0, 1, 1, &checked),
        PF_Err_NONE);
    EXPECT_THROW(host_.set_layer("Bokeh Amount", &distance), host::HostError);
}

TEST_F(EmulatedHostTest, ProgressGoesToTheCallersFunctionWhichMayCancel) {
    EXPECT_EQ(host_.in_data().inter.progress(host_.in_data().effect_ref, 1, 100), 0);
    std::vector<std::pair<A_long, A_long>> seen;
    host_.set_progress([&](A_long current, A_long total) {
        seen.emplace_back(current, total);
        return current >= 50 ? PF_Interrupt_CANCEL : 0;
    });
    EXPECT_EQ(host_.in_data().inter.progress(host_.in_data().effect_ref, 10, 100), 0);
    EXPECT_EQ(host_.in_data().inter.progress(host_.in_data().effect_ref, 50, 100),
              PF_Interrupt_CANCEL);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], std::make_pair(50, 100));
}

TEST_F(EmulatedHostTest, SuitesAreServedByNameAndVersionAndCounted) {
    const int table = 0;
    host_.register_suite("Some Suite", 3, &table);
    SPBasicSuite* basic = host_.in_data().pica_basicP;
    ASSERT_NE(basic, nullptr);
    const void* suite = nullptr;
    EXPECT_EQ(basic->AcquireSuite("Some Suite", 3, &suite), kSPNoError);
    EXPECT_EQ(suite, &table);
    EXPECT_EQ(host_.suites_held(), 1);
    EXPECT_NE(basic->AcquireSuite("Some Suite", 2, &suite), kSPNoError);
    EXPECT_EQ(suite, nullptr);
    EXPECT_EQ(basic->ReleaseSuite("Some Suite", 3), kSPNoError);
    EXPECT_EQ(host_.suites_held(), 0);

    host_.leave_out_suite("Some Suite");
    EXPECT_NE(basic->AcquireSuite("Some Suite", 3, &suite), kSPNoError);
    EXPECT_EQ(suite, nullptr);
    host_.register_suite("Some Suite", 3, &table);
    EXPECT_EQ(basic->AcquireSuite("Some Suite", 3, &suite), kSPNoError);
    EXPECT_EQ(host_.suite_acquisitions(), 2);

    host_.set_basic_suite_present(false);
    EXPECT_EQ(host_.in_data().pica_basicP, nullptr);
}

TEST_F(EmulatedHostTest, EveryCommandStartsFromAClearedOutRecord) {
    ASSERT_EQ(host_.global_setup(), PF_Err_NONE);
    EXPECT_EQ(host_.out_data().out_flags, 0x41);
    ASSERT_EQ(host_.params_setup(), PF_Err_NONE);
    EXPECT_EQ(host_.out_data().out_flags, 0);
    EXPECT_EQ(host_.out_data().my_version, 0u);
    EXPECT_EQ(host_.out_data().num_params, 18);
}

}  // namespace
