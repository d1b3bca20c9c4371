// One TCP connection to the target portal as a state machine: bytes in, bytes out, no sockets and
// no clock of its own (the portal tells it the time). The socket loop receives straight into
// InputSpace() and sends from Output(). The connection takes one PDU at a time and asks for no
// input while its output is full or a command's data is still going out, so its buffers keep the
// size they were given whatever the initiator sends.
//
// Supported: login (security and operational stages, or straight to the operational stage) without
// authentication, discovery sessions with SendTargets, SCSI commands with Data-In, immediate data,
// unsolicited Data-Out and R2T, NOP-Out, task management, text requests and logout, with error
// recovery level 0 and one task at a time (the command window closes while a write waits for data).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/iscsi/iscsi_negotiation.h"
#include "sim/iscsi/iscsi_pdu.h"
#include "sim/sim_unit.h"

class IscsiPortal;

struct IscsiLimits {
    uint32_t maxRecvDataSegment = 65536;   // the largest data segment taken (and declared)
    uint32_t maxSendDataSegment = 65536;   // the largest sent, if the initiator takes as much
    uint32_t maxTransfer = 1u << 20;       // the largest data phase of one command: the whole card
    uint32_t loginTimeoutMs = 15000;       // a login not finished by then ends the connection
    uint32_t closeGraceMs = 2000;          // how long a closing connection may take to send its last bytes
    size_t maxConnections = 16;
};

// Why a connection ended.
enum class IscsiEnd {
    NONE,
    LOGOUT,
    PEER_CLOSED,
    PROTOCOL_ERROR,
    LOGIN_FAILED,
    LOGIN_TIMEOUT,
    UNIT_LEFT,        // the unit left the system (restart or unplugged)
    REINSTATED,       // the initiator logged in again with the same session identity
    TARGET_RESET,     // TARGET COLD RESET
    SHUTDOWN,
};

const char* IscsiEndName(IscsiEnd end);

class IscsiConnection {
public:
    IscsiConnection(IscsiPortal& portal, const IscsiLimits& limits, std::string peer, std::string portalAddress,
                    uint64_t now);
    IscsiConnection(const IscsiConnection&) = delete;
    IscsiConnection& operator=(const IscsiConnection&) = delete;

    // Where the next bytes go and how many are wanted now; null (and 0) while no input is taken.
    uint8_t* InputSpace(size_t* length);
    // `length` bytes, at most what InputSpace offered, were written there.
    void InputReceived(size_t length);
    // The bytes waiting to be sent; OutputSent takes them off.
    const uint8_t* Output(size_t* length) const;
    void OutputSent(size_t length);
    // Nothing more will be sent: the socket can close.
    bool Finished() const;

    // Stops taking input; what is queued (a command's last data and status too) is still sent.
    void Close(IscsiEnd why, uint64_t now);
    // Abandons the rest of the output (a peer that stopped reading).
    void Abandon();
    // Drops this session's task (a reset through another session).
    void AbortTask();

    bool LoggedIn() const { return m_loggedIn; }
    bool Closing() const { return m_phase == Phase::CLOSING; }
    IscsiEnd End() const { return m_end; }
    uint64_t StartedAt() const { return m_started; }
    uint64_t ClosingSince() const { return m_closingSince; }
    // The unit of a normal session (-1 for a discovery session or before login).
    int Unit() const { return m_unit; }
    uint16_t Tsih() const { return m_tsih; }
    const std::array<uint8_t, 6>& Isid() const { return m_isid; }
    const IscsiSessionParameters& Session() const { return m_session; }
    // The status a refused login was answered with.
    uint16_t LoginStatus() const { return m_loginStatus; }
    const std::string& Peer() const { return m_peer; }

private:
    enum class Phase { LOGIN, FULL_FEATURE, CLOSING };

    // A write that waits for its data.
    struct WriteTask {
        bool active = false;
        uint32_t itt = 0;
        long lun = 0;
        std::array<uint8_t, 8> lunField{};
        std::vector<uint8_t> cdb;
        uint32_t length = 0;           // expected data transfer length
        uint32_t received = 0;         // bytes in m_data so far, from offset 0 in order
        bool unsolicited = false;      // unsolicited Data-Out may still come
        uint32_t unsolicitedEnd = 0;
        bool r2tOpen = false;          // an R2T waits for its data
        uint32_t r2tTag = 0, r2tEnd = 0, r2tSn = 0;
        uint32_t dataSn = 0;           // expected DataSN in the current sequence
    };

    // A command's data and status on their way out.
    struct Reply {
        bool active = false;
        uint32_t itt = 0;
        uint32_t expected = 0;         // expected data transfer length
        uint32_t dataLength = 0;       // Data-In bytes to send from m_data
        uint32_t sent = 0;
        uint32_t dataSn = 0;
        uint8_t status = 0;
        uint32_t transferred = 0;      // for the residual count
        std::vector<uint8_t> sense;
    };

    // A long text answer sent in parts, or a text request arriving in parts.
    struct TextExchange {
        uint32_t tag = ISCSI_RESERVED_TAG;
        std::string answer;
        size_t answered = 0;
        std::string request;
    };

    // Input framing and dispatch (iscsi_connection.cpp).
    void ProcessPdu();
    void Dispatch(const uint8_t* header, const uint8_t* ahs, size_t ahsLength, const uint8_t* data, size_t length);
    bool TakeCmdSn(const uint8_t* header);
    uint32_t MaxCmdSn() const;
    size_t OutputFree() const;
    size_t LargestPdu() const;
    // Appends one PDU; `header` gets its data length, and the sequence numbers every target PDU carries.
    void Send(uint8_t* header, const uint8_t* data, size_t length);
    void SendStatusPdu(uint8_t* header, const uint8_t* data, size_t length);
    void Reject(uint8_t reason, const uint8_t* header);
    void ProtocolFailure(const uint8_t* header);
    uint32_t NextTag();
    uint32_t SendSegmentLimit() const;

    // Login (iscsi_login.cpp).
    void OnLogin(const uint8_t* header, const uint8_t* data, size_t length);
    uint16_t CheckLoginRequest(const uint8_t* header, bool first);
    uint16_t CheckIdentity();
    void SendLoginResponse(const uint8_t* header, uint16_t status, bool transit, uint8_t next, const std::string& text);
    void FailLogin(const uint8_t* header, uint16_t status);

    // Full feature phase requests (iscsi_requests.cpp).
    void OnNopOut(const uint8_t* header, const uint8_t* data, size_t length);
    void OnText(const uint8_t* header, const uint8_t* data, size_t length);
    void SendTextPart(const uint8_t* header);
    void OnLogout(const uint8_t* header);
    void OnTaskManagement(const uint8_t* header);

    // SCSI commands and their data (iscsi_scsi_task.cpp).
    void OnScsiCommand(const uint8_t* header, const uint8_t* ahs, size_t ahsLength, const uint8_t* data, size_t length);
    void OnDataOut(const uint8_t* header, const uint8_t* data, size_t length);
    void SendR2T();
    void ExecuteWrite();
    void Execute(uint32_t itt, long lun, const std::vector<uint8_t>& cdb, SimDirection direction, uint32_t length,
                 uint32_t r2ts = 0);
    void Answer(uint32_t itt, uint32_t expected, SimDirection direction, const SimResult& result, uint32_t r2ts = 0);
    void PumpReply();

    IscsiPortal& m_portal;
    const IscsiLimits m_limits;
    const IscsiTargetValues m_ours;
    const std::string m_peer;
    const std::string m_portalAddress;
    const uint64_t m_started;
    Phase m_phase = Phase::LOGIN;
    IscsiEnd m_end = IscsiEnd::NONE;
    uint64_t m_closingSince = 0;
    bool m_abandoned = false;

    std::vector<uint8_t> m_in;
    size_t m_inHave = 0;
    size_t m_inNeed;
    std::vector<uint8_t> m_out;
    size_t m_outStart = 0;
    size_t m_outEnd = 0;
    std::vector<uint8_t> m_data;  // a command's data phase, either way

    // Login state.
    bool m_loginStarted = false;
    uint8_t m_stage = 0;
    bool m_identityChecked = false;
    bool m_targetDeclared = false;
    bool m_lengthDeclared = false;
    std::string m_loginText;
    std::vector<IscsiTextPair> m_loginKeys;  // every key the login offered so far
    uint16_t m_loginStatus = 0;

    // Session state.
    IscsiSessionParameters m_session;
    bool m_loggedIn = false;
    int m_unit = -1;
    std::array<uint8_t, 6> m_isid{};
    uint16_t m_tsih = 0;
    uint16_t m_cid = 0;
    uint32_t m_statSn = 1;
    uint32_t m_expCmdSn = 0;
    uint32_t m_nextTag = 1;
    WriteTask m_write;
    Reply m_reply;
    TextExchange m_text;
    uint32_t m_discardItt = ISCSI_RESERVED_TAG;  // a finished or aborted write whose unsolicited data may still come
};
