// What the sim tests send a simulated unit: CDBs written out as bytes, and the two download sequences
// a host sends, built here independently of the unit's own code.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "sim/sim_unit.h"
#include "sim/unit/sense_data.h"

using Bytes = std::vector<uint8_t>;

inline SimResult Send(SimUnit& unit, const Bytes& cdb, SimDirection direction, Bytes& data)
{
    return unit.Execute(cdb.data(), cdb.size(), direction, data.empty() ? nullptr : data.data(),
                        static_cast<uint32_t>(data.size()));
}

inline SimResult SendNoData(SimUnit& unit, const Bytes& cdb)
{
    Bytes none;
    return Send(unit, cdb, SimDirection::None, none);
}

inline SimResult SendOut(SimUnit& unit, const Bytes& cdb, const uint8_t* data, uint32_t length)
{
    Bytes copy(data, data + length);
    return Send(unit, cdb, SimDirection::Out, copy);
}

// Key, ASC and ASCQ of a CHECK CONDITION, read from the fixed-format sense; all zero for GOOD.
inline SenseCode SenseOf(const SimResult& result)
{
    if (result.scsiStatus == 0) {
        return SenseCode{};
    }
    EXPECT_EQ(2, result.scsiStatus);
    EXPECT_GE(result.sense.size(), 14u);
    if (result.sense.size() < 14) {
        return SenseCode{0xFF, 0xFF, 0xFF};
    }
    return SenseCode{static_cast<uint8_t>(result.sense[2] & 0x0F), result.sense[12], result.sense[13]};
}

inline bool operator==(const SenseCode& a, const SenseCode& b)
{
    return a.key == b.key && a.asc == b.asc && a.ascq == b.ascq;
}

inline std::ostream& operator<<(std::ostream& out, const SenseCode& code)
{
    return out << std::hex << int(code.key) << "/" << int(code.asc) << "/" << int(code.ascq) << std::dec;
}

inline Bytes WriteBufferCdb(uint8_t mode, uint8_t bufferId, uint32_t offset, uint32_t n24, uint8_t byte9 = 0)
{
    return {0x3B, mode, bufferId, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset),
            uint8_t(n24 >> 16), uint8_t(n24 >> 8), uint8_t(n24), byte9};
}

// The single old-protocol command: the length as a 32-bit number in bytes 6-9.
inline SimResult SendOldDownload(SimUnit& unit, const Bytes& image)
{
    const uint32_t n = static_cast<uint32_t>(image.size());
    return SendOut(unit, WriteBufferCdb(0, 0, 0, n >> 8, uint8_t(n)), image.data(), n);
}

// The new-protocol sequence for an image of (even) length: header, pieces from the highest, save.
// Stops at the first command that fails; returns every result. `send(cdb, data, length)` carries
// one WRITE BUFFER to the unit, directly or through a transport.
template <typename Send>
std::vector<SimResult> SendNewDownloadWith(Send send, const Bytes& image, const Bytes& header)
{
    std::vector<SimResult> results;
    results.push_back(send(WriteBufferCdb(0, 1, 0, 8), header.data(), 8));
    const uint32_t length = static_cast<uint32_t>(image.size());
    for (uint32_t offset : {0x20000u, 0x10000u}) {
        if (results.back().scsiStatus != 0 || length <= offset) {
            continue;
        }
        const uint32_t n = std::min(length - offset, 0x10000u);
        results.push_back(send(WriteBufferCdb(0, 0, offset, n), image.data() + offset, n));
    }
    if (results.back().scsiStatus == 0) {
        const uint32_t n = std::min(length, 0x10000u);
        results.push_back(send(WriteBufferCdb(5, 0, 0, n), image.data(), n));
    }
    return results;
}

inline std::vector<SimResult> SendNewDownload(SimUnit& unit, const Bytes& image, const Bytes& header)
{
    return SendNewDownloadWith(
        [&unit](const Bytes& cdb, const uint8_t* data, uint32_t length) { return SendOut(unit, cdb, data, length); },
        image, header);
}

// The image as a host sends it: padded to an even length with 0xFF.
inline Bytes Evened(Bytes image)
{
    if (image.size() & 1) {
        image.push_back(0xFF);
    }
    return image;
}

inline std::string RevisionOf(const SimUnit& unit)
{
    const Bytes inquiry = unit.InquiryData();
    return std::string(inquiry.begin() + 32, inquiry.begin() + 36);
}
