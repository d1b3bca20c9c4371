// The login phase of a connection: stages, key negotiation, and the checks that decide whether the
// initiator gets its session.
#include <cstring>

#include "sim/iscsi/iscsi_connection.h"
#include "sim/iscsi/iscsi_portal.h"

namespace {

constexpr uint8_t LOGIN_TRANSIT = 0x80;
constexpr uint8_t STAGE_SECURITY = 0;
constexpr uint8_t STAGE_OPERATIONAL = 1;
constexpr uint8_t STAGE_FULL_FEATURE = 3;
// Text a login may spread over several PDUs, and keys it may offer in all.
constexpr size_t MAX_LOGIN_TEXT = 16384;
constexpr size_t MAX_LOGIN_KEYS = 2 * ISCSI_MAX_TEXT_PAIRS;

uint8_t CurrentStage(const uint8_t* header) { return (header[1] >> 2) & 3; }
uint8_t NextStage(const uint8_t* header) { return header[1] & 3; }

}  // namespace

void IscsiConnection::OnLogin(const uint8_t* header, const uint8_t* data, size_t length)
{
    const bool first = !m_loginStarted;
    if (first) {
        m_loginStarted = true;
        std::memcpy(m_isid.data(), header + ISCSI_AT_ISID, m_isid.size());
        m_cid = static_cast<uint16_t>(ReadBe16(header + ISCSI_AT_CID));
        m_expCmdSn = ReadBe32(header + ISCSI_AT_CMD_SN);
        m_stage = CurrentStage(header);
    }
    uint16_t status = CheckLoginRequest(header, first);
    if (status == ISCSI_LOGIN_SUCCESS && m_loginText.size() + length > MAX_LOGIN_TEXT)
        status = ISCSI_LOGIN_INITIATOR_ERROR;
    if (status != ISCSI_LOGIN_SUCCESS) {
        FailLogin(header, status);
        return;
    }
    m_loginText.append(reinterpret_cast<const char*>(data), length);
    if (header[1] & ISCSI_CONTINUE) {
        SendLoginResponse(header, ISCSI_LOGIN_SUCCESS, false, 0, std::string());
        return;
    }

    std::vector<IscsiTextPair> pairs;
    const IscsiTextError error =
        IscsiParseText(reinterpret_cast<const uint8_t*>(m_loginText.data()), m_loginText.size(), &pairs);
    m_loginText.clear();
    if (error != IscsiTextError::NONE) {
        FailLogin(header, ISCSI_LOGIN_INITIATOR_ERROR);
        return;
    }
    // A key offered again in a later request must keep its value.
    for (const IscsiTextPair& pair : pairs) {
        bool seen = false;
        for (const IscsiTextPair& earlier : m_loginKeys) {
            if (earlier.key != pair.key)
                continue;
            seen = true;
            if (earlier.value != pair.value) {
                FailLogin(header, ISCSI_LOGIN_INITIATOR_ERROR);
                return;
            }
        }
        if (!seen && m_loginKeys.size() == MAX_LOGIN_KEYS) {
            FailLogin(header, ISCSI_LOGIN_INITIATOR_ERROR);
            return;
        }
        if (!seen)
            m_loginKeys.push_back(pair);
    }

    std::string answer;
    const IscsiKeyStage keyStage = m_stage == STAGE_SECURITY ? IscsiKeyStage::SECURITY : IscsiKeyStage::OPERATIONAL;
    status = IscsiNegotiate(pairs, keyStage, m_ours, &m_session, &answer);
    // The first whole request names the initiator and the target.
    if (status == ISCSI_LOGIN_SUCCESS && !m_identityChecked) {
        status = CheckIdentity();
        m_identityChecked = true;
    }
    const bool transit = (header[1] & LOGIN_TRANSIT) != 0;
    const uint8_t next = NextStage(header);
    // The unit may have left while the login went on.
    if (status == ISCSI_LOGIN_SUCCESS && transit && next == STAGE_FULL_FEATURE && !m_session.discovery)
        status = m_portal.FindTarget(m_session.targetName, &m_unit);
    if (status != ISCSI_LOGIN_SUCCESS) {
        FailLogin(header, status);
        return;
    }

    std::string declared;
    if (!m_targetDeclared && !m_session.discovery) {
        IscsiAppendPair(&declared, "TargetAlias", m_portal.TargetAlias(m_unit));
        IscsiAppendPair(&declared, "TargetPortalGroupTag", "1");
        m_targetDeclared = true;
    }
    if (m_stage == STAGE_OPERATIONAL && !m_lengthDeclared) {
        IscsiAppendPair(&declared, "MaxRecvDataSegmentLength", std::to_string(m_ours.maxRecvDataSegment));
        m_lengthDeclared = true;
    }
    if (transit && next == STAGE_FULL_FEATURE)
        m_tsih = m_portal.NewTsih();
    SendLoginResponse(header, ISCSI_LOGIN_SUCCESS, transit, next, answer + declared);
    if (!transit)
        return;
    m_stage = next;
    if (next == STAGE_FULL_FEATURE) {
        m_phase = Phase::FULL_FEATURE;
        m_loggedIn = true;
        m_loginKeys.clear();
        m_portal.LoggedIn(*this);
    }
}

uint16_t IscsiConnection::CheckLoginRequest(const uint8_t* header, bool first)
{
    const bool transit = (header[1] & LOGIN_TRANSIT) != 0;
    const uint8_t current = CurrentStage(header);
    const uint8_t next = NextStage(header);
    // Version 0 is the only one there is; Version-min above it cannot be met.
    if (header[3] != 0)
        return ISCSI_LOGIN_UNSUPPORTED_VERSION;
    if (transit && (header[1] & ISCSI_CONTINUE))
        return ISCSI_LOGIN_INITIATOR_ERROR;
    if (current != m_stage || current > STAGE_OPERATIONAL)
        return ISCSI_LOGIN_INITIATOR_ERROR;
    if (transit && (next <= current || (next != STAGE_OPERATIONAL && next != STAGE_FULL_FEATURE)))
        return ISCSI_LOGIN_INITIATOR_ERROR;
    if (first) {
        // A TSIH asks to add a connection to a session; a session here has one connection.
        const uint16_t tsih = static_cast<uint16_t>(ReadBe16(header + ISCSI_AT_TSIH));
        if (tsih != 0)
            return m_portal.SessionExists(tsih) ? ISCSI_LOGIN_TOO_MANY_CONNECTIONS : ISCSI_LOGIN_NO_SESSION;
    }
    return ISCSI_LOGIN_SUCCESS;
}

uint16_t IscsiConnection::CheckIdentity()
{
    if (m_session.initiatorName.empty())
        return ISCSI_LOGIN_MISSING_PARAMETER;
    if (m_session.discovery)
        return ISCSI_LOGIN_SUCCESS;
    if (m_session.targetName.empty())
        return ISCSI_LOGIN_MISSING_PARAMETER;
    return m_portal.FindTarget(m_session.targetName, &m_unit);
}

void IscsiConnection::SendLoginResponse(const uint8_t* header, uint16_t status, bool transit, uint8_t next,
                                        const std::string& text)
{
    uint8_t pdu[ISCSI_BHS_LENGTH] = {ISCSI_OP_LOGIN_RESPONSE};
    pdu[1] = static_cast<uint8_t>((transit ? LOGIN_TRANSIT : 0) | (m_stage & 3) << 2 | (transit ? next : 0));
    std::memcpy(pdu + ISCSI_AT_ISID, m_isid.data(), m_isid.size());
    WriteBe16(pdu + ISCSI_AT_TSIH, transit && next == STAGE_FULL_FEATURE ? m_tsih : 0);
    std::memcpy(pdu + ISCSI_AT_ITT, header + ISCSI_AT_ITT, 4);
    pdu[ISCSI_AT_LOGIN_STATUS] = static_cast<uint8_t>(status >> 8);
    pdu[ISCSI_AT_LOGIN_STATUS + 1] = static_cast<uint8_t>(status);
    SendStatusPdu(pdu, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void IscsiConnection::FailLogin(const uint8_t* header, uint16_t status)
{
    m_loginStatus = status;
    SendLoginResponse(header, status, false, 0, std::string());
    Close(IscsiEnd::LOGIN_FAILED, m_portal.Now());
}
