// The unit status built from sense data, for well-formed, truncated and odd sense.
#include <gtest/gtest.h>

#include <vector>

#include "host/sense_status.h"

namespace {

UnitStatus Status(const std::vector<BYTE>& sense)
{
    return HostIoSenseStatus(sense.data(), sense.size());
}

TEST(SenseStatus, FixedFormatPacksAscAscqAndKey)
{
    std::vector<BYTE> sense(18, 0);
    sense[0] = 0x70;
    sense[2] = 0x06;
    sense[12] = 0x29;
    sense[13] = 0x00;
    EXPECT_EQ(0x29000006u, Status(sense));
    // Only the low four bits of byte 2 are the key (filemark, EOM and ILI bits are not).
    sense[0] = 0xF1;
    sense[2] = 0xE5;
    sense[12] = 0x24;
    sense[13] = 0x01;
    EXPECT_EQ(0x24010005u, Status(sense));
}

TEST(SenseStatus, DescriptorFormatReadsItsOwnPlaces)
{
    const std::vector<BYTE> sense = {0x72, 0x02, 0x3A, 0x01, 0, 0, 0, 0};
    EXPECT_EQ(0x3A010002u, Status(sense));
    const std::vector<BYTE> deferred = {0x73, 0x0B, 0x47, 0x03};
    EXPECT_EQ(0x4703000Bu, Status(deferred));
}

TEST(SenseStatus, MissingBytesCountAsZero)
{
    EXPECT_EQ(0u, HostIoSenseStatus(nullptr, 32));
    EXPECT_EQ(0u, Status({}));
    EXPECT_EQ(0x00000005u, Status({0x70, 0x00, 0x05}));             // cut before ASC
    EXPECT_EQ(0x3A000002u, Status({0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A}));  // cut before ASCQ
    EXPECT_EQ(0x00000000u, Status({0x72, 0x00}));                  // descriptor, cut before ASC
}

TEST(SenseStatus, GarbageIsReadAsFixedFormatWithoutReadingPastTheEnd)
{
    std::vector<BYTE> garbage(3, 0xFF);
    EXPECT_EQ(0x0000000Fu, Status(garbage));
    garbage.assign(255, 0xA5);
    EXPECT_EQ(0xA5A50005u, Status(garbage));
}

TEST(SenseStatus, OnlyCompletedStatusBytesCountAsCompleted)
{
    for (BYTE completed : {0x00, 0x04, 0x10, 0x14})
        EXPECT_TRUE(HostIoScsiStatusCompleted(completed)) << int(completed);
    for (BYTE failed : {0x02, 0x08, 0x18, 0x22, 0x28, 0x30, 0x40, 0xFF})
        EXPECT_FALSE(HostIoScsiStatusCompleted(failed)) << int(failed);
}

TEST(SenseStatus, ACommandThatDidNotCompleteIsFourUnlessItsSenseSaysWhy)
{
    const std::vector<BYTE> none;
    const std::vector<BYTE> fixedZero = {0x70, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<BYTE> descriptorZero = {0x72, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<BYTE> refused = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
    const std::vector<BYTE> attentionOnly = {0x70, 0, 0x06};
    const struct {
        const std::vector<BYTE>* sense;
        bool completed;
        UnitStatus expected;
    } cases[] = {
        {&none, true, 0},          {&none, false, 4},
        {&fixedZero, true, 0},     {&fixedZero, false, 4},
        {&descriptorZero, true, 0}, {&descriptorZero, false, 4},
        {&refused, true, 0x24000005u}, {&refused, false, 0x24000005u},
        {&attentionOnly, false, 0x00000006u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, HostIoCommandStatus(c.sense->data(), c.sense->size(), c.completed))
            << c.sense->size() << " bytes, completed " << c.completed;
    }
    EXPECT_EQ(4u, HostIoCommandStatus(nullptr, 32, false));
}

}  // namespace
