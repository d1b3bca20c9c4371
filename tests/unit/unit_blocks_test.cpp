// READ(10)/WRITE(10) split by block size, the block-size range, READ CAPACITY(10), and the retry.
#include <cstring>

#include "unit/unit_blocks.h"
#include "unit_operation_fixture.h"

namespace {

std::vector<uint8_t> BlockCdb(uint8_t opcode, uint32_t block, uint16_t count)
{
    return Bytes({opcode, 0, int(block >> 24), int((block >> 16) & 0xFF), int((block >> 8) & 0xFF), int(block & 0xFF),
                  0, count >> 8, count & 0xFF, 0});
}

// Block sizes other than the card's 512 bytes are seen only as commands: this execute records them
// and answers with success, in place of the unit's.
struct RecordedCommand {
    std::vector<uint8_t> cdb;
    DWORD direction;
    DWORD length;
};
std::vector<RecordedCommand> s_recorded;
BYTE* s_area = nullptr;

UnitStatus RecordingExecute(DWORD, DWORD direction, DWORD cdbLength, void*, DWORD length)
{
    s_recorded.push_back({std::vector<uint8_t>(s_area, s_area + cdbLength), direction, length});
    return 0;
}

class UnitBlocksTest : public UnitOperationTest {
protected:
    void SetUp() override
    {
        UnitOperationTest::SetUp();
        for (size_t i = 0; i < unit->Card().size(); ++i)
            unit->Card()[i] = uint8_t(i / 512 + i * 3);
    }
    void RecordInsteadOfSending()
    {
        UnitEntry* entry = UnitEntryAt(0);
        s_area = entry->getCdb(entry->transportIndex);
        s_recorded.clear();
        entry->execute = RecordingExecute;
    }
};

TEST_F(UnitBlocksTest, ThreeHundredBlocksAreReadAs128And128And44)
{
    std::vector<BYTE> buffer(300 * 512);
    EXPECT_EQ(0u, UnitReadBlocks(0, 10, 300, buffer.data(), 512));
    ASSERT_EQ(3u, Sent().size());
    EXPECT_EQ(BlockCdb(0x28, 10, 128), CdbOf(0));
    EXPECT_EQ(BlockCdb(0x28, 138, 128), CdbOf(1));
    EXPECT_EQ(BlockCdb(0x28, 266, 44), CdbOf(2));
    EXPECT_EQ(0x10000u, Sent()[0].length);
    EXPECT_EQ(44u * 512, Sent()[2].length);
    EXPECT_EQ(0, std::memcmp(unit->Card().data() + 10 * 512, buffer.data(), buffer.size()));
}

TEST_F(UnitBlocksTest, WrittenBlocksLandOnTheCardInTheSameSplit)
{
    std::vector<BYTE> data(200 * 512);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = BYTE(i * 11 + 1);
    EXPECT_EQ(0u, UnitWriteBlocks(0, 1000, 200, data.data(), 512));
    ASSERT_EQ(2u, Sent().size());
    EXPECT_EQ(BlockCdb(0x2A, 1000, 128), CdbOf(0));
    EXPECT_EQ(BlockCdb(0x2A, 1128, 72), CdbOf(1));
    EXPECT_EQ(SimDirection::Out, Sent()[1].direction);
    EXPECT_EQ(0, std::memcmp(unit->Card().data() + 1000 * 512, data.data(), data.size()));
}

TEST_F(UnitBlocksTest, BlocksPerCommandFollowTheBlockSize)
{
    RecordInsteadOfSending();
    std::vector<BYTE> buffer(0x30000);
    EXPECT_EQ(0u, UnitReadBlocks(0, 0, 3, buffer.data(), 0x10000));
    ASSERT_EQ(3u, s_recorded.size()) << "one block of 64 KiB per command";
    EXPECT_EQ(BlockCdb(0x28, 2, 1), s_recorded[2].cdb);

    s_recorded.clear();
    EXPECT_EQ(0u, UnitWriteBlocks(0, 7, 0x5556, buffer.data(), 3));
    ASSERT_EQ(2u, s_recorded.size()) << "0x10000 / 3 = 0x5555 blocks per command";
    EXPECT_EQ(BlockCdb(0x2A, 7, 0x5555), s_recorded[0].cdb);
    EXPECT_EQ(0x5555u * 3, s_recorded[0].length);
    EXPECT_EQ(BlockCdb(0x2A, 7 + 0x5555, 1), s_recorded[1].cdb);
    EXPECT_EQ(DWORD(UnitDataOut), s_recorded[1].direction);

    s_recorded.clear();
    EXPECT_EQ(0u, UnitReadBlocks(0, 0, 0x8001, buffer.data(), 2));
    ASSERT_EQ(2u, s_recorded.size());
    EXPECT_EQ(BlockCdb(0x28, 0, 0x8000), s_recorded[0].cdb);
    EXPECT_EQ(0x10000u, s_recorded[0].length);
}

TEST_F(UnitBlocksTest, BlockSizesOutsideTheRangeAndOverrunsAreRefusedBeforeAnyCommand)
{
    BYTE buffer[1024] = {};
    for (DWORD size : {0u, 1u, 0x10001u, 0xFFFFFFFFu}) {
        EXPECT_EQ(5u, UnitReadBlocks(0, 0, 1, buffer, size)) << size;
        EXPECT_EQ(5u, UnitWriteBlocks(0, 0, 1, buffer, size)) << size;
    }
    EXPECT_EQ(5u, UnitReadBlocks(0, 0, 1, nullptr, 512));
    EXPECT_EQ(5u, UnitReadBlocks(0, 0xFFFFFFFF, 2, buffer, 512)) << "runs past the last block";
    EXPECT_EQ(5u, UnitReadBlocks(1, 0, 1, buffer, 512)) << "index out of range";
    EXPECT_EQ(0u, UnitReadBlocks(0, 0, 0, nullptr, 512)) << "a count of 0 sends nothing";
    EXPECT_TRUE(Sent().empty());
}

TEST_F(UnitBlocksTest, FirstFailingCommandEndsTheTransfer)
{
    unit->FailCommandWithSense(2, 0x03, 0x11, 0x00);
    std::vector<BYTE> buffer(300 * 512);
    EXPECT_EQ(0x11000003u, UnitReadBlocks(0, 0, 300, buffer.data(), 512));
    EXPECT_EQ(2u, Sent().size());

    unit->ClearCommands();
    std::vector<BYTE> beyond(2 * 512);
    EXPECT_EQ(0x21000005u, UnitWriteBlocks(0, 2047, 2, beyond.data(), 512)) << "past the card's end";
    EXPECT_EQ(1u, Sent().size());
}

TEST_F(UnitBlocksTest, EachCommandIsRepeatedOnceOnReadyChange)
{
    unit->FailCommandWithSense(2, UNIT_ATTENTION, READY_CHANGE, 0x00);
    std::vector<BYTE> buffer(300 * 512);
    EXPECT_EQ(0u, UnitReadBlocks(0, 0, 300, buffer.data(), 512));
    ASSERT_EQ(4u, Sent().size());
    EXPECT_EQ(CdbOf(1), CdbOf(2));
    EXPECT_EQ(BlockCdb(0x28, 256, 44), CdbOf(3));

    unit->ClearCommands();
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    unit->FailCommandWithSense(2, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0x28000006u, UnitWriteBlocks(0, 0, 1, buffer.data(), 512));
    EXPECT_EQ(2u, Sent().size()) << "exactly two attempts";
}

TEST_F(UnitBlocksTest, CapacityIsReturnedInHostOrder)
{
    DWORD capacity[2] = {0xAAAAAAAA, 0xAAAAAAAA};
    EXPECT_EQ(0u, UnitReadCapacity(0, 0, capacity));
    EXPECT_EQ(2047u, capacity[0]);
    EXPECT_EQ(512u, capacity[1]);
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(Bytes({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}), CdbOf(0));
    EXPECT_EQ(8u, Sent()[0].length);

    RecordInsteadOfSending();
    UnitReadCapacity(0, 0x01020304, capacity);
    ASSERT_EQ(1u, s_recorded.size());
    EXPECT_EQ(Bytes({0x25, 0, 1, 2, 3, 4, 0, 0, 0, 0}), s_recorded[0].cdb);
}

TEST_F(UnitBlocksTest, CapacityFailureLeavesTheValuesAndIsRetriedOnce)
{
    DWORD capacity[2] = {7, 9};
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    unit->FailCommandWithSense(2, 0x02, 0x3A, 0x00);
    EXPECT_EQ(0x3A000002u, UnitReadCapacity(0, 0, capacity));
    EXPECT_EQ(2u, Sent().size());
    EXPECT_EQ(7u, capacity[0]);
    EXPECT_EQ(9u, capacity[1]);
    EXPECT_EQ(5u, UnitReadCapacity(0, 0, nullptr));
    EXPECT_EQ(2u, Sent().size());
}

}  // namespace
