// SHA-256 against published test vectors, and the transcript lines built on it.
#include <gtest/gtest.h>

#include <string>

#include "sim/unit/sha256.h"
#include "sim/unit/transcript.h"
#include "tests/sim/sim_unit_driver.h"

namespace {

std::string HexOf(const std::string& text)
{
    return Sha256Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(Sha256, KnownVectors)
{
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", HexOf(""));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", HexOf("abc"));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1",
              HexOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"));
}

TEST(Sha256, MillionAsFedInUnevenPiecesMatchOneBlock)
{
    const std::string million(1000000, 'a');
    Sha256 sha;
    size_t done = 0;
    for (size_t step = 1; done < million.size(); step = step * 3 % 1000 + 1) {
        const size_t take = std::min(step, million.size() - done);
        sha.Update(reinterpret_cast<const uint8_t*>(million.data()) + done, take);
        done += take;
    }
    std::string hex;
    char two[3];
    for (uint8_t byte : sha.Finish()) {
        std::snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", hex);
    EXPECT_EQ(hex, HexOf(million));
}

TEST(Sha256, PaddingBoundaries)
{
    // 55, 56 and 64 bytes put the length field in the same block, in the next, and after a full block.
    EXPECT_EQ("9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318", HexOf(std::string(55, 'a')));
    EXPECT_EQ("b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a", HexOf(std::string(56, 'a')));
    EXPECT_EQ("ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb", HexOf(std::string(64, 'a')));
}

TEST(Transcript, OneLinePerCommandWithDirectionLengthDigestAndOutcome)
{
    SimUnit unit;
    Bytes inquiry(36);
    Send(unit, {0x12, 0, 0, 0, 36, 0}, SimDirection::In, inquiry);
    Bytes header = {'a', 'b', 'c'};
    Send(unit, {0x3B, 0, 1, 0, 0, 0, 0, 0, 3, 0}, SimDirection::Out, header);
    SendNoData(unit, {0xC7, 0, 0, 0, 0, 0});
    unit.FailCommandWithRawSense(1, {0x72, 0x05});
    SendNoData(unit, {0x00, 0, 0, 0, 0, 0});

    const std::string text = SimTranscript(unit.Commands());
    const std::string expected =
        "12 00 00 00 24 00 | in | 36 | " + Sha256Hex(inquiry.data(), 36) + " | GOOD\n"
        "3B 00 01 00 00 00 00 00 03 00 | out | 3 | "
        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad | CHECK 05/24/00\n"
        "C7 00 00 00 00 00 | none | 0 | e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 | CHECK 05/20/00\n"
        "00 00 00 00 00 00 | none | 0 | e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 | "
        "CHECK status 02, 2 sense bytes\n";
    EXPECT_EQ(expected, text);
}

TEST(Transcript, DataInDigestCoversOnlyTheBytesDelivered)
{
    SimUnit unit;
    unit.ShortenDataIn(1, 4);
    Bytes inquiry(36, 0);
    Send(unit, {0x12, 0, 0, 0, 36, 0}, SimDirection::In, inquiry);
    const std::string line = SimTranscriptLine(unit.Commands().back());
    EXPECT_NE(std::string::npos, line.find(" | 36 | " + Sha256Hex(inquiry.data(), 4) + " | GOOD"));
}

}  // namespace
