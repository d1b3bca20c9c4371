// The memory operations: chunks of at most 64 KiB, odd first and last bytes, read-modify-write, the
// even-address space's 0xFF bytes, the retry on 0x28000006 and the checks before any command.
#include <cstring>

#include "unit/unit_memory.h"
#include "unit_operation_fixture.h"

namespace {

// 10-byte memory CDB: opcode, address and count big-endian.
std::vector<uint8_t> MemoryCdb(uint8_t opcode, uint32_t address, uint32_t count)
{
    return Bytes({opcode, 0, int(address >> 24), int((address >> 16) & 0xFF), int((address >> 8) & 0xFF),
                  int(address & 0xFF), int(count >> 24), int((count >> 16) & 0xFF), int((count >> 8) & 0xFF),
                  int(count & 0xFF)});
}

class UnitMemoryTest : public UnitOperationTest {
protected:
    void SetUp() override
    {
        UnitOperationTest::SetUp();
        for (size_t i = 0; i < unit->Memory().size(); ++i)
            unit->Memory()[i] = uint8_t(i * 7 + (i >> 8));
        for (size_t i = 0; i < unit->EvenMemory().size(); i += 2)
            unit->EvenMemory()[i] = uint8_t(0x40 + i);
    }
};

TEST_F(UnitMemoryTest, OneByteAtAnOddAddressIsReadAsPartOfItsWord)
{
    BYTE byte = 0;
    EXPECT_EQ(0u, UnitReadMemory(0, 5, 1, &byte));
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(MemoryCdb(0x20, 4, 2), CdbOf(0));
    EXPECT_EQ(SimDirection::In, Sent()[0].direction);
    EXPECT_EQ(unit->Memory()[5], byte);
}

TEST_F(UnitMemoryTest, LargeReadIsSplitIntoChunksAndEndsWithTheFirstByteOfTheLastWord)
{
    const DWORD count = 2 * 0x10000 + 1;
    std::vector<BYTE> buffer(count + 4, 0xEE);
    EXPECT_EQ(0u, UnitReadMemory(0, 0, count, buffer.data()));
    ASSERT_EQ(3u, Sent().size());
    EXPECT_EQ(MemoryCdb(0x20, 0, 0x10000), CdbOf(0));
    EXPECT_EQ(MemoryCdb(0x20, 0x10000, 0x10000), CdbOf(1));
    EXPECT_EQ(MemoryCdb(0x20, 0x20000, 2), CdbOf(2));
    EXPECT_EQ(0, std::memcmp(unit->Memory().data(), buffer.data(), count));
    EXPECT_EQ(std::vector<BYTE>(4, 0xEE), std::vector<BYTE>(buffer.begin() + count, buffer.end()))
        << "nothing is written past the count";
}

TEST_F(UnitMemoryTest, OddStartAndOddEndAroundWholeWords)
{
    std::vector<BYTE> buffer(6, 0);
    EXPECT_EQ(0u, UnitReadMemory(0, 3, 6, buffer.data()));
    ASSERT_EQ(3u, Sent().size());
    EXPECT_EQ(MemoryCdb(0x20, 2, 2), CdbOf(0));
    EXPECT_EQ(MemoryCdb(0x20, 4, 4), CdbOf(1));
    EXPECT_EQ(MemoryCdb(0x20, 8, 2), CdbOf(2));
    EXPECT_EQ(std::vector<BYTE>(unit->Memory().begin() + 3, unit->Memory().begin() + 9), buffer);
}

TEST_F(UnitMemoryTest, ThreeBytesAtAnOddAddressRewriteTheFirstWordAndWriteTheNext)
{
    const std::vector<uint8_t> before = unit->Memory();
    const BYTE data[3] = {0xA1, 0xA2, 0xA3};
    EXPECT_EQ(0u, UnitWriteMemory(0, 1, 3, data));
    ASSERT_EQ(3u, Sent().size());
    EXPECT_EQ(MemoryCdb(0x20, 0, 2), CdbOf(0));
    EXPECT_EQ(MemoryCdb(0x22, 0, 2), CdbOf(1));
    EXPECT_EQ(Bytes({before[0], 0xA1}), Sent()[1].dataOut) << "the byte at 0 is kept";
    EXPECT_EQ(MemoryCdb(0x22, 2, 2), CdbOf(2));
    EXPECT_EQ(Bytes({0xA2, 0xA3}), Sent()[2].dataOut);

    std::vector<uint8_t> expected = before;
    expected[1] = 0xA1, expected[2] = 0xA2, expected[3] = 0xA3;
    EXPECT_EQ(expected, unit->Memory());
}

TEST_F(UnitMemoryTest, LastByteAtAnEvenAddressIsWrittenByReadModifyWrite)
{
    const std::vector<uint8_t> before = unit->Memory();
    const BYTE data[3] = {0xB0, 0xB1, 0xB2};
    EXPECT_EQ(0u, UnitWriteMemory(0, 0x100, 3, data));
    ASSERT_EQ(3u, Sent().size());
    EXPECT_EQ(MemoryCdb(0x22, 0x100, 2), CdbOf(0));
    EXPECT_EQ(MemoryCdb(0x20, 0x102, 2), CdbOf(1));
    EXPECT_EQ(MemoryCdb(0x22, 0x102, 2), CdbOf(2));
    EXPECT_EQ(Bytes({0xB2, before[0x103]}), Sent()[2].dataOut);
    EXPECT_EQ(before[0x103], unit->Memory()[0x103]);
    EXPECT_EQ(0xB2, unit->Memory()[0x102]);
}

TEST_F(UnitMemoryTest, LargeWriteIsSplitLikeTheRead)
{
    std::vector<BYTE> data(0x10000 + 6);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = BYTE(i * 13);
    EXPECT_EQ(0u, UnitWriteMemory(0, 0x8000, DWORD(data.size()), data.data()));
    ASSERT_EQ(2u, Sent().size());
    EXPECT_EQ(MemoryCdb(0x22, 0x8000, 0x10000), CdbOf(0));
    EXPECT_EQ(MemoryCdb(0x22, 0x18000, 6), CdbOf(1));
    EXPECT_EQ(0, std::memcmp(unit->Memory().data() + 0x8000, data.data(), data.size()));
}

TEST_F(UnitMemoryTest, EvenSpaceReads0xFFAtEveryOddAddressAndSkipsAnOddStart)
{
    std::vector<BYTE> buffer(8, 0);
    EXPECT_EQ(0u, UnitReadEvenMemory(0, 0x11, 8, buffer.data()));
    ASSERT_EQ(2u, Sent().size()) << "no command for the odd first byte";
    EXPECT_EQ(MemoryCdb(0x24, 0x12, 6), CdbOf(0));
    EXPECT_EQ(MemoryCdb(0x24, 0x18, 2), CdbOf(1));
    const std::vector<uint8_t>& even = unit->EvenMemory();
    EXPECT_EQ(Bytes({0xFF, even[0x12], 0xFF, even[0x14], 0xFF, even[0x16], 0xFF, even[0x18]}), buffer);
}

TEST_F(UnitMemoryTest, EvenSpaceWriteSkipsAnOddStartAndPadsALastByteWith0xFF)
{
    const BYTE one = 0x5A;
    EXPECT_EQ(0u, UnitWriteEvenMemory(0, 0x20, 1, &one));
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(MemoryCdb(0x26, 0x20, 2), CdbOf(0));
    EXPECT_EQ(Bytes({0x5A, 0xFF}), Sent()[0].dataOut);
    EXPECT_EQ(0x5A, unit->EvenMemory()[0x20]);

    unit->ClearCommands();
    const BYTE data[5] = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(0u, UnitWriteEvenMemory(0, 0x31, 5, data));
    ASSERT_EQ(1u, Sent().size()) << "the odd first byte is skipped, the rest is whole words";
    EXPECT_EQ(MemoryCdb(0x26, 0x32, 4), CdbOf(0));
    EXPECT_EQ(Bytes({0x02, 0x03, 0x04, 0x05}), Sent()[0].dataOut) << "odd-offset bytes are sent unchanged";

    unit->ClearCommands();
    EXPECT_EQ(0u, UnitWriteEvenMemory(0, 0x41, 1, data));
    EXPECT_TRUE(Sent().empty()) << "a single odd byte needs no command";
}

TEST_F(UnitMemoryTest, FailingChunkEndsTheOperationWithItsStatus)
{
    unit->FailCommandWithSense(2, 0x04, 0x44, 0x00);
    std::vector<BYTE> buffer(0x30000, 0xEE);
    EXPECT_EQ(0x44000004u, UnitReadMemory(0, 0, DWORD(buffer.size()), buffer.data()));
    EXPECT_EQ(2u, Sent().size());
    EXPECT_EQ(0, std::memcmp(unit->Memory().data(), buffer.data(), 0x10000)) << "the first chunk stays read";

    unit->ClearCommands();
    unit->FailCommandWithSense(1, 0x05, 0x21, 0x00);
    const BYTE data[3] = {1, 2, 3};
    EXPECT_EQ(0x21000005u, UnitWriteMemory(0, 1, 3, data));
    EXPECT_EQ(1u, Sent().size()) << "a failed read of read-modify-write writes nothing";
}

TEST_F(UnitMemoryTest, EachCommandIsRepeatedOnceOnReadyChange)
{
    unit->FailCommandWithSense(2, UNIT_ATTENTION, READY_CHANGE, 0x00);
    std::vector<BYTE> buffer(0x10004);
    EXPECT_EQ(0u, UnitReadMemory(0, 0, DWORD(buffer.size()), buffer.data()));
    ASSERT_EQ(3u, Sent().size());
    EXPECT_EQ(CdbOf(1), CdbOf(2)) << "the second chunk was issued again, unchanged";

    unit->ClearCommands();
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    unit->FailCommandWithSense(2, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0x28000006u, UnitWriteEvenMemory(0, 0, 2, buffer.data()));
    EXPECT_EQ(2u, Sent().size()) << "exactly two attempts";

    unit->ClearCommands();
    unit->FailCommandWithSense(1, UNIT_ATTENTION, 0x29, 0x00);
    EXPECT_EQ(0x29000006u, UnitReadEvenMemory(0, 0, 2, buffer.data()));
    EXPECT_EQ(1u, Sent().size()) << "other statuses are not retried";
}

TEST_F(UnitMemoryTest, ArgumentsThatWouldOverrunAreRefusedBeforeAnyCommand)
{
    BYTE buffer[4] = {};
    EXPECT_EQ(5u, UnitReadMemory(1, 0, 2, buffer)) << "index out of range";
    EXPECT_EQ(5u, UnitReadMemory(0, 0, 2, nullptr));
    EXPECT_EQ(5u, UnitWriteMemory(0, 1, 1, nullptr));
    EXPECT_EQ(5u, UnitReadEvenMemory(0, 0xFFFFFFFF, 2, buffer)) << "runs past the last address";
    EXPECT_EQ(5u, UnitWriteEvenMemory(0, 0xFFFFFFF0, 0x11, buffer));
    EXPECT_TRUE(Sent().empty());

    EXPECT_EQ(0u, UnitReadMemory(0, 0, 0, nullptr)) << "nothing to move";
    EXPECT_TRUE(Sent().empty());

    // The very last byte is addressable: it is read as part of the word at 0xFFFFFFFE.
    EXPECT_EQ(0x21000005u, UnitReadMemory(0, 0xFFFFFFFF, 1, buffer));
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(MemoryCdb(0x20, 0xFFFFFFFE, 2), CdbOf(0));
}

}  // namespace
