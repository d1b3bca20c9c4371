// libFuzzer target for the iSCSI target: any byte stream on a connection (login text, commands,
// data-out sequences, task management, text, logout), after a valid login or without one, cut into
// pieces of any size, with the clock running. Beyond what the sanitizers catch, it checks what an
// initiator relies on: every PDU sent back is whole and no larger than any initiator takes, StatSN
// goes up by one per status, MaxCmdSN never goes back, and the connection never stalls (after its
// output is taken it either ends or takes input again).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/iscsi/iscsi_portal.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The first byte of an input is its mode: bit 0 starts with a valid login, bits 1-2 choose its keys,
// bits 3-5 the size of the pieces the stream arrives in, bit 6 runs the clock, bit 7 an old-layout unit.
// Logins an input may start with (mode bits 1-2): the kernel's, QEMU's, small segments and
// bursts, and no immediate data.
const char* const LOGINS[4][5] = {
    {"InitialR2T=Yes", "ImmediateData=Yes"},
    {"InitialR2T=No", "ImmediateData=Yes", "FirstBurstLength=262144", "MaxRecvDataSegmentLength=262144"},
    {"InitialR2T=No", "FirstBurstLength=512", "MaxBurstLength=1024", "MaxRecvDataSegmentLength=512"},
    {"InitialR2T=No", "ImmediateData=No", "MaxBurstLength=4096"},
};
const size_t CHUNKS[8] = {1, 3, 7, 48, 100, 1000, 4096, SIZE_MAX};

std::vector<uint8_t> LoginPdu(const std::string& target, unsigned which)
{
    std::string text = "InitiatorName=iqn.2024-01.fuzz:initiator";
    text.push_back('\0');
    text += "TargetName=" + target;
    text.push_back('\0');
    for (const char* const* key = LOGINS[which]; *key; ++key) {
        text += *key;
        text.push_back('\0');
    }
    std::vector<uint8_t> pdu(48, 0);
    pdu[0] = 0x43;
    pdu[1] = 0x87;  // transit from the operational stage to full feature
    pdu[8] = 0x80;
    pdu[27] = 1;    // CmdSN 1
    pdu[6] = static_cast<uint8_t>(text.size() >> 8);
    pdu[7] = static_cast<uint8_t>(text.size());
    pdu.insert(pdu.end(), text.begin(), text.end());
    pdu.resize((pdu.size() + 3) / 4 * 4, 0);
    return pdu;
}

// Checks each whole PDU of what the target sent since the last call.
struct OutputChecker {
    std::vector<uint8_t> stream;
    bool haveStatSn = false;
    uint32_t nextStatSn = 0;
    bool haveMaxCmdSn = false;
    uint32_t maxCmdSn = 0;

    void Take(const uint8_t* bytes, size_t length, size_t largestSegment)
    {
        stream.insert(stream.end(), bytes, bytes + length);
        size_t at = 0;
        while (stream.size() - at >= 48) {
            const uint8_t* h = stream.data() + at;
            const size_t segment = ReadBe24(h + 5);
            Check(h[4] == 0 && segment <= largestSegment);
            const size_t total = 48 + IscsiPaddedLength(segment);
            if (stream.size() - at < total)
                break;
            Pdu(h);
            at += total;
        }
        stream.erase(stream.begin(), stream.begin() + static_cast<long>(at));
    }

    void Pdu(const uint8_t* h)
    {
        const uint8_t opcode = h[0] & 0x3F;
        Check(opcode == 0x20 || opcode == 0x21 || opcode == 0x22 || opcode == 0x23 || opcode == 0x24 ||
              opcode == 0x25 || opcode == 0x26 || opcode == 0x31 || opcode == 0x3F);
        const uint32_t statSn = ReadBe32(h + 24);
        const bool status = opcode != 0x31 && (opcode != 0x25 || (h[1] & 0x01));
        if (status || opcode == 0x31) {
            if (haveStatSn)
                Check(statSn == nextStatSn);
            haveStatSn = true;
            nextStatSn = status ? statSn + 1 : statSn;
        }
        const uint32_t expCmdSn = ReadBe32(h + 28), max = ReadBe32(h + 32);
        Check(!IscsiSnBefore(max, expCmdSn - 1));
        if (haveMaxCmdSn)
            Check(!IscsiSnBefore(max, maxCmdSn));
        haveMaxCmdSn = true;
        maxCmdSn = max;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;

    // Mode bit 7: an old-layout unit, whose download is one command.
    // A small card and memory, so that a run is quick to set up.
    SimUnitConfig config;
    config.cardBlocks = 256;
    config.memoryBytes = 0x1000;
    config.evenMemoryBytes = 0x1000;
    if (mode & 0x80) {
        config.product = "QZV-57G";
        config.revision = "1.50";
    }
    SimUnit unit(config);
    IscsiLimits limits;
    limits.maxTransfer = 65536;  // small buffers, so that initiators ask for more than there is
    limits.maxRecvDataSegment = 8192;
    limits.maxSendDataSegment = 4096;
    limits.loginTimeoutMs = 5000;
    limits.maxConnections = 2;
    IscsiPortal portal({{&unit, 2000}}, limits);
    const size_t largestSegment = 8192;
    portal.ReportCommands((mode & 0x40) != 0);
    const int slot = portal.Accept("fuzz:1", "127.0.0.1:3260");
    Check(slot == 0);

    std::vector<uint8_t> input;
    if (mode & 1)
        input = LoginPdu(portal.TargetName(0), (mode >> 1) & 3);
    input.insert(input.end(), data, data + size);
    const size_t chunk = CHUNKS[(mode >> 3) & 7];

    OutputChecker checker;
    uint64_t now = 0;
    auto drain = [&] {
        IscsiConnection* connection = portal.Connection(slot);
        for (size_t length = 1; connection && length != 0;) {
            const uint8_t* bytes = connection->Output(&length);
            checker.Take(bytes, length, largestSegment);
            connection->OutputSent(length);
        }
    };
    size_t at = 0;
    while (at < input.size()) {
        IscsiConnection* connection = portal.Connection(slot);
        size_t space = 0;
        uint8_t* into = connection->InputSpace(&space);
        if (!into) {
            drain();
            into = connection->InputSpace(&space);
        }
        if (!into) {
            Check(connection->Finished());  // no input taken, nothing to send: the connection must be over
            break;
        }
        Check(space > 0 && space <= 48 + 1020 + 8192 + 3);
        const size_t count = std::min({space, input.size() - at, chunk});
        std::memcpy(into, input.data() + at, count);
        connection->InputReceived(count);
        at += count;
        if (mode & 0x40) {
            now += 700;
            portal.Advance(now);
        }
    }
    drain();
    portal.Advance(now + 10000);
    drain();
    IscsiConnection* connection = portal.Connection(slot);
    size_t space = 0;
    Check(connection->Finished() || connection->InputSpace(&space) != nullptr);
    // A unit saves new firmware only from a whole download, and then its sessions are over.
    Check(unit.SavedImage().empty() || connection->Closing());
    portal.TakeEvents();
    portal.Release(slot);
    return 0;
}
