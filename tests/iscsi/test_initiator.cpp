#include "tests/iscsi/test_initiator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

uint32_t Pdu::Field(size_t at) const
{
    return uint32_t(header[at]) << 24 | uint32_t(header[at + 1]) << 16 | uint32_t(header[at + 2]) << 8 |
           header[at + 3];
}

std::vector<std::string> Pdu::Keys() const
{
    std::vector<std::string> keys;
    std::string current;
    for (uint8_t byte : data) {
        if (byte == 0) {
            if (!current.empty())
                keys.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(byte);
        }
    }
    if (!current.empty())
        keys.push_back(current);
    return keys;
}

Bytes Header(uint8_t opcode, uint8_t flags)
{
    Bytes header(48, 0);
    header[0] = opcode;
    header[1] = flags;
    return header;
}

void Put32(Bytes& header, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        header[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

Bytes Encode(Bytes header, const Bytes& data)
{
    header[5] = static_cast<uint8_t>(data.size() >> 16);
    header[6] = static_cast<uint8_t>(data.size() >> 8);
    header[7] = static_cast<uint8_t>(data.size());
    Bytes pdu = header;
    pdu.insert(pdu.end(), data.begin(), data.end());
    pdu.resize(pdu.size() + (4 - data.size() % 4) % 4, 0);
    return pdu;
}

Bytes TextData(const std::vector<std::string>& keys)
{
    Bytes data;
    for (const std::string& key : keys) {
        data.insert(data.end(), key.begin(), key.end());
        data.push_back(0);
    }
    return data;
}

bool HasKey(const std::vector<std::string>& keys, const std::string& pair)
{
    return std::find(keys.begin(), keys.end(), pair) != keys.end();
}

namespace {

// A connection of a portal, fed the way the socket loop feeds it.
class PortalLink : public TestLink {
public:
    PortalLink(IscsiPortal& portal, int slot) : m_portal(portal), m_slot(slot) {}
    ~PortalLink() override
    {
        if (m_slot >= 0)
            m_portal.Release(m_slot);
    }

    void Send(const Bytes& bytes, size_t chunk, Bytes* answers) override
    {
        size_t at = 0;
        while (at < bytes.size()) {
            IscsiConnection* connection = m_portal.Connection(m_slot);
            if (!connection)
                return;
            size_t space = 0;
            uint8_t* into = connection->InputSpace(&space);
            if (!into) {
                Collect(answers);
                into = connection->InputSpace(&space);
                if (!into)
                    return;  // the connection takes no more: the rest is lost, as on a closed socket
            }
            const size_t count = std::min({space, bytes.size() - at, chunk});
            std::memcpy(into, bytes.data() + at, count);
            connection->InputReceived(count);
            at += count;
        }
        Collect(answers);
    }

    void Collect(Bytes* answers) override
    {
        IscsiConnection* connection = m_portal.Connection(m_slot);
        for (size_t length = 1; connection && length != 0;) {
            const uint8_t* bytes = connection->Output(&length);
            answers->insert(answers->end(), bytes, bytes + length);
            connection->OutputSent(length);
        }
    }

    bool Closed() override
    {
        IscsiConnection* connection = m_portal.Connection(m_slot);
        return !connection || connection->Finished();
    }

private:
    IscsiPortal& m_portal;
    int m_slot;
};

}  // namespace

TestInitiator::TestInitiator(IscsiPortal& portal, std::string peer, std::string portalAddress)
    : m_portal(&portal), m_slot(portal.Accept(peer, portalAddress))
{
    m_link.reset(new PortalLink(portal, m_slot));
}

TestInitiator::TestInitiator(std::unique_ptr<TestLink> link) : m_link(std::move(link)) {}

TestInitiator::~TestInitiator() = default;

IscsiConnection* TestInitiator::Connection() { return m_portal ? m_portal->Connection(m_slot) : nullptr; }

std::vector<Pdu> TestInitiator::Received()
{
    m_link->Collect(&m_stream);
    std::vector<Pdu> pdus;
    size_t at = 0;
    while (m_stream.size() - at >= 48) {
        const uint8_t* h = m_stream.data() + at;
        const size_t ahs = h[4] * 4u;
        const size_t length = size_t(h[5]) << 16 | size_t(h[6]) << 8 | h[7];
        const size_t total = 48 + ahs + (length + 3) / 4 * 4;
        if (m_stream.size() - at < total)
            break;
        Pdu pdu;
        pdu.header.assign(h, h + 48);
        pdu.data.assign(h + 48 + ahs, h + 48 + ahs + length);
        pdus.push_back(std::move(pdu));
        at += total;
    }
    m_stream.erase(m_stream.begin(), m_stream.begin() + static_cast<long>(at));
    return pdus;
}

void TestInitiator::SendLogin(const std::vector<std::string>& keys, uint8_t current, uint8_t next, bool transit,
                              bool more)
{
    SendLoginText(TextData(keys), current, next, transit, more);
}

void TestInitiator::SendLoginText(const Bytes& text, uint8_t current, uint8_t next, bool transit, bool more)
{
    Bytes header = Header(0x43, static_cast<uint8_t>((transit ? 0x80 : 0) | (more ? 0x40 : 0) | current << 2 |
                                                     (transit ? next : 0)));
    std::memcpy(&header[8], isid, 6);
    Put32(header, 16, NextItt());
    Put32(header, 24, m_cmdSn);
    Feed(Encode(header, text));
}

void TestInitiator::TakeAnswers(const std::vector<std::string>& keys)
{
    for (const std::string& key : keys) {
        const size_t equals = key.find('=');
        const std::string name = key.substr(0, equals);
        const std::string value = key.substr(equals + 1);
        if (name == "ImmediateData")
            immediateData = value == "Yes";
        else if (name == "InitialR2T")
            initialR2T = value == "Yes";
        else if (name == "FirstBurstLength")
            firstBurst = static_cast<uint32_t>(std::stoul(value));
        else if (name == "MaxBurstLength")
            maxBurst = static_cast<uint32_t>(std::stoul(value));
        else if (name == "MaxRecvDataSegmentLength")
            targetSegment = static_cast<uint32_t>(std::stoul(value));
    }
}

uint16_t TestInitiator::Login(const std::string& target, std::vector<std::string> extraKeys)
{
    std::vector<std::string> keys = {"InitiatorName=" + initiatorName, "TargetName=" + target, "SessionType=Normal"};
    keys.insert(keys.end(), extraKeys.begin(), extraKeys.end());
    SendLogin(keys, 1, 3, true);
    const std::vector<Pdu> answers = Received();
    if (answers.size() != 1 || answers[0].Opcode() != 0x23)
        return 0xFFFF;
    TakeAnswers(answers[0].Keys());
    return static_cast<uint16_t>(answers[0].header[36] << 8 | answers[0].header[37]);
}

uint16_t TestInitiator::LoginDiscovery()
{
    SendLogin({"InitiatorName=" + initiatorName, "SessionType=Discovery"}, 1, 3, true);
    const std::vector<Pdu> answers = Received();
    if (answers.size() != 1 || answers[0].Opcode() != 0x23)
        return 0xFFFF;
    return static_cast<uint16_t>(answers[0].header[36] << 8 | answers[0].header[37]);
}

Bytes TestInitiator::CommandHeader(const Bytes& cdb, uint8_t flags, uint32_t expected)
{
    Bytes header = Header(0x01, flags);
    Put32(header, 16, NextItt());
    Put32(header, 20, expected);
    Put32(header, 24, m_cmdSn++);
    std::copy(cdb.begin(), cdb.begin() + static_cast<long>(std::min<size_t>(cdb.size(), 16)), header.begin() + 32);
    return header;
}

CommandOutcome TestInitiator::Command(const Bytes& cdb, char direction, uint32_t expected, const Bytes& dataOut,
                                      size_t chunk)
{
    CommandOutcome outcome;
    const bool write = direction == 'w';
    const uint32_t unsolicitedEnd = std::min(firstBurst, expected);
    const uint32_t immediate = write && immediateData ? std::min(unsolicitedEnd, targetSegment) : 0;
    const bool unsolicited = write && !initialR2T && immediate < unsolicitedEnd;
    uint8_t flags = write ? 0x20 : direction == 'r' ? 0x40 : 0;
    if (!unsolicited)
        flags |= 0x80;
    Bytes header = CommandHeader(cdb, flags, expected);
    const uint32_t itt = uint32_t(header[16]) << 24 | uint32_t(header[17]) << 16 | uint32_t(header[18]) << 8 | header[19];
    Bytes stream = Encode(header, Bytes(dataOut.begin(), dataOut.begin() + immediate));

    // Data-Out PDUs for [from, to), as many as the target's segment length asks for.
    auto dataOutPdus = [&](uint32_t from, uint32_t to, uint32_t tag) {
        Bytes pdus;
        uint32_t dataSn = 0;
        for (uint32_t at = from; at < to;) {
            const uint32_t part = std::min(targetSegment, to - at);
            Bytes h = Header(0x05, at + part == to ? 0x80 : 0);
            Put32(h, 16, itt);
            Put32(h, 20, tag);
            Put32(h, 36, dataSn++);
            Put32(h, 40, at);
            const Bytes piece(dataOut.begin() + at, dataOut.begin() + at + part);
            const Bytes pdu = Encode(h, piece);
            pdus.insert(pdus.end(), pdu.begin(), pdu.end());
            at += part;
        }
        return pdus;
    };
    if (unsolicited) {
        const Bytes more = dataOutPdus(immediate, unsolicitedEnd, 0xFFFFFFFF);
        stream.insert(stream.end(), more.begin(), more.end());
    }
    Feed(stream, chunk);

    for (int round = 0; round < 10000 && !outcome.answered; ++round) {
        const std::vector<Pdu> pdus = Received();
        if (pdus.empty())
            break;
        for (const Pdu& pdu : pdus) {
            outcome.pdus.push_back(pdu);
            if (pdu.Opcode() == 0x31) {  // R2T
                Feed(dataOutPdus(pdu.Field(40), pdu.Field(40) + pdu.Field(44), pdu.Field(20)), chunk);
            } else if (pdu.Opcode() == 0x25) {  // Data-In
                const uint32_t offset = pdu.Field(40);
                if (outcome.dataIn.size() < offset + pdu.data.size())
                    outcome.dataIn.resize(offset + pdu.data.size());
                std::copy(pdu.data.begin(), pdu.data.end(), outcome.dataIn.begin() + offset);
                if (pdu.Flags() & 0x01) {
                    outcome.answered = true;
                    outcome.status = pdu.header[3];
                    outcome.underflow = (pdu.Flags() & 0x02) != 0;
                    outcome.residual = pdu.Field(44);
                }
            } else if (pdu.Opcode() == 0x21) {  // SCSI Response
                outcome.answered = true;
                outcome.status = pdu.header[3];
                outcome.underflow = (pdu.Flags() & 0x02) != 0;
                outcome.residual = pdu.Field(44);
                if (pdu.data.size() >= 2) {
                    const size_t length = size_t(pdu.data[0]) << 8 | pdu.data[1];
                    outcome.sense.assign(pdu.data.begin() + 2,
                                         pdu.data.begin() + 2 + static_cast<long>(std::min(length, pdu.data.size() - 2)));
                }
            }
        }
    }
    return outcome;
}
