// Byte-level builders for configuration files in any of their layouts, so that tests state
// old files byte by byte rather than through the structs under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/common/temp_tree.h"

namespace cfgtest {

struct Bytes {
    std::string b;

    Bytes() = default;
    explicit Bytes(std::size_t n) : b(n, '\0') {}

    std::size_t size() const { return b.size(); }
    template <class T>
    Bytes& Put(std::size_t at, T value)
    {
        std::memcpy(&b[at], &value, sizeof value);
        return *this;
    }
    Bytes& Text(std::size_t at, const std::string& text)
    {
        std::memcpy(&b[at], text.data(), text.size());
        return *this;
    }
    Bytes& Fill(std::size_t at, std::size_t n, uint8_t value)
    {
        std::memset(&b[at], value, n);
        return *this;
    }
    Bytes& Append(const Bytes& more)
    {
        b += more.b;
        return *this;
    }
    template <class T>
    T Get(std::size_t at) const
    {
        T value;
        std::memcpy(&value, &b[at], sizeof value);
        return value;
    }
    uint8_t At(std::size_t at) const { return static_cast<uint8_t>(b[at]); }
    // The NUL-terminated text at `at` (at most `max` bytes).
    std::string TextAt(std::size_t at, std::size_t max) const
    {
        std::string s = b.substr(at, max);
        return s.substr(0, s.find('\0'));
    }
    bool AllZero(std::size_t at, std::size_t n) const
    {
        for (std::size_t i = at; i < at + n; ++i)
            if (b[i] != 0) return false;
        return true;
    }

    void Save(const std::string& path) const { testutil::WriteFile(path, b); }
    static Bytes Load(const std::string& path)
    {
        Bytes r;
        r.b = testutil::ReadFile(path);
        return r;
    }
};

// Offsets of the current (version 8) options record.
namespace opt {
constexpr std::size_t Name = 0, LeftFolder = 32, RightFolder = 288, Action = 544, Filter = 545, ExcludeFilter = 801,
                      Attributes = 1057, ExcludeAttributes = 1058, BeginDate = 1059, EndDate = 1067, Recursive = 1075,
                      MinSize = 1076, MaxSize = 1084, CheckFilter = 1092, CheckAttr = 1093, CheckDate = 1094,
                      CheckSize = 1095, MultiThread = 1096, CompareContent = 1097, IgnoreHours = 1098;
}
// Offsets of the options form of versions 1 to 7 (sizes and flags exist from version 3 on).
namespace opt7 {
constexpr std::size_t BeginDate = 1058, EndDate = 1066, Recursive = 1074, MinSize = 1075, MaxSize = 1083,
                      CheckAttr = 1091, CheckDate = 1092, CheckSize = 1093, MultiThread = 1094;
}
// Offsets of the header.
namespace hdr {
constexpr std::size_t Version = 32, Password = 34, WindowLeft = 64, WindowTop = 68, WindowWidth = 72, WindowHeight = 76,
                      WindowMaximized = 80, Options = 128, SortColumn = 2176, SortDirection = 2180, PresetCount = 2240,
                      BatchCount = 2242, OtherUse = 2272;
}

// A version-8 file: header with the given counts, then the records as given.
inline Bytes Header8(uint16_t presets, uint16_t batches)
{
    Bytes h(4096);
    h.Text(0, "KESTRUNECFGFILE").Put<uint16_t>(hdr::Version, 8);
    h.Put<int32_t>(hdr::SortDirection, 1)
        .Put<uint16_t>(hdr::PresetCount, presets)
        .Put<uint16_t>(hdr::BatchCount, batches);
    return h;
}

inline Bytes Preset8(const std::string& name, const std::string& left = "/l")
{
    Bytes p(2048);
    p.Text(opt::Name, name).Text(opt::LeftFolder, left).Text(opt::Filter, "*.*");
    return p;
}

struct Entry {
    std::string preset;
    uint8_t action;
    uint8_t force;
};

inline Bytes Batch8(const std::string& name, std::initializer_list<Entry> entries)
{
    Bytes b(4096);
    b.Text(0, name);
    std::size_t k = 0;
    for (const Entry& e : entries) {
        std::size_t at = 33 + 64 * k++;
        b.Text(at, e.preset).Put<uint8_t>(at + 32, e.action).Put<uint8_t>(at + 33, e.force);
    }
    b.Put<uint8_t>(32, static_cast<uint8_t>(k));
    return b;
}

}  // namespace cfgtest
