// Loading image files of every size around the bounds, and identifying both layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "image/firmware_image.h"
#include "image/image_test_support.h"
#include "platform/system_table.h"

namespace {

class ImageLoadTest : public ::testing::Test {
protected:
    void TearDown() override { SystemTableReset(); }

    // Loads `path` into a fresh buffer; `image` stays for inspection.
    int Load(const std::string& path)
    {
        image->size = FIRMWARE_IMAGE_CAPACITY;
        return ImageLoadFile(path.c_str(), image->bytes, &image->size, sink);
    }

    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    RecordingSink sink;
};

TEST_F(ImageLoadTest, SizesAtAndAroundTheCapacity)
{
    WriteTestFile("full.bin", Pattern(0x30000));
    EXPECT_EQ(0, Load("full.bin"));
    EXPECT_EQ(0x30000, image->size);
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(0, std::memcmp(image->bytes, Pattern(0x30000).data(), 0x30000));

    WriteTestFile("over.bin", Pattern(0x30001));
    EXPECT_EQ(-1, Load("over.bin"));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());
    EXPECT_EQ(0x30000, image->size) << "the length is replaced only once the size is accepted";

    sink.shown.clear();
    WriteTestFile("empty.bin", {});
    EXPECT_EQ(-1, Load("empty.bin"));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());

    sink.shown.clear();
    WriteTestFile("one.bin", {0x42});
    EXPECT_EQ(0, Load("one.bin"));
    EXPECT_EQ(1, image->size);
    EXPECT_EQ(0x42, image->bytes[0]);
}

TEST_F(ImageLoadTest, SmallerCapacityIsTheBound)
{
    WriteTestFile("small.bin", Pattern(0x101));
    image->size = 0x100;
    EXPECT_EQ(-1, ImageLoadFile("small.bin", image->bytes, &image->size, sink));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());
}

TEST_F(ImageLoadTest, MissingFileNamesItsPath)
{
    EXPECT_EQ(-1, Load("no-such-image.bin"));
    ASSERT_EQ(1u, sink.shown.size());
    EXPECT_EQ(IMAGE_MESSAGE_CANNOT_OPEN, sink.shown[0].first);
    EXPECT_EQ("no-such-image.bin", sink.shown[0].second);
}

TEST_F(ImageLoadTest, BytesBeyondTheFileAreErasedBeforeEveryLoad)
{
    WriteTestFile("large.bin", Pattern(0x30000, 3));
    ASSERT_EQ(0, Load("large.bin"));
    WriteTestFile("odd.bin", Pattern(0x7FFF));
    ASSERT_EQ(0, Load("odd.bin"));
    EXPECT_EQ(0x7FFF, image->size);
    // The pad byte of the odd image and everything after it are 0xFF, nothing of the earlier file.
    for (size_t i = 0x7FFF; i < FIRMWARE_IMAGE_CAPACITY; ++i)
        ASSERT_EQ(0xFF, image->bytes[i]) << "at " << i;

    // A failed load leaves no earlier content either.
    WriteTestFile("empty.bin", {});
    EXPECT_EQ(-1, Load("empty.bin"));
    EXPECT_EQ(0xFF, image->bytes[0]);
    EXPECT_EQ(0xFF, image->bytes[0x2000]);
}

DWORD WINAPI FailingGetFileSize(HANDLE, LPDWORD)
{
    g_sys.SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_FILE_SIZE;
}

BOOL WINAPI ShortReadFile(HANDLE file, LPVOID buffer, DWORD length, LPDWORD read, LPOVERLAPPED overlapped)
{
    return SystemNativeTable().ReadFile(file, buffer, length / 2, read, overlapped);
}

BOOL WINAPI FailingReadFile(HANDLE, LPVOID, DWORD, LPDWORD read, LPOVERLAPPED)
{
    *read = 0;
    g_sys.SetLastError(ERROR_READ_FAULT);
    return FALSE;
}

int s_closeCalls = 0;

BOOL WINAPI FailingCloseHandle(HANDLE handle)
{
    ++s_closeCalls;
    SystemNativeTable().CloseHandle(handle);
    g_sys.SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

TEST_F(ImageLoadTest, FileSystemFailuresEachShowTheirMessage)
{
    WriteTestFile("image.bin", Pattern(0x4000));

    g_sys.GetFileSize = FailingGetFileSize;
    EXPECT_EQ(-1, Load("image.bin"));
    EXPECT_EQ(IMAGE_MESSAGE_SEEK_FAILED, sink.Only());
    SystemTableReset();

    sink.shown.clear();
    g_sys.ReadFile = ShortReadFile;
    EXPECT_EQ(-1, Load("image.bin"));
    EXPECT_EQ(IMAGE_MESSAGE_READ_FAILED, sink.Only());
    EXPECT_EQ(0x4000, image->size) << "the file's length is kept once the size was accepted";
    SystemTableReset();

    sink.shown.clear();
    g_sys.ReadFile = FailingReadFile;
    EXPECT_EQ(-1, Load("image.bin"));
    EXPECT_EQ(IMAGE_MESSAGE_READ_FAILED, sink.Only());
    SystemTableReset();

    // A close that fails makes the load fail without a message of its own.
    sink.shown.clear();
    s_closeCalls = 0;
    g_sys.CloseHandle = FailingCloseHandle;
    EXPECT_EQ(-1, Load("image.bin"));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(1, s_closeCalls);
}

TEST_F(ImageLoadTest, TheFileIsClosedAfterEveryFailure)
{
    WriteTestFile("empty.bin", {});
    s_closeCalls = 0;
    g_sys.CloseHandle = FailingCloseHandle;
    EXPECT_EQ(-1, Load("empty.bin"));
    EXPECT_EQ(1, s_closeCalls);
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());
}

class ImageCheckTest : public ::testing::Test {
protected:
    const BYTE* CheckOld(const std::vector<uint8_t>& bytes)
    {
        Place(bytes);
        return ImageCheckOldLayout(image->bytes, static_cast<LONG>(bytes.size()), sink);
    }
    const BYTE* CheckNew(const std::vector<uint8_t>& bytes)
    {
        Place(bytes);
        return ImageCheckNewLayout(image->bytes, static_cast<LONG>(bytes.size()), sink);
    }
    // As a load leaves it: the file's bytes, then erased bytes.
    void Place(const std::vector<uint8_t>& bytes)
    {
        std::memset(image->bytes, 0xFF, FIRMWARE_IMAGE_CAPACITY);
        if (!bytes.empty())
            std::memcpy(image->bytes, bytes.data(), bytes.size());
        sink.shown.clear();
    }

    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    RecordingSink sink;
};

TEST_F(ImageCheckTest, OldLayoutSizeBounds)
{
    const BYTE* block = CheckOld(OldImage(0x10000, "1.97"));
    ASSERT_EQ(image->bytes + 0x2000, block);
    EXPECT_EQ(0, std::memcmp(ImageOldVersionText(block), "1.97", 4));
    EXPECT_TRUE(sink.shown.empty());

    EXPECT_EQ(nullptr, CheckOld(OldImage(0x10001)));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only()) << "too large: refused before the signature";

    // The shortest file that holds the block up to the version text, and one byte less.
    EXPECT_NE(nullptr, CheckOld(OldImage(0x201C)));
    std::vector<uint8_t> cut = OldImage(0x201C);
    cut.pop_back();
    EXPECT_EQ(nullptr, CheckOld(cut));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());
    EXPECT_EQ(nullptr, CheckOld({}));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());
}

TEST_F(ImageCheckTest, OldLayoutSignature)
{
    std::vector<uint8_t> bytes = OldImage(0x8000);
    Put(bytes, 0x2000, "VORNA  ");  // vendor with a blank too few
    bytes[0x2007] = 'X';
    EXPECT_EQ(nullptr, CheckOld(bytes));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_IMAGE, sink.Only());

    bytes = OldImage(0x8000);
    Put(bytes, 0x2008, "qzv-57");
    EXPECT_EQ(nullptr, CheckOld(bytes));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_IMAGE, sink.Only());

    // Bytes after the product stem are not compared: any product letter is accepted.
    bytes = OldImage(0x8000);
    Put(bytes, 0x200E, "Z?\x01");
    EXPECT_NE(nullptr, CheckOld(bytes));

    // A new-layout image offered to an old unit.
    EXPECT_EQ(nullptr, CheckOld(NewImage(0x10000, 0x10000)));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_IMAGE, sink.Only());
    EXPECT_EQ(nullptr, CheckOld(NewImage(0x10002, 0x10002)));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());
}

TEST_F(ImageCheckTest, NewLayoutSizeBounds)
{
    EXPECT_NE(nullptr, CheckNew(NewImage(0x30000, 0x30000)));
    std::vector<uint8_t> over = NewImage(0x30000, 0x30000);
    over.push_back(0);
    EXPECT_EQ(nullptr, CheckNew(over));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());

    // The shortest file that holds all four version slots, and one byte less.
    EXPECT_NE(nullptr, CheckNew(NewImage(0x20BC, 0x20BC)));
    EXPECT_EQ(nullptr, CheckNew(NewImage(0x20BB, 0x20BB)));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());
    // Short of the length field itself: the erased buffer must not make it pass.
    std::vector<uint8_t> tagOnly(0x2008, 0);
    Put(tagOnly, 0x2000, "VRNC7Q52");
    EXPECT_EQ(nullptr, CheckNew(tagOnly));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());
}

TEST_F(ImageCheckTest, NewLayoutLengthField)
{
    EXPECT_EQ(nullptr, CheckNew(NewImage(0x12345, 0x12346)));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only()) << "a length field beyond the file";
    EXPECT_EQ(nullptr, CheckNew(NewImage(0x12345, 0xFFFFFFFFu)));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_SIZE, sink.Only());

    // Equal, one shorter (odd L, padded file) and two or more shorter all pass identification.
    EXPECT_NE(nullptr, CheckNew(NewImage(0x12345, 0x12345)));
    EXPECT_NE(nullptr, CheckNew(NewImage(0x12346, 0x12345)));
    EXPECT_NE(nullptr, CheckNew(NewImage(0x12347, 0x12345)));
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(ImageCheckTest, NewLayoutTagAlone)
{
    std::vector<uint8_t> bytes = NewImage(0x9000, 0x9000);
    Put(bytes, 0x2007, "3");
    EXPECT_EQ(nullptr, CheckNew(bytes));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_IMAGE, sink.Only());

    // An old-layout image offered to a new unit.
    EXPECT_EQ(nullptr, CheckNew(OldImage(0x9000)));
    EXPECT_EQ(IMAGE_MESSAGE_INVALID_IMAGE, sink.Only());

    // Everything from 0x200C on is free: no vendor or product text is looked for.
    bytes = NewImage(0x9000, 0x9000);
    std::memset(bytes.data() + 0x200C, 0, 0x9000 - 0x200C);
    EXPECT_EQ(image->bytes + 0x2000, CheckNew(bytes));
}

TEST_F(ImageCheckTest, VersionSlotFromConfigurationBits)
{
    const BYTE* block = CheckNew(NewImage(0x3000, 0x3000));
    ASSERT_NE(nullptr, block);
    // The configuration value is little-endian: its second byte holds the slot in bits 5 and 6.
    const struct {
        DWORD configuration;
        const char* version;
        size_t offset;
    } cases[] = {
        {0x00000000, "V0.0", 0x202C},
        {0x00002000, "V1.1", 0x2050},
        {0x00004000, "V2.2", 0x2074},
        {0xFFFFFFFF, "V3.3", 0x2098},
        {0xFFFF9FFF, "V0.0", 0x202C},
    };
    for (const auto& c : cases) {
        const BYTE* text = ImageNewVersionText(block, c.configuration);
        EXPECT_EQ(image->bytes + c.offset, text) << std::hex << c.configuration;
        EXPECT_EQ(0, std::memcmp(text, c.version, 4)) << std::hex << c.configuration;
    }
}

}  // namespace
