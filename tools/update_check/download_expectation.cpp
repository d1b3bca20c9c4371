#include "tools/update_check/download_expectation.h"

#include <algorithm>

#include "sim/unit/sample_image.h"
#include "tools/update_check/answer_reading.h"

namespace {

const uint32_t PIECE = 0x10000;
const uint32_t OLD_MAX = 0x10000;
const uint32_t NEW_MAX = 0x30000;
const uint32_t IDENTIFICATION = 0x2000;
const uint32_t LENGTH_FIELD = 0x2008;
const uint32_t OLD_SHORTEST = 0x201C;  // the old identification block with its version
const unsigned USB_MOST_ISSUES = 16;

// A piece of a new-layout image: offset and 24-bit length in the CDB.
ExpectedWrite Piece(const std::vector<uint8_t>& image, uint8_t mode, uint32_t offset, uint32_t length)
{
    ExpectedWrite write;
    write.cdb = {OPCODE_WRITE_BUFFER, mode,
                 0x00,                uint8_t(offset >> 16),
                 uint8_t(offset >> 8), uint8_t(offset),
                 uint8_t(length >> 16), uint8_t(length >> 8),
                 uint8_t(length),      0x00};
    write.fromImage = true;
    write.offset = offset;
    write.data.assign(image.begin() + offset, image.begin() + offset + length);
    return write;
}

bool Holds(const std::vector<uint8_t>& image, uint32_t offset, const std::string& text)
{
    return image.size() >= offset + text.size() && std::equal(text.begin(), text.end(), image.begin() + offset);
}

}  // namespace

std::vector<ExpectedWrite> ExpectedDownload(const std::vector<uint8_t>& file, bool newGeneration)
{
    std::vector<uint8_t> image = file;
    if (image.size() & 1)
        image.push_back(0xFF);
    const uint32_t length = static_cast<uint32_t>(image.size());
    std::vector<ExpectedWrite> plan;
    // Each procedure sends only an image of its own layout.
    if (!newGeneration) {
        if (length > OLD_MAX || length < OLD_SHORTEST || !Holds(image, IDENTIFICATION, "VORNA   QZV-57"))
            return plan;
        // The old command carries its length in bytes 6..9.
        ExpectedWrite whole;
        whole.cdb = {OPCODE_WRITE_BUFFER,   0x00, 0x00, 0, 0, 0, uint8_t(length >> 24), uint8_t(length >> 16),
                     uint8_t(length >> 8), uint8_t(length)};
        whole.fromImage = true;
        whole.data = image;
        plan.push_back(whole);
        plan.back().saves = true;
        return plan;
    }
    if (length > NEW_MAX || length < LENGTH_FIELD + 4 || !Holds(image, IDENTIFICATION, "VRNC7Q52"))
        return plan;
    const uint32_t field = uint32_t(image[LENGTH_FIELD]) << 24 | uint32_t(image[LENGTH_FIELD + 1]) << 16 |
                           uint32_t(image[LENGTH_FIELD + 2]) << 8 | image[LENGTH_FIELD + 3];
    if (uint64_t(field) + (field & 1) != length)
        return plan;
    ExpectedWrite header;
    header.cdb = {OPCODE_WRITE_BUFFER, 0x00, 0x01, 0, 0, 0, 0, 0, 8, 0};
    header.data = SampleNewImageHeader(image);
    plan.push_back(header);
    for (uint32_t offset : {2 * PIECE, PIECE}) {
        if (length > offset)
            plan.push_back(Piece(image, 0x00, offset, std::min(length - offset, PIECE)));
    }
    plan.push_back(Piece(image, 0x05, 0, std::min(length, PIECE)));
    plan.back().saves = true;
    return plan;
}

SentDownload CheckSentDownload(const std::vector<SimCommand>& commands, const std::vector<ExpectedWrite>& plan,
                               UnitPath path)
{
    SentDownload sent;
    const SimCommand* previous = nullptr;
    AnswerReading previousReading = AnswerReading::Good;
    unsigned issues = 0;
    for (const SimCommand& command : commands) {
        if (command.cdb.empty() || command.cdb[0] != OPCODE_WRITE_BUFFER)
            continue;
        const AnswerReading reading = ReadAnswer(command.result, path);
        const bool repetition = previous && previousReading == AnswerReading::Repeated &&
                                previous->cdb == command.cdb && previous->dataOut == command.dataOut;
        if (repetition) {
            if (++issues > USB_MOST_ISSUES) {
                sent.problem = "a WRITE BUFFER was repeated more than 16 times";
                return sent;
            }
        } else {
            if (previous && previousReading != AnswerReading::Good) {
                sent.problem = "a WRITE BUFFER followed one answered with a failure";
                return sent;
            }
            if (sent.sent == plan.size()) {
                sent.problem = "more WRITE BUFFER commands than the download has";
                return sent;
            }
            const ExpectedWrite& expected = plan[sent.sent];
            if (command.cdb != expected.cdb || command.dataOut != expected.data) {
                sent.problem = "WRITE BUFFER " + std::to_string(sent.sent + 1) + " is not the download's";
                return sent;
            }
            ++sent.sent;
            issues = 1;
        }
        sent.saveSent = plan[sent.sent - 1].saves;
        sent.saveAnsweredGood = sent.saveSent && reading == AnswerReading::Good;
        sent.lastFailed = reading != AnswerReading::Good;
        previous = &command;
        previousReading = reading;
    }
    return sent;
}
