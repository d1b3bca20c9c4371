// The S-record conversion: digits and records, the text mode and line pieces, placing records in
// the image, every status, the output left intact on failure, and agreement with srec_cat.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "image/mot_convert.h"
#include "image/mot_text_reader.h"
#include "image/mot_reference.h"
#include "platform/system_table.h"

namespace fs = std::filesystem;

namespace {

// One S-record line (without its line end) of the given type, with a correct checksum unless told.
std::string Record(int type, uint32_t address, const std::vector<uint8_t>& data, bool lowerCase = false,
                   int checksumError = 0)
{
    static const int addressLength[10] = {2, 2, 3, 4, 0, 2, 0, 4, 3, 2};
    int length = addressLength[type];
    std::vector<uint8_t> bytes;
    bytes.push_back(static_cast<uint8_t>(length + data.size() + 1));
    for (int i = length - 1; i >= 0; --i)
        bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<uint8_t>(~sum + checksumError));
    std::string line = "S" + std::to_string(type);
    for (uint8_t b : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, lowerCase ? "%02x" : "%02X", b);
        line += pair;
    }
    return line;
}

std::vector<uint8_t> Bytes(size_t count, uint8_t first)
{
    std::vector<uint8_t> data(count);
    for (size_t i = 0; i < count; ++i)
        data[i] = static_cast<uint8_t>(first + i);
    return data;
}

std::string ReadWhole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWhole(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Expected image: 0xFF everywhere, the given bytes at their address.
struct Image {
    std::string bytes;
    void Put(uint32_t address, const std::vector<uint8_t>& data)
    {
        if (bytes.size() < address + data.size())
            bytes.resize(address + data.size(), '\xFF');
        for (size_t i = 0; i < data.size(); ++i)
            bytes[address + i] = static_cast<char>(data[i]);
    }
};

// Each test works in a fresh folder of its own.
class MotConvertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::path("mot") / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_input = (m_dir / "in.mot").string();
        m_output = (m_dir / "out.bin").string();
    }
    void TearDown() override { SystemTableReset(); }

    MotStatus Convert(const std::string& text, uint32_t capacity = 0x30000)
    {
        WriteWhole(m_input, text);
        return MotConvertFile(m_input.c_str(), m_output.c_str(), capacity);
    }

    std::string Output() const { return ReadWhole(m_output); }

    // The folder holds exactly the given names: no temporary file was left behind.
    void ExpectOnly(std::vector<std::string> names) const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(m_dir))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, found);
    }

    // Converts text over an existing output and expects the given failure with that output intact.
    void ExpectFailureKeepsOutput(const std::string& text, MotStatus expected, uint32_t capacity = 0x30000)
    {
        WriteWhole(m_output, "previous output");
        EXPECT_EQ(expected, Convert(text, capacity));
        EXPECT_EQ("previous output", Output());
        ExpectOnly({"in.mot", "out.bin"});
    }

    fs::path m_dir;
    std::string m_input, m_output;
};

TEST(MotHexTest, DigitsAndPairs)
{
    for (int c = -1; c < 257; ++c) {
        int expected = -1;
        if (c >= '0' && c <= '9')
            expected = c - '0';
        else if (c >= 'A' && c <= 'F')
            expected = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            expected = c - 'a' + 10;
        EXPECT_EQ(expected, MotHexDigit(c)) << c;
    }
    uint8_t byte = 0;
    EXPECT_EQ(0, MotHexByte("a5", &byte));
    EXPECT_EQ(0xA5, byte);
    EXPECT_EQ(0, MotHexByte("0F", &byte));
    EXPECT_EQ(0x0F, byte);
    EXPECT_EQ(-1, MotHexByte("G0", &byte));
    EXPECT_EQ(-1, MotHexByte("0G", &byte));
    EXPECT_EQ(-1, MotHexByte("0", &byte));
    // A first character that is no digit ends the pair: the byte after it is never read.
    char single = 'x';
    EXPECT_EQ(-1, MotHexByte(&single, &byte));
    EXPECT_EQ(0x0F, byte);
}

TEST(MotRecordTest, DataRecordsOfEachAddressLength)
{
    MotRecord record;
    ASSERT_EQ(MOT_OK, MotParseRecord((Record(1, 0x1234, {0xAA, 0xBB}) + "\n").c_str(), &record));
    EXPECT_EQ(0x1234u, record.address);
    EXPECT_EQ(2, record.dataCount);
    EXPECT_EQ(0, record.endFlag);
    EXPECT_EQ(0xAA, record.data[0]);
    EXPECT_EQ(0xBB, record.data[1]);

    ASSERT_EQ(MOT_OK, MotParseRecord(Record(2, 0x123456, {1}).c_str(), &record));
    EXPECT_EQ(0x123456u, record.address);
    EXPECT_EQ(1, record.dataCount);

    ASSERT_EQ(MOT_OK, MotParseRecord(Record(3, 0xFEDCBA98, Bytes(250, 0), true).c_str(), &record));
    EXPECT_EQ(0xFEDCBA98u, record.address);
    EXPECT_EQ(250, record.dataCount);
    EXPECT_EQ(249, record.data[249]);
    EXPECT_EQ(MOT_OK, record.status);
}

TEST(MotRecordTest, RecordsThatCarryNoData)
{
    MotRecord record;
    struct {
        int type;
        int endFlag;
    } cases[] = {{0, 0}, {5, 0}, {7, 1}, {8, 1}, {9, 1}};
    for (auto c : cases) {
        std::string line = Record(c.type, 0x10, {0x41, 0x42});
        ASSERT_EQ(MOT_OK, MotParseRecord(line.c_str(), &record)) << line;
        EXPECT_EQ(0, record.dataCount) << line;
        EXPECT_EQ(c.endFlag, record.endFlag) << line;
        EXPECT_EQ(0x10u, record.address) << line;
    }
}

TEST(MotRecordTest, TextAroundTheRecord)
{
    MotRecord record;
    std::memset(&record, 0x77, sizeof record);
    // No upper-case S: no record, and the record is cleared.
    EXPECT_EQ(MOT_OK, MotParseRecord("  comment s1 without the mark\n", &record));
    EXPECT_EQ(0u, record.address);
    EXPECT_EQ(0, record.dataCount);
    EXPECT_EQ(0, record.endFlag);
    EXPECT_EQ(0, record.data[255]);
    EXPECT_EQ(MOT_OK, MotParseRecord("", &record));
    EXPECT_EQ(MOT_OK, MotParseRecord(nullptr, &record));

    // Text before the S is skipped, text after the checksum ignored.
    ASSERT_EQ(MOT_OK, MotParseRecord(("junk" + Record(1, 0x20, {7}) + "ZZ trailing").c_str(), &record));
    EXPECT_EQ(0x20u, record.address);
    EXPECT_EQ(1, record.dataCount);

    // A NUL ends the piece: the record after it is not seen.
    std::string hidden = std::string("ab", 2) + '\0' + Record(1, 0, {1});
    EXPECT_EQ(MOT_OK, MotParsePiece(hidden.data(), hidden.size(), &record));
    EXPECT_EQ(0, record.dataCount);
}

TEST(MotRecordTest, MalformedRecords)
{
    MotRecord record;
    EXPECT_EQ(MOT_BAD_RECORD_TYPE, MotParseRecord("S4030000FC", &record));
    EXPECT_EQ(MOT_BAD_RECORD_TYPE, MotParseRecord("S6030000FC", &record));
    EXPECT_EQ(MOT_BAD_RECORD_TYPE, MotParseRecord("SA030000FC", &record));
    EXPECT_EQ(MOT_BAD_RECORD_TYPE, MotParseRecord("S", &record));
    EXPECT_EQ(MOT_BAD_RECORD_TYPE, MotParseRecord("; See the notes", &record));
    EXPECT_EQ(MOT_BAD_RECORD_TYPE, record.status);

    std::string good = Record(1, 0x1000, {0xAA, 0xBB});
    for (size_t cut = 2; cut < good.size(); ++cut)
        EXPECT_EQ(MOT_BAD_HEX_DIGIT, MotParseRecord(good.substr(0, cut).c_str(), &record)) << cut;
    std::string bad = good;
    bad[9] = 'g';
    EXPECT_EQ(MOT_BAD_HEX_DIGIT, MotParseRecord(bad.c_str(), &record));
    bad = good;
    bad[4] = ' ';
    EXPECT_EQ(MOT_BAD_HEX_DIGIT, MotParseRecord(bad.c_str(), &record));

    // A byte count equal to the address length leaves no room for the checksum, whatever the type.
    EXPECT_EQ(MOT_NO_CHECKSUM_ROOM, MotParseRecord("S1021000", &record));
    EXPECT_EQ(MOT_NO_CHECKSUM_ROOM, MotParseRecord("S0020000", &record));
    EXPECT_EQ(MOT_NO_CHECKSUM_ROOM, MotParseRecord("S5020000", &record));
    EXPECT_EQ(MOT_NO_CHECKSUM_ROOM, MotParseRecord("S30400000000", &record));

    // A count below the address length wraps to more bytes than the piece holds.
    EXPECT_EQ(MOT_BAD_HEX_DIGIT, MotParseRecord(("S30300000000" + std::string(100, '0')).c_str(), &record));
    EXPECT_EQ(MOT_BAD_HEX_DIGIT, MotParseRecord(("S1011000" + std::string(500, '0')).c_str(), &record));

    EXPECT_EQ(MOT_CHECKSUM_MISMATCH, MotParseRecord(Record(1, 0x1000, {0xAA}, false, 1).c_str(), &record));
    EXPECT_EQ(MOT_CHECKSUM_MISMATCH, MotParseRecord(Record(9, 0, {}, false, -1).c_str(), &record));
}

TEST_F(MotConvertTest, RecordsAreLaidOutFromAddressZeroWithFill)
{
    std::string text = Record(0, 0, {'h', 'd', 'r'}) + "\n" + Record(1, 0x0000, Bytes(16, 0x10)) + "\n" +
                       Record(2, 0x010000, Bytes(16, 0x80)) + "\n" + Record(5, 2, {}) + "\n" +
                       Record(9, 0, {}) + "\n";
    ASSERT_EQ(MOT_OK, Convert(text));
    Image expected;
    expected.Put(0, Bytes(16, 0x10));
    expected.Put(0x10000, Bytes(16, 0x80));
    ASSERT_EQ(0x10010u, expected.bytes.size());
    EXPECT_EQ(expected.bytes, Output());
    ExpectOnly({"in.mot", "out.bin"});

    // A later record over the same addresses overwrites the earlier bytes.
    ASSERT_EQ(MOT_OK, Convert(Record(1, 0x10, Bytes(8, 0)) + "\n" + Record(1, 0x14, Bytes(8, 0x50)) + "\n"));
    Image overlap;
    overlap.Put(0x10, Bytes(8, 0));
    overlap.Put(0x14, Bytes(8, 0x50));
    EXPECT_EQ(overlap.bytes, Output());
}

TEST_F(MotConvertTest, RecordsBeyondTheCapacityAreSkippedWhole)
{
    std::string text = Record(1, 0x00F0, Bytes(0x10, 1)) + "\n" +  // ends exactly at the capacity
                       Record(1, 0x00F8, Bytes(0x10, 2)) + "\n" +  // straddles it
                       Record(1, 0x0100, Bytes(4, 3)) + "\n";       // lies beyond it
    ASSERT_EQ(MOT_OK, Convert(text, 0x100));
    Image expected;
    expected.Put(0xF0, Bytes(0x10, 1));
    EXPECT_EQ(expected.bytes, Output());

    // The whole buffer may be used.
    ASSERT_EQ(MOT_OK, Convert(Record(3, 0x3FFFF, {0x5A}) + "\n", MOT_BUFFER_SIZE));
    EXPECT_EQ(0x40000u, Output().size());
    EXPECT_EQ('\x5A', Output().back());
}

TEST_F(MotConvertTest, ReadingStopsAtTheFirstTerminationRecord)
{
    for (int type : {7, 8, 9}) {
        std::string text = Record(1, 0, {1, 2}) + "\n" + Record(type, 0, {}) + "\n" + "S4 garbage\n" +
                           Record(1, 0x100, {3}) + "\n";
        ASSERT_EQ(MOT_OK, Convert(text)) << type;
        EXPECT_EQ(std::string("\x01\x02"), Output()) << type;
    }
}

TEST_F(MotConvertTest, TextModeLineEndsAndEndOfFileByte)
{
    std::string lines[] = {Record(0, 0, {'x'}), Record(3, 0x20, Bytes(32, 0x40), true), "",
                           "comment without the mark", Record(2, 0x100, Bytes(3, 9)), Record(8, 0, {})};
    std::string lf, crlf;
    for (const auto& line : lines) {
        lf += line + "\n";
        crlf += line + "\r\n";
    }
    ASSERT_EQ(MOT_OK, Convert(lf));
    std::string expected = Output();
    ASSERT_EQ(0x103u, expected.size());
    ASSERT_EQ(MOT_OK, Convert(crlf));
    EXPECT_EQ(expected, Output());

    // 0x1A ends the input: after the last record, and before a malformed line.
    std::string text = Record(1, 0, {1}) + "\r\n";
    ASSERT_EQ(MOT_OK, Convert(text + "\x1A"));
    EXPECT_EQ(std::string("\x01"), Output());
    ASSERT_EQ(MOT_OK, Convert(text + "\x1A" + "S4 not read\r\n" + Record(1, 8, {2}) + "\r\n"));
    EXPECT_EQ(std::string("\x01"), Output());
    // The last line needs no line end.
    ASSERT_EQ(MOT_OK, Convert(Record(1, 0, {1, 2, 3})));
    EXPECT_EQ(std::string("\x01\x02\x03"), Output());
}

TEST_F(MotConvertTest, LongLinesAreReadInPiecesOf513Characters)
{
    std::string record = Record(1, 0, {0x11, 0x22});
    for (const char* end : {"\n", "\r\n"}) {
        // The record ends at character 513: it is whole in the first piece.
        std::string text = std::string(513 - record.size(), ' ') + record + end;
        ASSERT_EQ(MOT_OK, Convert(text)) << text.size();
        EXPECT_EQ(std::string("\x11\x22"), Output());
        // One character later its checksum is cut in two.
        EXPECT_EQ(MOT_BAD_HEX_DIGIT, Convert(" " + text));
        // A record in the second piece of a line is read as a record.
        ASSERT_EQ(MOT_OK, Convert(std::string(513, ' ') + record + end));
        EXPECT_EQ(std::string("\x11\x22"), Output());
    }
    // Byte count 0xFF needs 514 characters.
    std::string longest = Record(1, 0, Bytes(252, 0));
    ASSERT_EQ(514u, longest.size());
    EXPECT_EQ(MOT_BAD_HEX_DIGIT, Convert(longest + "\n"));
    EXPECT_EQ(MOT_OK, Convert(Record(1, 0, Bytes(251, 0)) + "\n"));
    // A count below the address length wraps to 255 bytes, more than a piece can hold.
    EXPECT_EQ(MOT_BAD_HEX_DIGIT, Convert("S1011000" + std::string(510, '0') + "\n"));
}

TEST_F(MotConvertTest, NoDataGives11)
{
    for (std::string text : {std::string(), std::string("\x1A"), std::string("\n\r\n  \n"),
                             Record(0, 0, {'h'}) + "\n" + Record(5, 0, {}) + "\n" + Record(9, 0, {}) + "\n",
                             Record(2, 0x30000, {1}) + "\n" + Record(3, 0x2FFFF, {1, 2}) + "\n"}) {
        ExpectFailureKeepsOutput(text, MOT_NO_DATA);
    }
}

TEST_F(MotConvertTest, EveryRecordFailureLeavesTheOutputAsItWas)
{
    std::string good = Record(1, 0, {1, 2}) + "\n";
    ExpectFailureKeepsOutput(good + "S4030000FC\n", MOT_BAD_RECORD_TYPE);
    ExpectFailureKeepsOutput(good + "note: See below\n", MOT_BAD_RECORD_TYPE);
    ExpectFailureKeepsOutput(good + "S1051000AABB\n", MOT_BAD_HEX_DIGIT);
    ExpectFailureKeepsOutput(good + "S1021000\n", MOT_NO_CHECKSUM_ROOM);
    ExpectFailureKeepsOutput(good + Record(1, 0, {1}, false, 1) + "\n", MOT_CHECKSUM_MISMATCH);
    ExpectFailureKeepsOutput(good, MOT_CAPACITY_TOO_LARGE, MOT_BUFFER_SIZE + 1);
}

TEST_F(MotConvertTest, FilesThatCannotBeOpenedOrCreated)
{
    EXPECT_EQ(MOT_INPUT_UNREADABLE, MotConvertFile((m_dir / "missing.mot").string().c_str(), m_output.c_str(), 0x30000));
    EXPECT_EQ(MOT_INPUT_UNREADABLE, MotConvertFile(m_dir.string().c_str(), m_output.c_str(), 0x30000));
    EXPECT_EQ(MOT_INPUT_UNREADABLE, MotConvertFile(nullptr, m_output.c_str(), 0x30000));
    ExpectOnly({});

    WriteWhole(m_input, Record(1, 0, {1}) + "\n");
    std::string noFolder = (m_dir / "no-folder" / "out.bin").string();
    EXPECT_EQ(MOT_OUTPUT_NOT_CREATED, MotConvertFile(m_input.c_str(), noFolder.c_str(), 0x30000));
    EXPECT_EQ(MOT_OUTPUT_NOT_CREATED, MotConvertFile(m_input.c_str(), nullptr, 0x30000));
    fs::create_directory(m_output);
    EXPECT_EQ(MOT_OUTPUT_NOT_CREATED, MotConvertFile(m_input.c_str(), m_output.c_str(), 0x30000));
    EXPECT_TRUE(fs::is_directory(m_output));
    ExpectOnly({"in.mot", "out.bin"});
}

TEST_F(MotConvertTest, ATemporaryNameInUseIsLeftAlone)
{
    WriteWhole(m_output + ".tmp", "someone else's");
    ASSERT_EQ(MOT_OK, Convert(Record(1, 0, {1}) + "\n"));
    EXPECT_EQ("someone else's", ReadWhole(m_output + ".tmp"));
    EXPECT_EQ(std::string("\x01"), Output());
    ExpectOnly({"in.mot", "out.bin", "out.bin.tmp"});
}

// "<output>.tmp" would be too long a name although the output's own name fits: the temporary file
// takes the short name, and the next one while that is taken.
TEST_F(MotConvertTest, ATemporaryNameTooLongForTheSystemTakesAShortOne)
{
#ifdef _WIN32
    // The whole path is limited: the output takes the last bytes of MAX_PATH.
    std::string name = std::string(MAX_PATH - 1 - (m_dir.string().size() + 1) - 4, 'w') + ".bin";
#else
    // One name is limited to 255 bytes.
    std::string name = std::string(253 - 4, 'p') + ".bin";
#endif
    std::string output = (m_dir / name).string();
    WriteWhole(m_dir / "qzv.tmp", "someone else's");
    WriteWhole(m_input, Record(1, 0, {7, 8}) + "\n");
    ASSERT_EQ(MOT_OK, MotConvertFile(m_input.c_str(), output.c_str(), 0x30000)) << output.size();
    EXPECT_EQ(std::string("\x07\x08"), ReadWhole(output));
    EXPECT_EQ("someone else's", ReadWhole(m_dir / "qzv.tmp"));
    ExpectOnly({"in.mot", name, "qzv.tmp"});
}

#ifndef _WIN32
mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(0, lstat(path.c_str(), &st)) << path;
    return st.st_mode;
}

// The replaced output keeps what the user gave it: its permission bits, its owner (when root
// converts) and, when it is a symbolic link, the link; the link's target gets the new content.
TEST_F(MotConvertTest, AReplacedOutputKeepsItsModeOwnerAndLink)
{
    std::string text = Record(1, 0, {0x5A}) + "\n";
    WriteWhole(m_output, "previous output");
    ASSERT_EQ(0, chmod(m_output.c_str(), 0604));
    bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(0, chown(m_output.c_str(), 4321, 8765));
    }
    ASSERT_EQ(MOT_OK, Convert(text));
    EXPECT_EQ(std::string("\x5A"), Output());
    EXPECT_EQ(static_cast<mode_t>(S_IFREG | 0604), ModeOf(m_output));
    if (root) {
        struct stat st {};
        ASSERT_EQ(0, stat(m_output.c_str(), &st));
        EXPECT_EQ(4321u, st.st_uid);
        EXPECT_EQ(8765u, st.st_gid);
    }

    // A relative link into another folder, through a second link with an absolute target; the
    // temporary file goes beside the target, so that the rename never crosses file systems.
    fs::create_directory(m_dir / "real");
    WriteWhole(m_dir / "real" / "target.bin", "previous target");
    fs::create_symlink(fs::absolute(m_dir / "real" / "target.bin"), m_dir / "real" / "hop.bin");
    fs::remove(m_output);
    fs::create_symlink("real/hop.bin", m_output);
    ASSERT_EQ(MOT_OK, Convert(text));
    EXPECT_TRUE(fs::is_symlink(m_output));
    EXPECT_EQ("real/hop.bin", fs::read_symlink(m_output).string());
    EXPECT_TRUE(fs::is_symlink(m_dir / "real" / "hop.bin"));
    EXPECT_EQ(std::string("\x5A"), ReadWhole(m_dir / "real" / "target.bin"));
    ExpectOnly({"in.mot", "out.bin", "real"});
    EXPECT_EQ(2, std::distance(fs::directory_iterator(m_dir / "real"), fs::directory_iterator()));

    // A link to nothing yet: its target is created and the link stays.
    fs::remove(m_dir / "real" / "target.bin");
    ASSERT_EQ(MOT_OK, Convert(text));
    EXPECT_TRUE(fs::is_symlink(m_output));
    EXPECT_EQ(std::string("\x5A"), ReadWhole(m_dir / "real" / "target.bin"));

    // A loop of links and a pipe are refused, and stay what they were.
    fs::remove(m_output);
    fs::create_symlink("out.bin", m_output);
    EXPECT_EQ(MOT_OUTPUT_NOT_CREATED, Convert(text));
    EXPECT_TRUE(fs::is_symlink(m_output));
    fs::remove(m_output);
    ASSERT_EQ(0, mkfifo(m_output.c_str(), 0600));
    EXPECT_EQ(MOT_OUTPUT_NOT_CREATED, Convert(text));
    EXPECT_TRUE(S_ISFIFO(ModeOf(m_output)));
    ExpectOnly({"in.mot", "out.bin", "real"});
}
#endif

// Fault injection: every call of the conversion goes through the seam; these stand in for the
// native ones, count them, and make call number `failAt` fail.
struct FaultPlan {
    int calls = 0;
    int failAt = 0;
    int opened = 0;
    int closed = 0;
    bool Fails() { return ++calls == failAt; }
};
FaultPlan g_plan;

HANDLE WINAPI CountingCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE model)
{
    if (g_plan.Fails()) {
        g_sys.SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = SystemNativeTable().CreateFileA(name, access, share, security, disposition, flags, model);
    if (file != INVALID_HANDLE_VALUE)
        ++g_plan.opened;
    return file;
}

BOOL WINAPI FailingReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    if (g_plan.Fails()) {
        *done = 0;
        g_sys.SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    return SystemNativeTable().ReadFile(file, buffer, size, done, overlapped);
}

BOOL WINAPI FailingWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    if (g_plan.Fails()) {
        // Half the data reaches the file before the disk fills up.
        SystemNativeTable().WriteFile(file, buffer, size / 2, done, overlapped);
        g_sys.SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return SystemNativeTable().WriteFile(file, buffer, size, done, overlapped);
}

// The handle is really closed either way, as a failed close still ends the handle.
BOOL WINAPI FailingCloseHandle(HANDLE handle)
{
    ++g_plan.closed;
    BOOL closed = SystemNativeTable().CloseHandle(handle);
    if (g_plan.Fails()) {
        g_sys.SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return closed;
}

BOOL WINAPI FailingMoveFile(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (g_plan.Fails()) {
        g_sys.SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return SystemNativeTable().MoveFileExA(from, to, flags);
}

DWORD WINAPI FailingGetFileAttributes(LPCSTR name)
{
    if (g_plan.Fails())
        return FILE_ATTRIBUTE_READONLY;
    return SystemNativeTable().GetFileAttributesA(name);
}

void InstallFaults(int failAt)
{
    g_plan = FaultPlan();
    g_plan.failAt = failAt;
    g_sys.CreateFileA = CountingCreateFile;
    g_sys.ReadFile = FailingReadFile;
    g_sys.WriteFile = FailingWriteFile;
    g_sys.CloseHandle = FailingCloseHandle;
    g_sys.MoveFileExA = FailingMoveFile;
    g_sys.GetFileAttributesA = FailingGetFileAttributes;
}

TEST_F(MotConvertTest, EachFailingSystemCallLeavesTheOutputAsItWas)
{
    // Large enough for several reads.
    std::string text;
    Image expected;
    for (uint32_t address = 0; address < 0x8000; address += 32) {
        text += Record(3, address, Bytes(32, static_cast<uint8_t>(address >> 5)), false) + "\r\n";
        expected.Put(address, Bytes(32, static_cast<uint8_t>(address >> 5)));
    }
    WriteWhole(m_input, text);

    std::vector<int> statuses;  // one per failing call, in the order of the calls
    for (int failAt = 1;; ++failAt) {
        WriteWhole(m_output, "previous output");
        InstallFaults(failAt);
        MotStatus status = MotConvertFile(m_input.c_str(), m_output.c_str(), 0x30000);
        bool failed = g_plan.calls >= failAt;
        FaultPlan plan = g_plan;
        SystemTableReset();

        EXPECT_EQ(plan.opened, plan.closed) << "failing call " << failAt;
        if (!failed) {
            EXPECT_EQ(MOT_OK, status);
            EXPECT_EQ(expected.bytes, Output());
            break;
        }
        statuses.push_back(status);
        EXPECT_NE(MOT_OK, status) << "failing call " << failAt;
        EXPECT_EQ("previous output", Output()) << "failing call " << failAt;
        ExpectOnly({"in.mot", "out.bin"});
    }
    // open input, attributes, create, reads..., write, close output, close input, rename
    ASSERT_GT(statuses.size(), 8u);
    EXPECT_EQ((std::vector<int>{MOT_WRITE_FAILED, MOT_OUTPUT_CLOSE_FAILED, MOT_INPUT_CLOSE_FAILED,
                                MOT_OUTPUT_NOT_CREATED}),
              std::vector<int>(statuses.end() - 4, statuses.end()));
    EXPECT_EQ((std::vector<int>{MOT_INPUT_UNREADABLE, MOT_OUTPUT_NOT_CREATED, MOT_OUTPUT_NOT_CREATED,
                                MOT_INPUT_UNREADABLE}),
              std::vector<int>(statuses.begin(), statuses.begin() + 4));
}

// Input served from memory in short reads of varying size, as a pipe would.
struct MemoryInput {
    std::string text;
    size_t at = 0;
    std::mt19937 random{1};
} g_memory;

BOOL WINAPI MemoryReadFile(HANDLE, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED)
{
    size_t chunk = std::uniform_int_distribution<size_t>(1, 3000)(g_memory.random);
    chunk = std::min({chunk, static_cast<size_t>(size), g_memory.text.size() - g_memory.at});
    std::memcpy(buffer, g_memory.text.data() + g_memory.at, chunk);
    g_memory.at += chunk;
    *done = static_cast<DWORD>(chunk);
    return TRUE;
}

TEST(MotTextReaderTest, PiecesMatchTextModeOverShortReads)
{
    std::mt19937 random(57);
    const char alphabet[] = "S1F0\r\n\r\n    \r\0";
    for (int round = 0; round < 300; ++round) {
        std::string text;
        size_t size = std::uniform_int_distribution<size_t>(0, 40000)(random);
        while (text.size() < size) {
            // Runs of one character make long lines and long stretches of CRs and LFs.
            char c = alphabet[std::uniform_int_distribution<size_t>(0, sizeof alphabet - 2)(random)];
            size_t run = std::uniform_int_distribution<size_t>(1, round % 3 == 0 ? 1200 : 40)(random);
            text.append(run, c);
        }
        if (round % 5 == 0)
            text.insert(std::uniform_int_distribution<size_t>(0, text.size())(random), 1, '\x1A');

        g_memory = MemoryInput();
        g_memory.text = text;
        g_memory.random.seed(static_cast<unsigned>(round));
        g_sys.ReadFile = MemoryReadFile;
        MotTextReader reader;
        MotTextReaderOpen(&reader, nullptr);
        std::vector<std::string> pieces;
        const char* piece;
        size_t length;
        while (MotTextReaderNext(&reader, &piece, &length) == MOT_READ_PIECE) {
            std::string got(piece, length);
            if (got.size() >= 2 && got.compare(got.size() - 2, 2, "\r\n") == 0)
                got.erase(got.size() - 2, 1);
            pieces.push_back(got);
        }
        SystemTableReset();
        ASSERT_EQ(MotReferencePieces(text), pieces) << "round " << round;
    }
}

std::string g_written;

BOOL WINAPI CapturingWriteFile(HANDLE, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED)
{
    g_written.append(static_cast<const char*>(buffer), size);
    *done = size;
    return TRUE;
}

// Text that is mostly S-records, with what goes wrong in real files mixed in: every record type,
// data that do not fit the capacity, both line ends and none, CRs and NULs in odd places, blanks
// and comments before and after records, lines around the 513-character piece limit, an end-of-file
// byte, and now and then a character changed anywhere.
std::string MangledRecords(std::mt19937& random)
{
    auto pick = [&](unsigned low, unsigned high) {
        return std::uniform_int_distribution<unsigned>(low, high)(random);
    };
    static const int types[] = {0, 1, 1, 2, 2, 3, 3, 3, 5, 7, 8, 9};
    static const char* const lineEnds[] = {"\n", "\r\n", "\r\n", "\r\r\n", "\r", ""};
    static const std::string before[] = {"", "", "", "  ", "\t", "x", "s", "S", std::string(1, '\0'), "\r"};
    std::string text;
    for (unsigned lines = pick(0, 60); lines > 0; --lines) {
        int type = types[pick(0, sizeof types / sizeof types[0] - 1)];
        if (type >= 7 && pick(0, 3) != 0)
            type = 3;
        uint32_t address = pick(0, 9) == 0 ? pick(0, 0xFFFFFFFFu) : pick(0, 0x400) * 16;
        if (type == 1 || type == 0 || type == 5 || type == 9)
            address &= 0xFFFF;
        else if (type == 2 || type == 8)
            address &= 0xFFFFFF;
        // Mostly short records; some long enough to end right at the piece limit or beyond it.
        unsigned longest = 252 - static_cast<unsigned>(type == 2 || type == 8) - 2 * (type == 3 || type == 7);
        std::vector<uint8_t> data(pick(0, 9) == 0 ? pick(longest - 6, longest) : pick(0, 40));
        for (auto& b : data)
            b = static_cast<uint8_t>(pick(0, 255));
        std::string line = before[pick(0, 9)];
        if (pick(0, 19) == 0)
            line += std::string(pick(400, 520), ' ');
        // Now and then a byte count that leaves no room for the checksum.
        static const char* const noRoom[] = {"S1021234", "S0020000", "S30400000000", "S803000000"};
        line += pick(0, 59) == 0 ? noRoom[pick(0, 3)] : Record(type, address, data, pick(0, 1) == 1);
        if (pick(0, 9) == 0)
            line += pick(0, 1) ? " trailing" : " S9 and more";
        // A second record on the same line, in the line's next piece or still in the first.
        if (pick(0, 19) == 0)
            line += std::string(pick(400, 520), ' ') + Record(1, pick(0, 0xFFFF), {1, 2, 3});
        if (pick(0, 29) == 0)
            line[pick(0, static_cast<unsigned>(line.size() - 1))] = "S0Fg \r\n"[pick(0, 7)];
        text += line + lineEnds[pick(0, 5)];
        if (pick(0, 49) == 0)
            text += pick(0, 1) ? "\n\n; comment line\n" : "; Some notes\n";
    }
    if (pick(0, 19) == 0)
        text.insert(pick(0, static_cast<unsigned>(text.size())), 1, '\x1A');
    return text;
}

// The converter against the plain reading of the rules: the same status, and on success the same
// bytes, for inputs read in short pieces of every size.
TEST(MotConvertStreamTest, AgreesWithThePlainRulesOnMangledRecords)
{
    std::mt19937 random(1957);
    static const uint32_t capacities[] = {0x30000, 0x100, 0x1000, MOT_BUFFER_SIZE};
    int statuses[13] = {};
    for (int round = 0; round < 3000; ++round) {
        std::string text = MangledRecords(random);
        uint32_t capacity = capacities[round % 4];
        g_memory = MemoryInput();
        g_memory.text = text;
        g_memory.random.seed(static_cast<unsigned>(round));
        g_written.clear();
        g_sys.ReadFile = MemoryReadFile;
        g_sys.WriteFile = CapturingWriteFile;
        MotStatus status = MotConvertStream(nullptr, nullptr, capacity);
        SystemTableReset();
        MotReferenceResult expected = MotReferenceConvert(text, capacity);
        ASSERT_EQ(expected.status, status) << "round " << round;
        ASSERT_TRUE(expected.image == g_written) << "round " << round << ": " << g_written.size() << " bytes, expected "
                                                 << expected.image.size();
        ++statuses[status];
    }
    // The inputs reach every status a text can give.
    for (int status : {MOT_OK, MOT_BAD_RECORD_TYPE, MOT_BAD_HEX_DIGIT, MOT_NO_CHECKSUM_ROOM, MOT_CHECKSUM_MISMATCH,
                       MOT_NO_DATA})
        EXPECT_GT(statuses[status], 20) << "status " << status;
}

// Agreement with a real peer on well-formed files.
bool SrecCatAvailable()
{
#ifdef _WIN32
    return false;
#else
    return std::system("srec_cat -VERSion > /dev/null 2>&1") == 0;
#endif
}

TEST_F(MotConvertTest, OutputEqualsSrecCat)
{
    if (!SrecCatAvailable())
        GTEST_SKIP() << "srec_cat is not available here: the comparison with it runs in the Linux suite";
    std::mt19937 random(2024);
    auto next = [&](uint32_t low, uint32_t high) { return std::uniform_int_distribution<uint32_t>(low, high)(random); };

    struct Variant {
        const char* name;
        int type;  // 0: each record picks S1, S2 or S3 by its address
        const char* lineEnd;
        bool lowerCase;
        uint32_t firstAddress;
    } variants[] = {
        {"s1-lf", 1, "\n", false, 0},         {"s2-crlf-lower", 2, "\r\n", true, 0x1000},
        {"s3-crlf", 3, "\r\n", false, 0x35},  {"mixed-lf-lower", 0, "\n", true, 0},
        {"mixed-crlf", 0, "\r\n", false, 0x200},
    };
    for (const auto& v : variants) {
        std::string text = Record(0, 0, {'q', 'z', 'v'}, v.lowerCase) + v.lineEnd;
        uint32_t address = v.firstAddress;
        uint32_t limit = v.type == 1 ? 0xFF00 : 0x3FF00;
        int records = 0;
        while (address < limit) {
            uint32_t count = next(1, 64);
            if (address + count > limit)
                break;
            int type = v.type;
            if (type == 0)
                type = address < 0x10000 && next(0, 1) ? 1 : static_cast<int>(next(2, 3));
            std::vector<uint8_t> data(count);
            for (auto& b : data)
                b = static_cast<uint8_t>(next(0, 255));
            text += Record(type, address, data, v.lowerCase) + v.lineEnd;
            ++records;
            // Now and then a gap.
            address += count + (next(0, 9) == 0 ? next(1, 0x3000) : 0);
        }
        text += Record(5, static_cast<uint32_t>(records & 0xFFFF), {}, v.lowerCase) + v.lineEnd;
        text += Record(v.type == 3 ? 7 : v.type == 2 ? 8 : 9, 0, {}, v.lowerCase) + v.lineEnd;

        ASSERT_EQ(MOT_OK, Convert(text, MOT_BUFFER_SIZE)) << v.name;
        std::string peer = (m_dir / "peer.bin").string();
        std::string command = "srec_cat " + m_input + " -motorola -fill 0xFF 0 -maximum-address " + m_input +
                              " -motorola -o " + peer + " -binary 2>/dev/null";
        ASSERT_EQ(0, std::system(command.c_str())) << command;
        std::string ours = Output(), theirs = ReadWhole(peer);
        EXPECT_GT(ours.size(), 0x8000u) << v.name;
        EXPECT_TRUE(ours == theirs) << v.name << ": " << ours.size() << " bytes here, " << theirs.size()
                                    << " from srec_cat";
    }
}

}  // namespace
