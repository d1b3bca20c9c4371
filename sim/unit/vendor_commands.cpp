// The vendor commands: configuration value (0x13), parameter page (0x06 read, 0x05 write) and the
// two control commands 0x21 and 0x3D, whose effect on the unit is not known and which are only checked.
#include <algorithm>

#include "sim/unit/cdb_fields.h"
#include "sim/unit/unit_state.h"

namespace {

bool ReservedBytesClear(const uint8_t* cdb, size_t first, size_t last)
{
    for (size_t i = first; i <= last; ++i) {
        if (cdb[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

SimReply SimUnit::State::ReadConfiguration(const SimRequest& request)
{
    if (!ReservedBytesClear(request.cdb, 1, 3)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    uint8_t value[4];
    WriteLe32(value, config.configuration);
    return DataIn(request, value, std::min<uint32_t>(request.cdb[4], sizeof value));
}

SimReply SimUnit::State::ReadParameterPage(const SimRequest& request)
{
    if (!ReservedBytesClear(request.cdb, 1, 3)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    return DataIn(request, parameterPage.data(), std::min<uint32_t>(request.cdb[4], PARAMETER_PAGE_LENGTH));
}

SimReply SimUnit::State::WriteParameterPage(const SimRequest& request)
{
    if (!ReservedBytesClear(request.cdb, 1, 3) || request.cdb[4] != PARAMETER_PAGE_LENGTH ||
        !DataOut(request, PARAMETER_PAGE_LENGTH)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    if (request.data[0] != PARAMETER_PAGE_LENGTH - 1) {
        return {SENSE_INVALID_PARAMETER_DATA};
    }
    parameterPage.assign(request.data, request.data + PARAMETER_PAGE_LENGTH);
    parameterPage[1] = 0;  // reserved
    return {SENSE_GOOD, PARAMETER_PAGE_LENGTH};
}

SimReply SimUnit::State::Command21(const SimRequest& request)
{
    const uint8_t flag = request.cdb[1];
    if (!NoData(request) || (flag != 0x00 && flag != 0x40)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    command21Flag = flag;
    command21P = ReadBe32(request.cdb + 2);
    command21Q = ReadBe32(request.cdb + 6);
    return {SENSE_GOOD};
}

SimReply SimUnit::State::Command3D(const SimRequest& request)
{
    if (!NoData(request) || request.cdb[1] != 0 || !ReservedBytesClear(request.cdb, 10, 11)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    return {SENSE_GOOD};
}
