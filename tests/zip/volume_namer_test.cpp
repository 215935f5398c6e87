// Volume names of split and binary split archives.
#include <gtest/gtest.h>

#include "zip/volume_namer.h"

namespace {

TEST(VolumeNamerTest, SplitVolumesReplaceTheExtensionAndTheLastKeepsIt) {
    CSplitVolumeNamer namer;
    namer.Initialize("C:\\pkg\\a.zip");
    const int existing = CVolumeNamer::kExistingArchive;
    struct Case {
        uint32_t number;
        int flags;
        const char* expected;
    };
    const Case cases[] = {
        {1, existing, "C:\\pkg\\a.z01"},
        {2, existing, "C:\\pkg\\a.z02"},
        {99, existing, "C:\\pkg\\a.z99"},
        {100, existing, "C:\\pkg\\a.z100"},
        {3, existing | CVolumeNamer::kLastVolume, "C:\\pkg\\a.zip"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(namer.GetVolumeName(c.number, c.flags), c.expected);
    }
    // A folder name with a dot is not an extension; an archive without one stays as named.
    CSplitVolumeNamer plain;
    plain.Initialize("C:\\v1.2\\archive");
    EXPECT_EQ(plain.GetVolumeName(1, existing), "C:\\v1.2\\archive.z01");
    EXPECT_EQ(plain.GetVolumeName(2, existing | CVolumeNamer::kLastVolume), "C:\\v1.2\\archive");
}

TEST(VolumeNamerTest, BinaryPartsAreNumberedWithThreeDigitsOrMore) {
    CBinaryVolumeNamer namer;
    namer.Initialize("C:\\pkg\\a.zip.003");
    const int existing = CVolumeNamer::kExistingArchive;
    EXPECT_EQ(namer.GetVolumeName(1, existing), "C:\\pkg\\a.zip.001");
    EXPECT_EQ(namer.GetVolumeName(999, existing), "C:\\pkg\\a.zip.999");
    EXPECT_EQ(namer.GetVolumeName(1000, existing), "C:\\pkg\\a.zip.1000");
    CBinaryVolumeNamer creating;
    creating.Initialize("C:\\pkg\\a.zip");
    EXPECT_EQ(creating.GetVolumeName(2, 0), "C:\\pkg\\a.zip.002");

    struct Case {
        const char* path;
        uint32_t number;
    };
    const Case cases[] = {
        {"a.zip.001", 1}, {"a.zip.012", 12}, {"a.0100", 100},   {"a.12", 0},
        {"a.zip", 0},     {"a.0x1", 0},      {"dir.001\\a", 0}, {"a.", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(namer.GetVolumeNumber(c.path), c.number);
    }
}

}  // namespace
