#include "tools/update_check/answer_reading.h"

namespace {

uint8_t At(const std::vector<uint8_t>& bytes, size_t index)
{
    return index < bytes.size() ? bytes[index] : 0;
}

// GOOD, CONDITION MET and the two INTERMEDIATE statuses.
bool Completed(uint8_t status)
{
    return status == 0x00 || status == 0x04 || status == 0x10 || status == 0x14;
}

}  // namespace

AnswerReading ReadAnswer(const SimResult& result, UnitPath path)
{
    if (result.scsiStatus == 0)
        return AnswerReading::Good;
    const std::vector<uint8_t>& sense = result.sense;
    switch (path) {
    case UnitPath::VendorUsb:
        if (At(sense, 12) == 0x28 && At(sense, 13) == 0x00)
            return AnswerReading::Repeated;
        return At(sense, 12) != 0 || At(sense, 13) != 0 ? AnswerReading::Failed : AnswerReading::Good;
    case UnitPath::Aspi: return AnswerReading::Failed;
    case UnitPath::PassThrough: break;
    }
    if (!Completed(result.scsiStatus))
        return AnswerReading::Failed;
    const uint8_t format = At(sense, 0) & 0x7F;
    const bool descriptor = format == 0x72 || format == 0x73;
    const bool anything = descriptor ? (At(sense, 1) & 0x0F) || At(sense, 2) || At(sense, 3)
                                     : (At(sense, 2) & 0x0F) || At(sense, 12) || At(sense, 13);
    return anything ? AnswerReading::Failed : AnswerReading::Good;
}
