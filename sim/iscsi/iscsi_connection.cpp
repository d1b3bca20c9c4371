// A connection's input framing, dispatch and output.
#include "sim/iscsi/iscsi_connection.h"

#include <algorithm>
#include <cstring>

#include "sim/iscsi/iscsi_portal.h"

namespace {

// Login PDUs may carry this much whatever was declared.
constexpr uint32_t LOGIN_SEGMENT = 8192;

IscsiTargetValues TargetValues(const IscsiLimits& limits)
{
    IscsiTargetValues values;
    values.maxRecvDataSegment = limits.maxRecvDataSegment;
    return values;
}

}  // namespace

const char* IscsiEndName(IscsiEnd end)
{
    switch (end) {
    case IscsiEnd::NONE: return "none";
    case IscsiEnd::LOGOUT: return "logout";
    case IscsiEnd::PEER_CLOSED: return "closed";
    case IscsiEnd::PROTOCOL_ERROR: return "protocol-error";
    case IscsiEnd::LOGIN_FAILED: return "login-failed";
    case IscsiEnd::LOGIN_TIMEOUT: return "login-timeout";
    case IscsiEnd::UNIT_LEFT: return "unit-left";
    case IscsiEnd::REINSTATED: return "reinstated";
    case IscsiEnd::TARGET_RESET: return "target-reset";
    case IscsiEnd::SHUTDOWN: return "shutdown";
    }
    return "none";
}

IscsiConnection::IscsiConnection(IscsiPortal& portal, const IscsiLimits& limits, std::string peer,
                                 std::string portalAddress, uint64_t now)
    : m_portal(portal),
      m_limits(limits),
      m_ours(TargetValues(limits)),
      m_peer(std::move(peer)),
      m_portalAddress(std::move(portalAddress)),
      m_started(now),
      m_in(ISCSI_BHS_LENGTH + ISCSI_MAX_AHS_LENGTH +
           IscsiPaddedLength(std::max(limits.maxRecvDataSegment, LOGIN_SEGMENT))),
      m_inNeed(ISCSI_BHS_LENGTH),
      m_out(2 * LargestPdu()),
      m_data(limits.maxTransfer)
{
}

size_t IscsiConnection::LargestPdu() const
{
    return ISCSI_BHS_LENGTH + IscsiPaddedLength(std::max(m_limits.maxSendDataSegment, LOGIN_SEGMENT));
}

size_t IscsiConnection::OutputFree() const { return m_out.size() - (m_outEnd - m_outStart); }

uint32_t IscsiConnection::SendSegmentLimit() const
{
    return std::min(m_session.initiatorMaxRecvDataSegment, m_limits.maxSendDataSegment);
}

uint8_t* IscsiConnection::InputSpace(size_t* length)
{
    *length = 0;
    if (m_phase == Phase::CLOSING || m_reply.active || OutputFree() < LargestPdu())
        return nullptr;
    *length = m_inNeed - m_inHave;
    return m_in.data() + m_inHave;
}

void IscsiConnection::InputReceived(size_t length)
{
    m_inHave += std::min(length, m_inNeed - m_inHave);
    if (m_inHave < m_inNeed)
        return;
    if (m_inNeed == ISCSI_BHS_LENGTH) {
        const size_t dataLength = ReadBe24(&m_in[ISCSI_AT_DATA_LENGTH]);
        const uint32_t limit =
            m_phase == Phase::LOGIN ? std::max(m_limits.maxRecvDataSegment, LOGIN_SEGMENT) : m_limits.maxRecvDataSegment;
        if (dataLength > limit) {
            ProtocolFailure(m_in.data());
            return;
        }
        m_inNeed = ISCSI_BHS_LENGTH + m_in[ISCSI_AT_AHS_LENGTH] * 4u + IscsiPaddedLength(dataLength);
        if (m_inHave < m_inNeed)
            return;
    }
    ProcessPdu();
}

void IscsiConnection::ProcessPdu()
{
    const uint8_t* header = m_in.data();
    const size_t ahsLength = header[ISCSI_AT_AHS_LENGTH] * 4u;
    const size_t dataLength = ReadBe24(header + ISCSI_AT_DATA_LENGTH);
    m_inHave = 0;
    m_inNeed = ISCSI_BHS_LENGTH;
    Dispatch(header, header + ISCSI_BHS_LENGTH, ahsLength, header + ISCSI_BHS_LENGTH + ahsLength, dataLength);
    PumpReply();
}

void IscsiConnection::Dispatch(const uint8_t* header, const uint8_t* ahs, size_t ahsLength, const uint8_t* data,
                               size_t length)
{
    const uint8_t opcode = IscsiOpcodeOf(header);
    if (m_phase == Phase::LOGIN) {
        // Nothing but login requests before the login is done; anything else ends the connection.
        if (opcode == ISCSI_OP_LOGIN)
            OnLogin(header, data, length);
        else
            Close(IscsiEnd::PROTOCOL_ERROR, m_portal.Now());
        return;
    }
    if (m_session.discovery && opcode != ISCSI_OP_TEXT && opcode != ISCSI_OP_LOGOUT && opcode != ISCSI_OP_NOP_OUT) {
        Reject(ISCSI_REJECT_PROTOCOL_ERROR, header);
        return;
    }
    switch (opcode) {
    case ISCSI_OP_NOP_OUT: OnNopOut(header, data, length); break;
    case ISCSI_OP_SCSI_COMMAND: OnScsiCommand(header, ahs, ahsLength, data, length); break;
    case ISCSI_OP_TASK_MANAGEMENT: OnTaskManagement(header); break;
    case ISCSI_OP_TEXT: OnText(header, data, length); break;
    case ISCSI_OP_DATA_OUT: OnDataOut(header, data, length); break;
    case ISCSI_OP_LOGOUT: OnLogout(header); break;
    case ISCSI_OP_SNACK: Reject(ISCSI_REJECT_SNACK, header); break;  // error recovery level 0
    case ISCSI_OP_LOGIN: Reject(ISCSI_REJECT_PROTOCOL_ERROR, header); break;
    default: Reject(ISCSI_REJECT_NOT_SUPPORTED, header); break;
    }
}

// One non-immediate request at a time: a CmdSN outside the window is ignored, as the protocol asks.
bool IscsiConnection::TakeCmdSn(const uint8_t* header)
{
    if (IscsiIsImmediate(header))
        return true;
    if (m_write.active || ReadBe32(header + ISCSI_AT_CMD_SN) != m_expCmdSn)
        return false;
    ++m_expCmdSn;
    return true;
}

// The window holds one command, and closes while a write waits for its data (a non-immediate write:
// CmdSN has moved on, so MaxCmdSN stays where it was and never goes back).
uint32_t IscsiConnection::MaxCmdSn() const { return m_write.active ? m_expCmdSn - 1 : m_expCmdSn; }

uint32_t IscsiConnection::NextTag()
{
    if (m_nextTag == ISCSI_RESERVED_TAG)
        m_nextTag = 1;
    return m_nextTag++;
}

void IscsiConnection::Send(uint8_t* header, const uint8_t* data, size_t length)
{
    if (m_abandoned)
        return;
    WriteBe24(header + ISCSI_AT_DATA_LENGTH, static_cast<uint32_t>(length));
    WriteBe32(header + ISCSI_AT_EXP_CMD_SN, m_expCmdSn);
    WriteBe32(header + ISCSI_AT_MAX_CMD_SN, MaxCmdSn());
    const size_t total = ISCSI_BHS_LENGTH + IscsiPaddedLength(length);
    if (m_outEnd + total > m_out.size()) {
        std::memmove(m_out.data(), m_out.data() + m_outStart, m_outEnd - m_outStart);
        m_outEnd -= m_outStart;
        m_outStart = 0;
    }
    // Input is taken only with room for the largest PDU, so this holds; if it did not, the
    // connection would rather end than send a broken stream.
    if (m_outEnd + total > m_out.size()) {
        Abandon();
        return;
    }
    uint8_t* at = m_out.data() + m_outEnd;
    std::memcpy(at, header, ISCSI_BHS_LENGTH);
    if (length != 0)
        std::memcpy(at + ISCSI_BHS_LENGTH, data, length);
    std::memset(at + ISCSI_BHS_LENGTH + length, 0, total - ISCSI_BHS_LENGTH - length);
    m_outEnd += total;
}

void IscsiConnection::SendStatusPdu(uint8_t* header, const uint8_t* data, size_t length)
{
    WriteBe32(header + ISCSI_AT_STAT_SN, m_statSn++);
    Send(header, data, length);
}

void IscsiConnection::Reject(uint8_t reason, const uint8_t* header)
{
    uint8_t pdu[ISCSI_BHS_LENGTH] = {ISCSI_OP_REJECT, ISCSI_FINAL, reason};
    WriteBe32(pdu + ISCSI_AT_ITT, ISCSI_RESERVED_TAG);
    SendStatusPdu(pdu, header, ISCSI_BHS_LENGTH);
}

void IscsiConnection::ProtocolFailure(const uint8_t* header)
{
    Reject(ISCSI_REJECT_PROTOCOL_ERROR, header);
    Close(IscsiEnd::PROTOCOL_ERROR, m_portal.Now());
}

const uint8_t* IscsiConnection::Output(size_t* length) const
{
    *length = m_outEnd - m_outStart;
    return m_out.data() + m_outStart;
}

void IscsiConnection::OutputSent(size_t length)
{
    m_outStart += std::min(length, m_outEnd - m_outStart);
    if (m_outStart == m_outEnd)
        m_outStart = m_outEnd = 0;
    PumpReply();
}

bool IscsiConnection::Finished() const
{
    return m_phase == Phase::CLOSING && (m_abandoned || (!m_reply.active && m_outStart == m_outEnd));
}

void IscsiConnection::Close(IscsiEnd why, uint64_t now)
{
    if (m_phase == Phase::CLOSING)
        return;
    m_phase = Phase::CLOSING;
    m_end = why;
    m_closingSince = now;
    AbortTask();
    m_portal.Ended(*this);
}

void IscsiConnection::Abandon()
{
    m_abandoned = true;
    m_reply.active = false;
    m_outStart = m_outEnd = 0;
}

void IscsiConnection::AbortTask()
{
    if (!m_write.active)
        return;
    m_discardItt = m_write.itt;
    m_write = WriteTask();
}
