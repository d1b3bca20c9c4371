// An initiator for the tests, written from the protocol rather than from the target's code: it
// builds PDUs byte by byte, hands them to one connection of a portal the way the socket loop does,
// and parses what comes back. Command() behaves as a conforming initiator with the parameters the
// login settled on (immediate data, unsolicited Data-Out, answering R2Ts).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/iscsi/iscsi_portal.h"

using Bytes = std::vector<uint8_t>;

struct Pdu {
    Bytes header;
    Bytes data;

    uint8_t Opcode() const { return header[0] & 0x3F; }
    uint8_t Flags() const { return header[1]; }
    uint32_t Field(size_t at) const;
    // Text keys of the data segment, "key=value" each.
    std::vector<std::string> Keys() const;
};

// Header fields of a PDU to send; the data length is filled in by Encode.
Bytes Header(uint8_t opcode, uint8_t flags);
void Put32(Bytes& header, size_t at, uint32_t value);
Bytes Encode(Bytes header, const Bytes& data = Bytes());
Bytes TextData(const std::vector<std::string>& keys);
// Does the key list hold exactly this "key=value"?
bool HasKey(const std::vector<std::string>& keys, const std::string& pair);

struct CommandOutcome {
    bool answered = false;     // a SCSI Response or a Data-In with status came
    uint8_t status = 0xFF;
    Bytes dataIn;              // reassembled by buffer offset
    Bytes sense;
    bool underflow = false;
    uint32_t residual = 0;
    std::vector<Pdu> pdus;     // every PDU the command brought
};

// How the initiator's bytes reach a target: a portal's connection in the same process, or a socket.
class TestLink {
public:
    virtual ~TestLink() = default;
    // Delivers the bytes `chunk` at a time; what the target sends back is appended to *answers.
    virtual void Send(const Bytes& bytes, size_t chunk, Bytes* answers) = 0;
    // Appends what the target sent meanwhile.
    virtual void Collect(Bytes* answers) = 0;
    // The target closed the connection.
    virtual bool Closed() = 0;
};

class TestInitiator {
public:
    explicit TestInitiator(IscsiPortal& portal, std::string peer = "127.0.0.1:40000",
                           std::string portalAddress = "127.0.0.1:3260");
    explicit TestInitiator(std::unique_ptr<TestLink> link);
    ~TestInitiator();

    void Feed(const Bytes& bytes, size_t chunk = SIZE_MAX) { m_link->Send(bytes, chunk, &m_stream); }
    std::vector<Pdu> Received();
    bool Closed() { return m_link->Closed(); }
    // The portal's connection, for an initiator in the same process.
    IscsiConnection* Connection();

    // One login request; the answers come back through Received().
    void SendLogin(const std::vector<std::string>& keys, uint8_t current, uint8_t next, bool transit,
                   bool more = false);
    void SendLoginText(const Bytes& text, uint8_t current, uint8_t next, bool transit, bool more);
    // Operational stage straight to the full feature phase with these keys and the usual identity.
    // Returns the login status of the answer; the session's parameters are taken from the answers.
    uint16_t Login(const std::string& target, std::vector<std::string> extraKeys = {});
    uint16_t LoginDiscovery();

    CommandOutcome Command(const Bytes& cdb, char direction, uint32_t expected, const Bytes& dataOut = Bytes(),
                           size_t chunk = SIZE_MAX);
    Bytes CommandHeader(const Bytes& cdb, uint8_t flags, uint32_t expected);
    uint32_t NextItt() { return m_itt++; }
    uint32_t CmdSn() const { return m_cmdSn; }
    void TakeCmdSn() { ++m_cmdSn; }

    // What the login settled on.
    bool immediateData = true;
    bool initialR2T = true;
    uint32_t firstBurst = 65536;
    uint32_t maxBurst = 262144;
    uint32_t targetSegment = 8192;   // what the target takes per PDU
    std::string initiatorName = "iqn.2024-01.test:initiator";
    uint8_t isid[6] = {0x80, 0, 0, 0, 0, 1};

private:
    void TakeAnswers(const std::vector<std::string>& keys);

    std::unique_ptr<TestLink> m_link;
    IscsiPortal* m_portal = nullptr;
    int m_slot = -1;
    Bytes m_stream;
    uint32_t m_cmdSn = 1;
    uint32_t m_itt = 0x100;
};
