// The status of SG_IO requests: sense of either format, and requests that end without sense saying why.
#include <gtest/gtest.h>

#include <vector>

#include "host/sg/sg_status.h"

namespace {

using Bytes = std::vector<BYTE>;

// Fixed format, 18 bytes: key 6 (UNIT ATTENTION), ASC 0x29, ASCQ 0x00, and noise in the other bytes.
const Bytes FIXED = {0xF0, 0x00, 0xE6, 1, 2, 3, 4, 10, 9, 9, 9, 9, 0x29, 0x00, 7, 7, 7, 7};
// Descriptor format: key 3 (MEDIUM ERROR), ASC 0x11, ASCQ 0x04, then an information descriptor.
const Bytes DESCRIPTOR = {0x72, 0xF3, 0x11, 0x04, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56};

SgRequest Finished(const Bytes& sense, BYTE scsiStatus, WORD hostStatus = 0, WORD driverStatus = 0)
{
    static BYTE buffer[32];
    SgRequest request = {};
    std::copy(sense.begin(), sense.end(), buffer);
    request.sense = buffer;
    request.senseCapacity = sizeof buffer;
    request.senseLength = static_cast<BYTE>(sense.size());
    request.scsiStatus = scsiStatus;
    request.hostStatus = hostStatus;
    request.driverStatus = driverStatus;
    return request;
}

TEST(SgRequestStatus, SenseDecidesWheneverItSaysSomething)
{
    EXPECT_EQ(0x29000006u, SgStatusOfRequest(Finished(FIXED, 0x02, 0, 0x08)));
    EXPECT_EQ(0x11040003u, SgStatusOfRequest(Finished(DESCRIPTOR, 0x02, 0, 0x08)));
    // Even when the adapter complains too: the unit's own word is more precise.
    EXPECT_EQ(0x29000006u, SgStatusOfRequest(Finished(FIXED, 0x02, 0x07, 0x08)));
}

TEST(SgRequestStatus, ACompletedCommandIsZero)
{
    EXPECT_EQ(0u, SgStatusOfRequest(Finished({}, 0x00)));
    EXPECT_EQ(0u, SgStatusOfRequest(Finished({}, 0x04)));  // CONDITION MET
    EXPECT_EQ(0u, SgStatusOfRequest(Finished({0x70, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0}, 0x00, 0, 0x08)));
}

TEST(SgRequestStatus, FailuresWithoutSenseAreNotCarried)
{
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({}, 0x00, 0x03)));        // host: timed out
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({}, 0x00, 0x01)));        // host: no connection
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({}, 0x00, 0, 0x06)));     // driver: timeout
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({}, 0x00, 0, 0x24)));     // driver error with a suggestion
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({}, 0x02)));              // CHECK CONDITION, no sense
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({}, 0x08)));              // BUSY
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({}, 0x18)));              // RESERVATION CONFLICT
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({0x70, 0x00}, 0x02, 0, 0x08)));  // sense too short to say
    EXPECT_EQ(4u, SgStatusOfRequest(Finished(Bytes(18, 0), 0x02, 0, 0x08)));  // sense of no known format
    // CHECK CONDITION whose sense says "no sense": refused without a reason, as on every transport.
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({0x70, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0}, 0x02, 0, 0x08)));
    EXPECT_EQ(4u, SgStatusOfRequest(Finished({0x72, 0, 0, 0, 0, 0, 0, 0}, 0x02, 0, 0x08)));
    // "Sense came" alone is not a failure.
    EXPECT_EQ(0u, SgStatusOfRequest(Finished({}, 0x00, 0, 0x08)));
}

TEST(SgRequestStatus, ASenseLengthBeyondTheBufferIsNotBelieved)
{
    SgRequest request = Finished(FIXED, 0x02, 0, 0x08);
    request.senseCapacity = 13;  // the buffer ends before ASCQ
    request.sense[13] = 0x55;
    request.senseLength = 200;
    EXPECT_EQ(0x29000006u, SgStatusOfRequest(request));
}

}  // namespace
