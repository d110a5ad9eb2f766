// The property list a host reads to learn the effect's name, entry point, version and flags,
// byte for byte from the built module.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/plugin/plugin_folder.h"

namespace {

// Four-character codes appear byte-reversed; numbers are little-endian.
const std::vector<uint8_t> kExpected = {
    0x01, 0x00,              // version 1
    0x00, 0x00, 0x00, 0x00,  // 0
    0x0B, 0x00, 0x00, 0x00,  // 11 properties
    // kind: eFKT
    'M', 'I', 'B', '8', 'd', 'n', 'i', 'k', 0, 0, 0, 0, 4, 0, 0, 0, 'T', 'K', 'F', 'e',
    // name: "Quillbloom8.0" with its length byte, 14 bytes padded to 16
    'M', 'I', 'B', '8', 'e', 'm', 'a', 'n', 0, 0, 0, 0, 14, 0, 0, 0, 13, 'Q', 'u', 'i', 'l', 'l',
    'b', 'l', 'o', 'o', 'm', '8', '.', '0', 0, 0,
    // catg: "Quillbloom", 11 bytes padded to 12
    'M', 'I', 'B', '8', 'g', 't', 'a', 'c', 0, 0, 0, 0, 11, 0, 0, 0, 10, 'Q', 'u', 'i', 'l', 'l',
    'b', 'l', 'o', 'o', 'm', 0,
    // wx86: "main" and its terminator, 5 bytes padded to 8
    'M', 'I', 'B', '8', '6', '8', 'x', 'w', 0, 0, 0, 0, 5, 0, 0, 0, 'm', 'a', 'i', 'n', 0, 0, 0, 0,
    // ePVR: 2
    'M', 'I', 'B', '8', 'R', 'V', 'P', 'e', 0, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0,
    // eSVR: 12, 5
    'M', 'I', 'B', '8', 'R', 'V', 'S', 'e', 0, 0, 0, 0, 4, 0, 0, 0, 12, 0, 5, 0,
    // eVER: 0x00080000
    'M', 'I', 'B', '8', 'R', 'E', 'V', 'e', 0, 0, 0, 0, 4, 0, 0, 0, 0x00, 0x00, 0x08, 0x00,
    // eINF: int16 0, padded to 4
    'M', 'I', 'B', '8', 'F', 'N', 'I', 'e', 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,
    // eGLO: 0x41
    'M', 'I', 'B', '8', 'O', 'L', 'G', 'e', 0, 0, 0, 0, 4, 0, 0, 0, 0x41, 0, 0, 0,
    // eMNA: "Quillbloom8.0"
    'M', 'I', 'B', '8', 'A', 'N', 'M', 'e', 0, 0, 0, 0, 14, 0, 0, 0, 13, 'Q', 'u', 'i', 'l', 'l',
    'b', 'l', 'o', 'o', 'm', '8', '.', '0', 0, 0,
    // aeFL: 0
    'M', 'I', 'B', '8', 'L', 'F', 'e', 'a', 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};

class ModuleSymbols {
  public:
    explicit ModuleSymbols(const std::filesystem::path& module)
        : library_(dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~ModuleSymbols() {
        if (library_) {
            dlclose(library_);
        }
    }
    void* find(const char* name) const { return library_ ? dlsym(library_, name) : nullptr; }

  private:
    void* library_;
};

TEST(PropertyListTest, ModuleExportsThePropertyListByteForByte) {
    qb_test::PluginFolder folder;
    ModuleSymbols module(folder.module());
    const auto* bytes = static_cast<const uint8_t*>(module.find("quillbloom_property_list"));
    const auto* size = static_cast<const uint64_t*>(module.find("quillbloom_property_list_size"));
    ASSERT_NE(bytes, nullptr);
    ASSERT_NE(size, nullptr);
    ASSERT_EQ(*size, kExpected.size());
    // Read as a 32-bit count, the size is the same.
    ASSERT_EQ(*reinterpret_cast<const int32_t*>(size), static_cast<int32_t>(kExpected.size()));
    for (std::size_t i = 0; i < kExpected.size(); ++i) {
        EXPECT_EQ(bytes[i], kExpected[i]) << "byte " << i;
    }
}

TEST(PropertyListTest, ModuleExportsNothingButItsEntryPointAndPropertyList) {
    qb_test::PluginFolder folder;
    ModuleSymbols module(folder.module());
    EXPECT_NE(module.find("main"), nullptr);
    for (const char* hidden : {"quillbloom_effect_main", "_Z10the_pluginv", "_Z10the_enginev"}) {
        EXPECT_EQ(module.find(hidden), nullptr) << hidden;
    }
}

}  // namespace
