// The exact command and data sequence of both download procedures, their refusals, and a failure in
// the middle of a download never being followed by the saving command.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/download.h"
#include "image/firmware_image.h"
#include "image/image_test_support.h"

namespace {

struct Sent {
    std::vector<uint8_t> cdb;  // the first 10 bytes of the area
    DWORD direction;
    DWORD cdbLength;
    std::vector<uint8_t> data;
    const BYTE* dataPointer;
};

// The unit behind the entry: records every command and can fail the n-th one.
struct RecordingUnit {
    BYTE area[16];
    std::vector<Sent> sent;
    unsigned failAt = 0;  // 1-based; 0 never
    UnitStatus failStatus = 0;
    bool noArea = false;
    DWORD transportIndexSeen = 0xFFFFFFFF;
};

RecordingUnit* s_unit = nullptr;

BYTE* RecordingGetCdb(DWORD transportIndex)
{
    s_unit->transportIndexSeen = transportIndex;
    return s_unit->noArea ? nullptr : s_unit->area;
}

UnitStatus RecordingExecute(DWORD transportIndex, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    EXPECT_EQ(s_unit->transportIndexSeen, transportIndex);
    const BYTE* bytes = static_cast<const BYTE*>(data);
    s_unit->sent.push_back({std::vector<uint8_t>(s_unit->area, s_unit->area + 10), direction, cdbLength,
                            std::vector<uint8_t>(bytes, bytes + length), bytes});
    return s_unit->sent.size() == s_unit->failAt ? s_unit->failStatus : 0;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> bytes;
    for (int b : list)
        bytes.push_back(static_cast<uint8_t>(b));
    return bytes;
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        s_unit = &unit;
        std::memset(unit.area, 0xEE, sizeof unit.area);
        entry.getCdb = RecordingGetCdb;
        entry.execute = RecordingExecute;
        entry.transportIndex = 7;
        std::memset(image->bytes, 0xFF, FIRMWARE_IMAGE_CAPACITY);
    }
    void TearDown() override { s_unit = nullptr; }

    // Places a file's bytes as a load does and returns the length the update run passes (made even).
    DWORD Place(const std::vector<uint8_t>& bytes)
    {
        std::memcpy(image->bytes, bytes.data(), bytes.size());
        return static_cast<DWORD>(bytes.size() + (bytes.size() & 1));
    }

    // Every command is WRITE BUFFER, 10 bytes, host to unit, sent straight from the caller's memory.
    void ExpectPiece(const Sent& s, BYTE mode, DWORD offset, DWORD length)
    {
        EXPECT_EQ(Bytes({0x3B, mode, 0x00, int(offset >> 16), int((offset >> 8) & 0xFF), int(offset & 0xFF),
                         int(length >> 16), int((length >> 8) & 0xFF), int(length & 0xFF), 0x00}),
                  s.cdb);
        EXPECT_EQ(static_cast<DWORD>(UnitDataOut), s.direction);
        EXPECT_EQ(10u, s.cdbLength);
        ASSERT_EQ(length, s.data.size());
        EXPECT_EQ(image->bytes + offset, s.dataPointer) << "pieces go straight from the image buffer";
        EXPECT_EQ(0, std::memcmp(s.data.data(), image->bytes + offset, length));
    }

    void ExpectHeader(const Sent& s, uint32_t length, uint32_t crc)
    {
        EXPECT_EQ(Bytes({0x3B, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00}), s.cdb);
        EXPECT_EQ(static_cast<DWORD>(UnitDataOut), s.direction);
        EXPECT_EQ(10u, s.cdbLength);
        EXPECT_EQ(Bytes({int(length >> 24), int((length >> 16) & 0xFF), int((length >> 8) & 0xFF),
                         int(length & 0xFF), int(crc >> 24), int((crc >> 16) & 0xFF), int((crc >> 8) & 0xFF),
                         int(crc & 0xFF)}),
                  s.data);
    }

    RecordingUnit unit;
    UnitEntry entry{};
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
};

TEST(ImageCrc32Test, CheckValueAndBitOrder)
{
    const char* check = "123456789";
    EXPECT_EQ(0xFC891918u, ImageCrc32(reinterpret_cast<const BYTE*>(check), 9));
    EXPECT_EQ(0u, ImageCrc32(nullptr, 0));
    const BYTE zero = 0x00;
    const BYTE one = 0x80;
    // One zero byte, worked out from the definition by hand; a reflected CRC gives another value.
    EXPECT_EQ(0xB1F7404Bu, ImageCrc32(&zero, 1));
    EXPECT_NE(ImageCrc32(&zero, 1), ImageCrc32(&one, 1));
}

TEST_F(DownloadTest, OldWholeImageInOneCommand)
{
    const DWORD length = Place(OldImage(0x10000));
    EXPECT_EQ(0u, ImageDownloadOld(&entry, length, image->bytes));
    ASSERT_EQ(1u, unit.sent.size());
    EXPECT_EQ(Bytes({0x3B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}), unit.sent[0].cdb);
    EXPECT_EQ(static_cast<DWORD>(UnitDataOut), unit.sent[0].direction);
    EXPECT_EQ(10u, unit.sent[0].cdbLength);
    EXPECT_EQ(0x10000u, unit.sent[0].data.size());
    EXPECT_EQ(image->bytes, unit.sent[0].dataPointer);
    EXPECT_EQ(7u, unit.transportIndexSeen);
}

TEST_F(DownloadTest, OldOddLengthSendsThePadByte)
{
    Place(OldImage(0x7FFF));
    EXPECT_EQ(0u, ImageDownloadOld(&entry, 0x7FFF, image->bytes));
    ASSERT_EQ(1u, unit.sent.size());
    EXPECT_EQ(Bytes({0x3B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00}), unit.sent[0].cdb);
    ASSERT_EQ(0x8000u, unit.sent[0].data.size());
    EXPECT_EQ(0xFF, unit.sent[0].data[0x7FFF]);

    // Lengths that need byte 9 and the bytes above it.
    unit.sent.clear();
    EXPECT_EQ(0u, ImageDownloadOld(&entry, 0x201D, image->bytes));
    EXPECT_EQ(Bytes({0x3B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x1E}), unit.sent[0].cdb);
}

TEST_F(DownloadTest, OldRefusalsSendNothing)
{
    Place(OldImage(0x10000));
    EXPECT_EQ(5u, ImageDownloadOld(&entry, 0x10001, image->bytes));
    EXPECT_EQ(5u, ImageDownloadOld(&entry, 0x30000, image->bytes));
    unit.noArea = true;
    EXPECT_EQ(5u, ImageDownloadOld(&entry, 0x8000, image->bytes));
    EXPECT_TRUE(unit.sent.empty());

    unit.noArea = false;
    unit.failAt = 1;
    unit.failStatus = 0x00260005;
    EXPECT_EQ(0x00260005u, ImageDownloadOld(&entry, 0x8000, image->bytes));
}

TEST_F(DownloadTest, NewSmallImageIsHeaderAndOneSave)
{
    const DWORD length = Place(NewImage(0x10000, 0x10000));
    EXPECT_EQ(0u, ImageDownloadNew(&entry, length, image->bytes));
    ASSERT_EQ(2u, unit.sent.size());
    ExpectHeader(unit.sent[0], 0x10000, ImageCrc32(image->bytes, 0x10000));
    ExpectPiece(unit.sent[1], 0x05, 0, 0x10000);

    unit.sent.clear();
    const DWORD shortest = Place(NewImage(0x20BC, 0x20BC));
    EXPECT_EQ(0u, ImageDownloadNew(&entry, shortest, image->bytes));
    ASSERT_EQ(2u, unit.sent.size());
    ExpectPiece(unit.sent[1], 0x05, 0, 0x20BC);
}

TEST_F(DownloadTest, NewImageOf0x12345BytesIsSentInTwoPieces)
{
    // The file of exactly L bytes, padded by the caller, and the file of L + 1 bytes.
    for (size_t fileSize : {size_t(0x12345), size_t(0x12346)}) {
        SCOPED_TRACE(fileSize);
        unit.sent.clear();
        std::memset(image->bytes, 0xFF, FIRMWARE_IMAGE_CAPACITY);
        const DWORD length = Place(NewImage(fileSize, 0x12345));
        ASSERT_EQ(0x12346u, length);
        EXPECT_EQ(0u, ImageDownloadNew(&entry, length, image->bytes));
        ASSERT_EQ(3u, unit.sent.size());
        // The CRC covers the image and its identification block, never the pad byte.
        const DWORD crc = ImageCrc32(image->bytes, 0x12345);
        EXPECT_NE(crc, ImageCrc32(image->bytes, 0x12346));
        ExpectHeader(unit.sent[0], 0x12345, crc);
        ExpectPiece(unit.sent[1], 0x00, 0x10000, 0x2346);
        ExpectPiece(unit.sent[2], 0x05, 0, 0x10000);
    }
}

TEST_F(DownloadTest, NewFullImageIsSentHighestPieceFirst)
{
    const DWORD length = Place(NewImage(0x30000, 0x30000));
    EXPECT_EQ(0u, ImageDownloadNew(&entry, length, image->bytes));
    ASSERT_EQ(4u, unit.sent.size());
    ExpectHeader(unit.sent[0], 0x30000, ImageCrc32(image->bytes, 0x30000));
    ExpectPiece(unit.sent[1], 0x00, 0x20000, 0x10000);
    ExpectPiece(unit.sent[2], 0x00, 0x10000, 0x10000);
    ExpectPiece(unit.sent[3], 0x05, 0, 0x10000);

    // Just over two pieces: a third piece of two bytes.
    unit.sent.clear();
    const DWORD longer = Place(NewImage(0x20002, 0x20002));
    EXPECT_EQ(0u, ImageDownloadNew(&entry, longer, image->bytes));
    ASSERT_EQ(4u, unit.sent.size());
    ExpectPiece(unit.sent[1], 0x00, 0x20000, 0x2);
    ExpectPiece(unit.sent[2], 0x00, 0x10000, 0x10000);
}

TEST_F(DownloadTest, NewRefusalsSendNothing)
{
    Place(NewImage(0x12347, 0x12345));
    EXPECT_EQ(5u, ImageDownloadNew(&entry, 0x12348, image->bytes)) << "file two bytes longer than L";
    EXPECT_EQ(5u, ImageDownloadNew(&entry, 0x12344, image->bytes)) << "file shorter than L";

    Place(NewImage(0x30000, 0x30002));
    EXPECT_EQ(5u, ImageDownloadNew(&entry, 0x30002, image->bytes)) << "beyond the image buffer";

    // Length fields beyond the image buffer, passed with the longest length there is: refused before
    // the CRC would read past the buffer. (All ones made even would wrap to 0 in 32 bits, but no
    // length of 0 gets that far: the next check refuses it.)
    for (DWORD field : {0xFFFFFFFFu, 0xFFFFFFFEu, 0x80000000u, 0x30002u, 0x30001u}) {
        Place(NewImage(0x3000, field));
        EXPECT_EQ(5u, ImageDownloadNew(&entry, FIRMWARE_IMAGE_CAPACITY, image->bytes)) << field;
        EXPECT_EQ(5u, ImageDownloadNew(&entry, 0, image->bytes)) << field;
    }
    // Too short to hold the length field (which ends at 0x200C): it is not read from beyond the image.
    Place(NewImage(0x3000, 0x200A));
    EXPECT_EQ(5u, ImageDownloadNew(&entry, 0x200A, image->bytes));
    Place(NewImage(0x3000, 0x200C));
    EXPECT_EQ(0u, ImageDownloadNew(&entry, 0x200C, image->bytes)) << "the shortest length that holds it";
    unit.sent.clear();

    Place(NewImage(0x3000, 0x3000));
    unit.noArea = true;
    EXPECT_EQ(5u, ImageDownloadNew(&entry, 0x3000, image->bytes));
    EXPECT_TRUE(unit.sent.empty());
}

// The unit table picks a procedure by the revision the unit reports when Start counts the units,
// which need not be the revision the probe checked the image for: neither procedure sends an image
// of the other layout.
TEST_F(DownloadTest, EachProcedureRefusesAnImageOfTheOtherLayout)
{
    Place(NewImage(0x4000, 0x4000));
    EXPECT_EQ(5u, ImageDownloadOld(&entry, 0x4000, image->bytes));
    Place(OldImage(0x4000));
    EXPECT_EQ(5u, ImageDownloadNew(&entry, 0x4000, image->bytes));
    // A matching length field alone does not make an image of the new layout.
    std::vector<uint8_t> untagged = NewImage(0x4000, 0x4000);
    untagged[0x2000] = 'v';
    Place(untagged);
    EXPECT_EQ(5u, ImageDownloadNew(&entry, 0x4000, image->bytes));
    // Nor does a vendor text without the product stem make one of the old layout.
    std::vector<uint8_t> foreign = OldImage(0x4000);
    foreign[0x200D] = '8';
    Place(foreign);
    EXPECT_EQ(5u, ImageDownloadOld(&entry, 0x4000, image->bytes));
    EXPECT_TRUE(unit.sent.empty());
}

TEST_F(DownloadTest, FailureStopsTheSequenceBeforeTheSave)
{
    const DWORD length = Place(NewImage(0x30000, 0x30000));
    const UnitStatus failure = 0x2C000005;  // a sense-derived status
    for (unsigned failing = 1; failing <= 4; ++failing) {
        SCOPED_TRACE(failing);
        unit.sent.clear();
        unit.failAt = failing;
        unit.failStatus = failure;
        EXPECT_EQ(failure, ImageDownloadNew(&entry, length, image->bytes));
        ASSERT_EQ(failing, unit.sent.size()) << "nothing is sent after the failing command";
        for (unsigned i = 0; i + 1 < failing; ++i)
            EXPECT_NE(0x05, unit.sent[i].cdb[1]) << "the save comes only last";
    }
    // A failing second piece of the 0x12345-byte image: the saving piece is never sent.
    unit.sent.clear();
    std::memset(image->bytes, 0xFF, FIRMWARE_IMAGE_CAPACITY);
    const DWORD mid = Place(NewImage(0x12345, 0x12345));
    unit.failAt = 2;
    unit.failStatus = 0x28000006;
    EXPECT_EQ(0x28000006u, ImageDownloadNew(&entry, mid, image->bytes)) << "no retry";
    ASSERT_EQ(2u, unit.sent.size());
    EXPECT_EQ(0x00, unit.sent[1].cdb[1]);
}

}  // namespace
