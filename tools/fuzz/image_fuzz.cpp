// libFuzzer target for the image file: loading it (with the file's size, read and close failing as
// the input says), both layout checks, the version texts of every slot, and the download plan of both
// procedures run against a recording entry. What each must give is worked out here from the file
// alone: the load's result and message, the buffer (the file, then 0xFF), which layout check accepts
// it and with which message it refuses, and every command of the plan with its CDB, its length and
// where its data lies in the image buffer.
//
// Input: a control byte (bit 0 the size cannot be had, 1 the read comes back a byte short, 2 the
// close fails, 3 the file does not open), three bytes of the file's length (big-endian, up to a little
// beyond the buffer), four bytes of a configuration value, then the bytes of the identification
// block from image offset 0x2000; the rest of the file is a filler.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "download_plan.h"
#include "image/firmware_image.h"
#include "platform/system_table.h"
#include "tools/update_check/download_expectation.h"
#include "tools/fuzz/fuzz_input.h"

namespace {

// The file the loader reads, served through the system table.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    bool sizeFails = false, readShort = false, closeFails = false, openFails = false;
    size_t read = 0;
    bool open = false;
};
MemoryFile s_file;
HANDLE const FILE_HANDLE = reinterpret_cast<HANDLE>(0x7F11E);

HANDLE WINAPI FileCreate(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    if (s_file.openFails || s_file.open) {
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    s_file.open = true;
    return FILE_HANDLE;
}

DWORD WINAPI FileSize(HANDLE file, LPDWORD high)
{
    if (file != FILE_HANDLE || !s_file.open)
        Violated("the size of a file that is not open");
    if (s_file.sizeFails) {
        g_sys.SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_FILE_SIZE;
    }
    if (high)
        *high = 0;
    return static_cast<DWORD>(s_file.bytes.size());
}

BOOL WINAPI FileRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED)
{
    if (file != FILE_HANDLE || !s_file.open)
        Violated("a read from a file that is not open");
    size_t n = std::min<size_t>(size, s_file.bytes.size() - s_file.read);
    if (s_file.readShort && n > 0)
        --n;
    std::memcpy(buffer, s_file.bytes.data() + s_file.read, n);
    s_file.read += n;
    *done = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WINAPI FileClose(HANDLE file)
{
    if (file != FILE_HANDLE || !s_file.open)
        Violated("a close of a file that is not open");
    s_file.open = false;
    return s_file.closeFails ? FALSE : TRUE;
}

class RecordingSink : public ImageMessageSink {
public:
    void ShowImageMessage(ImageMessage message, const char*) override { shown.push_back(message); }
    std::vector<int> shown;
};

void ExpectMessage(const RecordingSink& sink, int expected, const char* step)
{
    const bool fine = expected == 0 ? sink.shown.empty() : sink.shown == std::vector<int>{expected};
    if (!fine)
        Violated("%s: %zu messages, the first %d; expected %d", step, sink.shown.size(),
                 sink.shown.empty() ? 0 : sink.shown[0], expected);
}

uint32_t BigEndian(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

// Loads the file and checks the outcome; true when it loaded.
bool CheckLoad(FirmwareImage& image)
{
    const std::vector<uint8_t>& file = s_file.bytes;
    RecordingSink sink;
    image.size = FIRMWARE_IMAGE_CAPACITY;
    const int result = ImageLoadFile("fw.bin", image.bytes, &image.size, sink);
    int message = 0;
    if (s_file.openFails)
        message = 4003;
    else if (s_file.sizeFails)
        message = 4005;
    else if (file.empty() || file.size() > FIRMWARE_IMAGE_CAPACITY)
        message = 4006;
    else if (s_file.readShort)
        message = 4004;
    ExpectMessage(sink, message, "load");
    if ((result == 0) != (message == 0 && !s_file.closeFails))
        Violated("load returned %d", result);
    if (s_file.open)
        Violated("the file was left open");
    if (result != 0)
        return false;
    if (image.size != static_cast<LONG>(file.size()) || std::memcmp(image.bytes, file.data(), file.size()) != 0)
        Violated("the buffer does not hold the file");
    for (size_t i = file.size(); i < FIRMWARE_IMAGE_CAPACITY; ++i)
        if (image.bytes[i] != 0xFF)
            Violated("buffer byte 0x%zx beyond the file is 0x%02x", i, image.bytes[i]);
    return true;
}

void CheckLayouts(const FirmwareImage& image, DWORD configuration)
{
    const std::vector<uint8_t>& file = s_file.bytes;
    const size_t n = file.size();
    const uint8_t* block = file.data() + 0x2000;

    RecordingSink oldSink;
    const BYTE* oldBlock = ImageCheckOldLayout(image.bytes, image.size, oldSink);
    int oldMessage = n < 0x201C || n > 0x10000 ? 4006 : std::memcmp(block, "VORNA   QZV-57", 14) != 0 ? 4007 : 0;
    ExpectMessage(oldSink, oldMessage, "old layout");
    if ((oldBlock != nullptr) != (oldMessage == 0) || (oldBlock && oldBlock != image.bytes + 0x2000))
        Violated("old layout: block %p", static_cast<const void*>(oldBlock));
    if (oldBlock && ImageOldVersionText(oldBlock) != image.bytes + 0x2018)
        Violated("old layout: the version text is not at 0x2018");

    RecordingSink newSink;
    const BYTE* newBlock = ImageCheckNewLayout(image.bytes, image.size, newSink);
    int newMessage = n < 0x20BC || n > 0x30000                   ? 4006
                     : std::memcmp(block, "VRNC7Q52", 8) != 0    ? 4007
                     : n < BigEndian(block + 8)                  ? 4006
                                                                 : 0;
    ExpectMessage(newSink, newMessage, "new layout");
    if ((newBlock != nullptr) != (newMessage == 0) || (newBlock && newBlock != image.bytes + 0x2000))
        Violated("new layout: block %p", static_cast<const void*>(newBlock));
    if (!newBlock)
        return;
    // Every slot's text lies within the file; the value's bits 13 and 14 choose it.
    for (DWORD slot = 0; slot < 4; ++slot) {
        const DWORD value = (configuration & ~0x6000u) | slot << 13;
        if (ImageNewVersionText(newBlock, value) != image.bytes + 0x202C + 36 * slot)
            Violated("new layout: the text of slot %u is misplaced", unsigned(slot));
    }
}

void CheckPlan(FirmwareImage& image, bool newGeneration)
{
    const DWORD length = static_cast<DWORD>(image.size + (image.size & 1));
    const DownloadPlan plan = PlanDownload(image.bytes, length, newGeneration ? 0x322E3030u : 0x312E3530u);
    const std::vector<ExpectedWrite> expected = ExpectedDownload(s_file.bytes, newGeneration);
    if (expected.empty()) {
        if (plan.status != 5 || !plan.commands.empty())
            Violated("a refused image: status %u after %zu commands", unsigned(plan.status), plan.commands.size());
        return;
    }
    if (plan.status != 0 || plan.commands.size() != expected.size())
        Violated("status %u after %zu commands, %zu expected", unsigned(plan.status), plan.commands.size(),
                 expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const PlannedCommand& sent = plan.commands[i];
        const ExpectedWrite& wanted = expected[i];
        if (sent.cdb != wanted.cdb || sent.direction != UnitDataOut || sent.length != wanted.data.size() ||
            sent.fromImage != wanted.fromImage)
            Violated("command %zu differs", i + 1);
        if (sent.fromImage && (sent.imageOffset != wanted.offset || sent.imageOffset + sent.length > length))
            Violated("command %zu takes 0x%x bytes at 0x%x", i + 1, unsigned(sent.length), unsigned(sent.imageOffset));
        if (!sent.fromImage && sent.data != wanted.data)
            Violated("command %zu carries other bytes", i + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    const uint8_t control = data[0];
    const size_t length = std::min<size_t>(size_t(data[1]) << 16 | size_t(data[2]) << 8 | data[3], 0x30010);
    const DWORD configuration = BigEndian(data + 4);
    s_file = MemoryFile();
    s_file.sizeFails = control & 1;
    s_file.readShort = control & 2;
    s_file.closeFails = control & 4;
    s_file.openFails = control & 8;
    s_file.bytes.resize(length);
    for (size_t i = 0; i < length; ++i)
        s_file.bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    for (size_t i = 8; i < size && 0x2000 + i - 8 < length; ++i)
        s_file.bytes[0x2000 + i - 8] = data[i];

    g_sys.CreateFileA = FileCreate;
    g_sys.GetFileSize = FileSize;
    g_sys.ReadFile = FileRead;
    g_sys.CloseHandle = FileClose;
    // Exactly the buffer's size, so that a read beyond it is caught.
    std::unique_ptr<FirmwareImage> image(new FirmwareImage);
    if (CheckLoad(*image)) {
        CheckLayouts(*image, configuration);
        CheckPlan(*image, false);
        CheckPlan(*image, true);
    }
    return 0;
}
