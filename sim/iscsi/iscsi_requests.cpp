// The full feature phase's requests other than SCSI commands: NOP-Out, text (SendTargets), logout
// and task management.
#include <algorithm>
#include <cstring>

#include "sim/iscsi/iscsi_connection.h"
#include "sim/iscsi/iscsi_portal.h"

namespace {

constexpr size_t MAX_TEXT_REQUEST = 16384;

enum TaskFunction : uint8_t {
    ABORT_TASK = 1,
    ABORT_TASK_SET = 2,
    CLEAR_ACA = 3,
    CLEAR_TASK_SET = 4,
    LOGICAL_UNIT_RESET = 5,
    TARGET_WARM_RESET = 6,
    TARGET_COLD_RESET = 7,
    TASK_REASSIGN = 8,
};

enum TaskResponse : uint8_t {
    FUNCTION_COMPLETE = 0,
    TASK_DOES_NOT_EXIST = 1,
    LUN_DOES_NOT_EXIST = 2,
    REASSIGNMENT_NOT_SUPPORTED = 4,
    FUNCTION_NOT_SUPPORTED = 5,
    FUNCTION_REJECTED = 255,
};

enum LogoutReason : uint8_t { CLOSE_SESSION = 0, CLOSE_CONNECTION = 1, REMOVE_FOR_RECOVERY = 2 };
enum LogoutResponse : uint8_t { LOGOUT_DONE = 0, CID_NOT_FOUND = 1, RECOVERY_NOT_SUPPORTED = 2 };

}  // namespace

void IscsiConnection::OnNopOut(const uint8_t* header, const uint8_t* data, size_t length)
{
    // A NOP-Out without a task tag wants no answer (and answers a ping this target never sends).
    const uint32_t itt = ReadBe32(header + ISCSI_AT_ITT);
    if (itt == ISCSI_RESERVED_TAG || !TakeCmdSn(header))
        return;
    uint8_t pdu[ISCSI_BHS_LENGTH] = {ISCSI_OP_NOP_IN, ISCSI_FINAL};
    std::memcpy(pdu + ISCSI_AT_LUN, header + ISCSI_AT_LUN, 8);
    WriteBe32(pdu + ISCSI_AT_ITT, itt);
    WriteBe32(pdu + ISCSI_AT_TTT, ISCSI_RESERVED_TAG);
    SendStatusPdu(pdu, data, std::min<size_t>(length, SendSegmentLimit()));
}

void IscsiConnection::OnText(const uint8_t* header, const uint8_t* data, size_t length)
{
    if (!TakeCmdSn(header))
        return;
    const uint32_t tag = ReadBe32(header + ISCSI_AT_TTT);
    if (tag != ISCSI_RESERVED_TAG) {
        // The initiator goes on with an exchange: it asks for the next part of a long answer, or
        // sends the next part of its request.
        if (tag != m_text.tag) {
            m_text = TextExchange();
            Reject(ISCSI_REJECT_INVALID_FIELD, header);
            return;
        }
        if (m_text.answered < m_text.answer.size()) {
            SendTextPart(header);
            return;
        }
    } else {
        m_text = TextExchange();
    }
    const bool more = (header[1] & ISCSI_CONTINUE) != 0;
    if ((more && (header[1] & ISCSI_FINAL)) || m_text.request.size() + length > MAX_TEXT_REQUEST) {
        m_text = TextExchange();
        Reject(ISCSI_REJECT_PROTOCOL_ERROR, header);
        return;
    }
    m_text.request.append(reinterpret_cast<const char*>(data), length);
    if (more) {
        m_text.tag = NextTag();
        SendTextPart(header);
        return;
    }

    std::vector<IscsiTextPair> pairs;
    if (IscsiParseText(reinterpret_cast<const uint8_t*>(m_text.request.data()), m_text.request.size(), &pairs) !=
        IscsiTextError::NONE) {
        m_text = TextExchange();
        Reject(ISCSI_REJECT_PROTOCOL_ERROR, header);
        return;
    }
    std::string answer;
    for (const IscsiTextPair& pair : pairs) {
        if (pair.key == "SendTargets")
            answer += m_portal.SendTargets(pair.value, m_session.discovery ? -1 : m_unit, m_portalAddress);
        else
            IscsiNegotiate({pair}, IscsiKeyStage::FULL_FEATURE, m_ours, &m_session, &answer);
    }
    m_text = TextExchange();
    m_text.answer = std::move(answer);
    SendTextPart(header);
}

// The next part of the text answer: as much as the initiator takes in one PDU; more parts are
// marked to continue and carry a tag the initiator asks for them with.
void IscsiConnection::SendTextPart(const uint8_t* header)
{
    const size_t part = std::min<size_t>(m_text.answer.size() - m_text.answered, SendSegmentLimit());
    const bool collecting = m_text.answer.empty() && !m_text.request.empty() && m_text.tag != ISCSI_RESERVED_TAG;
    const bool last = !collecting && m_text.answered + part == m_text.answer.size();
    if (!last && m_text.tag == ISCSI_RESERVED_TAG)
        m_text.tag = NextTag();
    uint8_t pdu[ISCSI_BHS_LENGTH] = {ISCSI_OP_TEXT_RESPONSE};
    pdu[1] = last ? ISCSI_FINAL : (collecting ? 0 : ISCSI_CONTINUE);
    std::memcpy(pdu + ISCSI_AT_LUN, header + ISCSI_AT_LUN, 8);
    std::memcpy(pdu + ISCSI_AT_ITT, header + ISCSI_AT_ITT, 4);
    WriteBe32(pdu + ISCSI_AT_TTT, last ? ISCSI_RESERVED_TAG : m_text.tag);
    SendStatusPdu(pdu, reinterpret_cast<const uint8_t*>(m_text.answer.data()) + m_text.answered, part);
    m_text.answered += part;
    if (last)
        m_text = TextExchange();
}

void IscsiConnection::OnLogout(const uint8_t* header)
{
    if (!TakeCmdSn(header))
        return;
    uint8_t response;
    switch (header[1] & 0x7F) {
    case CLOSE_SESSION: response = LOGOUT_DONE; break;
    case CLOSE_CONNECTION:
        response = ReadBe16(header + ISCSI_AT_CID) == m_cid ? LOGOUT_DONE : CID_NOT_FOUND;
        break;
    case REMOVE_FOR_RECOVERY: response = RECOVERY_NOT_SUPPORTED; break;
    default: Reject(ISCSI_REJECT_INVALID_FIELD, header); return;
    }
    if (response == LOGOUT_DONE)
        AbortTask();
    uint8_t pdu[ISCSI_BHS_LENGTH] = {ISCSI_OP_LOGOUT_RESPONSE, ISCSI_FINAL, response};
    std::memcpy(pdu + ISCSI_AT_ITT, header + ISCSI_AT_ITT, 4);
    SendStatusPdu(pdu, nullptr, 0);
    if (response == LOGOUT_DONE)
        Close(IscsiEnd::LOGOUT, m_portal.Now());
}

void IscsiConnection::OnTaskManagement(const uint8_t* header)
{
    if (!TakeCmdSn(header))
        return;
    const uint8_t function = header[1] & 0x7F;
    const bool lunExists = IscsiLunNumber(header + ISCSI_AT_LUN) == 0;
    const uint32_t referenced = ReadBe32(header + ISCSI_AT_TTT);
    uint8_t response = FUNCTION_COMPLETE;
    switch (function) {
    case ABORT_TASK:
        if (!lunExists) {
            response = LUN_DOES_NOT_EXIST;
        } else if (m_write.active && m_write.itt == referenced) {
            AbortTask();
        } else {
            // A task that is not here was either finished or never came: "complete" only for a
            // command the window still expects before this request.
            const uint32_t refCmdSn = ReadBe32(header + ISCSI_AT_REF_CMD_SN);
            const bool inWindow = !IscsiSnBefore(refCmdSn, m_expCmdSn) && !IscsiSnBefore(MaxCmdSn(), refCmdSn);
            if (!inWindow || !IscsiSnBefore(refCmdSn, ReadBe32(header + ISCSI_AT_CMD_SN)))
                response = TASK_DOES_NOT_EXIST;
        }
        break;
    case ABORT_TASK_SET:
    case CLEAR_TASK_SET:
        if (lunExists)
            AbortTask();
        else
            response = LUN_DOES_NOT_EXIST;
        break;
    case LOGICAL_UNIT_RESET:
        if (lunExists)
            m_portal.ResetUnit(m_unit);
        else
            response = LUN_DOES_NOT_EXIST;
        break;
    case TARGET_WARM_RESET:
    case TARGET_COLD_RESET: m_portal.ResetUnit(m_unit); break;
    case CLEAR_ACA: response = lunExists ? FUNCTION_NOT_SUPPORTED : LUN_DOES_NOT_EXIST; break;
    case TASK_REASSIGN: response = REASSIGNMENT_NOT_SUPPORTED; break;
    default: response = FUNCTION_REJECTED; break;
    }
    uint8_t pdu[ISCSI_BHS_LENGTH] = {ISCSI_OP_TASK_MANAGEMENT_RESPONSE, ISCSI_FINAL, response};
    std::memcpy(pdu + ISCSI_AT_ITT, header + ISCSI_AT_ITT, 4);
    SendStatusPdu(pdu, nullptr, 0);
    // A cold reset drops every connection to the target, this one after its answer.
    if (function == TARGET_COLD_RESET)
        m_portal.CloseUnitSessions(m_unit, IscsiEnd::TARGET_RESET);
}
