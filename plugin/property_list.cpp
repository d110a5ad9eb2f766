// The module's property list, byte for byte as the host reads it from a Windows module's
// resources. Linux modules have no resources, so the bytes are exported as data instead.
//
// Layout: int16 1, int32 0, int32 property count; then each property as vendor code, key,
// int32 id 0, int32 data length and the data padded with zeros to a multiple of four bytes.
// Numbers are little-endian and four-character codes are stored byte-reversed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sdk/effect_sdk.h"

namespace {

constexpr std::string_view kEffectName = "Quillbloom8.0";
constexpr std::string_view kCategory = "Quillbloom";
constexpr std::string_view kEntryPoint = PF_ENTRY_POINT_NAME;
constexpr int32_t kPropertyListVersion = 2;
constexpr int16_t kProtocolVersionMajor = 12;
constexpr int16_t kProtocolVersionMinor = 5;
constexpr int32_t kGlobalOutFlags = PF_OutFlag_KEEP_RESOURCE_OPEN | PF_OutFlag_USE_OUTPUT_EXTENT;
constexpr int kPropertyCount = 11;

// Large enough for the list; the exported size says how much of it is used.
constexpr std::size_t kCapacity = 512;

class Writer {
  public:
    constexpr void bytes(std::string_view text) {
        for (char c : text) {
            byte(static_cast<uint8_t>(c));
        }
    }
    constexpr void code(std::string_view four_chars) {
        for (std::size_t i = four_chars.size(); i-- > 0;) {
            byte(static_cast<uint8_t>(four_chars[i]));
        }
    }
    constexpr void int16(int16_t value) {
        const auto bits = static_cast<uint16_t>(value);
        byte(static_cast<uint8_t>(bits & 0xFF));
        byte(static_cast<uint8_t>(bits >> 8));
    }
    constexpr void int32(int32_t value) {
        const auto bits = static_cast<uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) {
            byte(static_cast<uint8_t>((bits >> shift) & 0xFF));
        }
    }
    constexpr void pascal_string(std::string_view text) {
        byte(static_cast<uint8_t>(text.size()));
        bytes(text);
    }
    constexpr void c_string(std::string_view text) {
        bytes(text);
        byte(0);
    }
    constexpr void pad_to_four(std::size_t from) {
        while ((size - from) % 4 != 0) {
            byte(0);
        }
    }
    constexpr void byte(uint8_t value) { data[size++] = value; }

    std::array<uint8_t, kCapacity> data{};
    std::size_t size = 0;
};

// One property: its header, then whatever `write_data` puts down, with the length patched in
// afterwards (the length counts the data, not its padding).
template <class WriteData>
constexpr void property(Writer& w, std::string_view key, WriteData write_data) {
    w.code("8BIM");
    w.code(key);
    w.int32(0);
    const std::size_t length_at = w.size;
    w.int32(0);
    const std::size_t data_at = w.size;
    write_data(w);
    const auto length = static_cast<int32_t>(w.size - data_at);
    Writer patch;
    patch.int32(length);
    for (std::size_t i = 0; i < 4; ++i) {
        w.data[length_at + i] = patch.data[i];
    }
    w.pad_to_four(data_at);
}

constexpr Writer build_property_list() {
    Writer w;
    w.int16(1);
    w.int32(0);
    w.int32(kPropertyCount);
    property(w, "kind", [](Writer& d) { d.code("eFKT"); });
    property(w, "name", [](Writer& d) { d.pascal_string(kEffectName); });
    property(w, "catg", [](Writer& d) { d.pascal_string(kCategory); });
    property(w, "wx86", [](Writer& d) { d.c_string(kEntryPoint); });
    property(w, "ePVR", [](Writer& d) { d.int32(kPropertyListVersion); });
    property(w, "eSVR", [](Writer& d) {
        d.int16(kProtocolVersionMajor);
        d.int16(kProtocolVersionMinor);
    });
    property(w, "eVER", [](Writer& d) { d.int32(QB_EFFECT_VERSION); });
    property(w, "eINF", [](Writer& d) { d.int16(0); });
    property(w, "eGLO", [](Writer& d) { d.int32(kGlobalOutFlags); });
    property(w, "eMNA", [](Writer& d) { d.pascal_string(kEffectName); });
    property(w, "aeFL", [](Writer& d) { d.int32(0); });
    return w;
}

constexpr Writer kPropertyList = build_property_list();

template <std::size_t N>
constexpr std::array<uint8_t, N> first_bytes(const Writer& w) {
    std::array<uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        out[i] = w.data[i];
    }
    return out;
}

}  // namespace

// The size is a 64-bit little-endian count, so a reader taking it as a 32-bit one gets the same
// number.
extern "C" {
__attribute__((visibility("default"))) extern const std::array<uint8_t, kPropertyList.size>
    quillbloom_property_list;
__attribute__((visibility("default"))) extern const uint64_t quillbloom_property_list_size;

const std::array<uint8_t, kPropertyList.size> quillbloom_property_list =
    first_bytes<kPropertyList.size>(kPropertyList);
const uint64_t quillbloom_property_list_size = kPropertyList.size;
}
