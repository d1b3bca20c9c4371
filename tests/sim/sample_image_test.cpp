// The sample images: layouts, versions, header and CRC as a host and the unit read them.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/unit/sample_image.h"
#include "tests/sim/sim_unit_driver.h"

namespace {

uint32_t Be32(const Bytes& bytes, size_t at)
{
    return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) | (uint32_t(bytes[at + 2]) << 8) | bytes[at + 3];
}

TEST(SampleImage, CrcIsTheBzip2Variant)
{
    const char* check = "123456789";
    EXPECT_EQ(0xFC891918u, SampleImageCrc32(reinterpret_cast<const uint8_t*>(check), 9));
    EXPECT_EQ(0x00000000u, SampleImageCrc32(nullptr, 0));
}

TEST(SampleImage, OldLayoutHoldsIdentificationAndVersion)
{
    const Bytes image = SampleOldImage("1.5", 0x9001);
    ASSERT_EQ(0x9001u, image.size());
    EXPECT_EQ(0, std::memcmp(&image[0x2000], "VORNA   QZV-57", 14));
    EXPECT_EQ("1.5 ", std::string(image.begin() + 0x2018, image.begin() + 0x201C));
    EXPECT_EQ(0x201Cu, SampleOldImage("1.00", 10).size());
    EXPECT_EQ(0x10000u, SampleOldImage("1.00", 0x20000).size());
}

TEST(SampleImage, NewLayoutHoldsTagLengthSlotsAndAMatchingHeader)
{
    const Bytes image = SampleNewImage({"A.00", "B.01", "C.02", "D.03"}, 0x12345);
    ASSERT_EQ(0x12345u, image.size());
    EXPECT_EQ(0, std::memcmp(&image[0x2000], "VRNC7Q52", 8));
    EXPECT_EQ(0x12345u, Be32(image, 0x2008));
    EXPECT_EQ("A.00", std::string(image.begin() + 0x202C, image.begin() + 0x2030));
    EXPECT_EQ("B.01", std::string(image.begin() + 0x2050, image.begin() + 0x2054));
    EXPECT_EQ("C.02", std::string(image.begin() + 0x2074, image.begin() + 0x2078));
    EXPECT_EQ("D.03", std::string(image.begin() + 0x2098, image.begin() + 0x209C));

    const Bytes header = SampleNewImageHeader(image);
    ASSERT_EQ(8u, header.size());
    EXPECT_EQ(0x12345u, Be32(header, 0));
    EXPECT_EQ(SampleImageCrc32(image.data(), image.size()), Be32(header, 4));
    // The pad byte a host adds is not covered.
    EXPECT_EQ(header, SampleNewImageHeader(Evened(image)));
}

TEST(SampleImage, SeedsGiveDifferentFirmwareWithTheSameIdentification)
{
    const Bytes a = SampleNewImage({"2.00", "2.00", "2.00", "2.00"}, 0x9000, 1);
    const Bytes b = SampleNewImage({"2.00", "2.00", "2.00", "2.00"}, 0x9000, 2);
    EXPECT_NE(a, b);
    EXPECT_EQ(Bytes(a.begin() + 0x2000, a.begin() + 0x200C), Bytes(b.begin() + 0x2000, b.begin() + 0x200C));
    EXPECT_EQ(Bytes(a.begin() + 0x2074, a.begin() + 0x2078), Bytes(b.begin() + 0x2074, b.begin() + 0x2078));
    EXPECT_NE(SampleNewImageHeader(a), SampleNewImageHeader(b));
}

}  // namespace
