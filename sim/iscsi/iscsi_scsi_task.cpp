// SCSI commands on a connection: the CDB and its data out (immediate data, unsolicited Data-Out,
// R2T and solicited Data-Out, all in order), the unit's answer, and the data and status going back
// (Data-In, with the status in the last one unless there is sense, then a SCSI Response).
#include <algorithm>
#include <cstring>

#include "sim/iscsi/iscsi_connection.h"
#include "sim/iscsi/iscsi_portal.h"
#include "sim/iscsi/scsi_target_layer.h"

namespace {

enum AhsType : uint8_t { AHS_EXTENDED_CDB = 1, AHS_BIDIRECTIONAL_READ_LENGTH = 2 };
constexpr size_t MAX_SENSE_LENGTH = 252;

}  // namespace

void IscsiConnection::OnScsiCommand(const uint8_t* header, const uint8_t* ahs, size_t ahsLength, const uint8_t* data,
                                    size_t length)
{
    if (!TakeCmdSn(header))
        return;
    // Only an immediate command can arrive while a write waits for its data.
    if (m_write.active) {
        Reject(ISCSI_REJECT_IMMEDIATE_COMMAND, header);
        return;
    }
    const uint8_t flags = header[1];
    const bool read = (flags & ISCSI_COMMAND_READ) != 0;
    const bool write = (flags & ISCSI_COMMAND_WRITE) != 0;
    const uint32_t itt = ReadBe32(header + ISCSI_AT_ITT);
    const uint32_t expected = ReadBe32(header + ISCSI_AT_TTT);
    const long lun = IscsiLunNumber(header + ISCSI_AT_LUN);

    std::vector<uint8_t> cdb(header + ISCSI_AT_CDB, header + ISCSI_AT_CDB + ISCSI_CDB_LENGTH);
    bool bidirectional = read && write;
    for (size_t at = 0; at + 4 <= ahsLength;) {
        const size_t specific = ReadBe16(ahs + at);  // the bytes after the type, the reserved byte included
        if (specific == 0 || at + 3 + specific > ahsLength) {
            Reject(ISCSI_REJECT_INVALID_FIELD, header);
            return;
        }
        if (ahs[at + 2] == AHS_EXTENDED_CDB)
            cdb.insert(cdb.end(), ahs + at + 4, ahs + at + 3 + specific);
        else if (ahs[at + 2] == AHS_BIDIRECTIONAL_READ_LENGTH)
            bidirectional = true;
        at += IscsiPaddedLength(3 + specific);
    }
    const uint32_t firstBurst = IscsiEffectiveFirstBurst(m_session);
    if (length > 0 && (!write || !m_session.immediateData || length > expected || length > firstBurst)) {
        Reject(ISCSI_REJECT_PROTOCOL_ERROR, header);
        return;
    }

    const SimDirection direction = write ? SimDirection::Out : read ? SimDirection::In : SimDirection::None;
    if (bidirectional || expected > m_limits.maxTransfer) {
        m_discardItt = itt;
        Answer(itt, expected, direction, m_portal.Refuse(m_unit, cdb, direction, expected));
        return;
    }
    if (!write) {
        Execute(itt, lun, cdb, direction, direction == SimDirection::None ? 0 : expected);
        return;
    }

    // An immediate command leaves CmdSN where it is, so the window cannot close behind it: an immediate
    // write that would wait for more data is turned away (its data dropped), rather than let the next
    // command the initiator may send meanwhile go unanswered.
    if (IscsiIsImmediate(header) && length != expected) {
        m_discardItt = itt;
        Reject(ISCSI_REJECT_IMMEDIATE_COMMAND, header);
        return;
    }
    m_write = WriteTask();
    m_write.active = true;
    m_write.itt = itt;
    m_write.lun = lun;
    std::memcpy(m_write.lunField.data(), header + ISCSI_AT_LUN, 8);
    m_write.cdb = std::move(cdb);
    m_write.length = expected;
    m_write.received = static_cast<uint32_t>(length);
    if (length != 0)
        std::memcpy(m_data.data(), data, length);
    m_write.unsolicitedEnd = std::min(firstBurst, expected);
    m_write.unsolicited =
        !m_session.initialR2T && !(flags & ISCSI_FINAL) && m_write.received < m_write.unsolicitedEnd;
    if (m_write.received == m_write.length)
        ExecuteWrite();
    else if (!m_write.unsolicited)
        SendR2T();
}

void IscsiConnection::OnDataOut(const uint8_t* header, const uint8_t* data, size_t length)
{
    const uint32_t itt = ReadBe32(header + ISCSI_AT_ITT);
    if (!m_write.active || itt != m_write.itt) {
        // Data of a write that was answered early or aborted may still be on its way.
        if (itt != m_discardItt)
            Reject(ISCSI_REJECT_INVALID_FIELD, header);
        return;
    }
    const uint32_t tag = ReadBe32(header + ISCSI_AT_TTT);
    const bool unsolicited = tag == ISCSI_RESERVED_TAG;
    uint32_t end;
    if (unsolicited && m_write.unsolicited)
        end = m_write.unsolicitedEnd;
    else if (!unsolicited && m_write.r2tOpen && tag == m_write.r2tTag)
        end = m_write.r2tEnd;
    else
        return ProtocolFailure(header);
    const uint32_t offset = ReadBe32(header + ISCSI_AT_BUFFER_OFFSET);
    if (offset != m_write.received || ReadBe32(header + ISCSI_AT_DATA_SN) != m_write.dataSn || length > end - offset)
        return ProtocolFailure(header);
    if (length != 0)
        std::memcpy(m_data.data() + offset, data, length);
    m_write.received += static_cast<uint32_t>(length);
    ++m_write.dataSn;

    const bool final = (header[1] & ISCSI_FINAL) != 0;
    // The last PDU of a sequence says so; a solicited sequence brings all the R2T asked for.
    if (final != (m_write.received == end) && !(final && unsolicited))
        return ProtocolFailure(header);
    if (!final)
        return;
    m_write.unsolicited = false;
    m_write.r2tOpen = false;
    if (m_write.received == m_write.length)
        ExecuteWrite();
    else
        SendR2T();
}

void IscsiConnection::SendR2T()
{
    m_write.r2tOpen = true;
    m_write.r2tTag = NextTag();
    m_write.r2tEnd = m_write.received + std::min(m_session.maxBurst, m_write.length - m_write.received);
    m_write.dataSn = 0;
    uint8_t pdu[ISCSI_BHS_LENGTH] = {ISCSI_OP_R2T, ISCSI_FINAL};
    std::memcpy(pdu + ISCSI_AT_LUN, m_write.lunField.data(), 8);
    WriteBe32(pdu + ISCSI_AT_ITT, m_write.itt);
    WriteBe32(pdu + ISCSI_AT_TTT, m_write.r2tTag);
    WriteBe32(pdu + ISCSI_AT_STAT_SN, m_statSn);  // the next StatSN, not taken
    WriteBe32(pdu + ISCSI_AT_DATA_SN, m_write.r2tSn++);
    WriteBe32(pdu + ISCSI_AT_BUFFER_OFFSET, m_write.received);
    WriteBe32(pdu + ISCSI_AT_RESIDUAL, m_write.r2tEnd - m_write.received);
    Send(pdu, nullptr, 0);
}

void IscsiConnection::ExecuteWrite()
{
    const WriteTask task = std::move(m_write);
    m_write = WriteTask();
    m_discardItt = task.itt;
    Execute(task.itt, task.lun, task.cdb, SimDirection::Out, task.length, task.r2tSn);
}

void IscsiConnection::Execute(uint32_t itt, long lun, const std::vector<uint8_t>& cdb, SimDirection direction,
                              uint32_t length, uint32_t r2ts)
{
    const SimResult result = m_portal.Execute(m_unit, lun, cdb, direction, m_data.data(), length);
    // A unit that is not there answers nothing, as a vanished device; its sessions end.
    if (result.deviceGone) {
        Close(IscsiEnd::UNIT_LEFT, m_portal.Now());
        return;
    }
    Answer(itt, length, direction, result, r2ts);
}

void IscsiConnection::Answer(uint32_t itt, uint32_t expected, SimDirection direction, const SimResult& result,
                             uint32_t r2ts)
{
    m_reply = Reply();
    m_reply.dataSn = r2ts;  // the SCSI Response's ExpDataSN counts the R2Ts and Data-Ins sent
    m_reply.active = true;
    m_reply.itt = itt;
    m_reply.expected = expected;
    m_reply.status = result.scsiStatus;
    m_reply.transferred = std::min(result.transferred, expected);
    m_reply.dataLength = direction == SimDirection::In ? m_reply.transferred : 0;
    m_reply.sense.assign(result.sense.begin(),
                         result.sense.begin() + static_cast<long>(std::min(result.sense.size(), MAX_SENSE_LENGTH)));
    PumpReply();
}

void IscsiConnection::PumpReply()
{
    while (m_reply.active && !m_abandoned && OutputFree() >= LargestPdu()) {
        const bool underflow = m_reply.transferred < m_reply.expected;
        const uint32_t residual = m_reply.expected - m_reply.transferred;
        uint8_t pdu[ISCSI_BHS_LENGTH] = {};
        WriteBe32(pdu + ISCSI_AT_ITT, m_reply.itt);
        if (m_reply.sent < m_reply.dataLength) {
            // A Data-In sequence ends at every MaxBurstLength bytes.
            const uint64_t burstEnd = (uint64_t(m_reply.sent) / m_session.maxBurst + 1) * m_session.maxBurst;
            const uint32_t part = static_cast<uint32_t>(std::min<uint64_t>(
                {uint64_t(m_reply.dataLength - m_reply.sent), SendSegmentLimit(), burstEnd - m_reply.sent}));
            const bool last = m_reply.sent + part == m_reply.dataLength;
            const bool withStatus = last && m_reply.status == 0;
            pdu[0] = ISCSI_OP_DATA_IN;
            pdu[1] = static_cast<uint8_t>((last || m_reply.sent + part == burstEnd ? ISCSI_FINAL : 0) |
                                          (withStatus ? ISCSI_DATA_STATUS : 0) |
                                          (withStatus && underflow ? ISCSI_RESIDUAL_UNDERFLOW : 0));
            WriteBe32(pdu + ISCSI_AT_TTT, ISCSI_RESERVED_TAG);
            WriteBe32(pdu + ISCSI_AT_DATA_SN, m_reply.dataSn++);
            WriteBe32(pdu + ISCSI_AT_BUFFER_OFFSET, m_reply.sent);
            if (withStatus && underflow)
                WriteBe32(pdu + ISCSI_AT_RESIDUAL, residual);
            const uint8_t* bytes = m_data.data() + m_reply.sent;
            m_reply.sent += part;
            if (withStatus) {
                m_reply.active = false;
                SendStatusPdu(pdu, bytes, part);
            } else {
                Send(pdu, bytes, part);
            }
            continue;
        }
        // The status with sense data, or of a command without data in.
        pdu[0] = ISCSI_OP_SCSI_RESPONSE;
        pdu[1] = static_cast<uint8_t>(ISCSI_FINAL | (underflow ? ISCSI_RESIDUAL_UNDERFLOW : 0));
        pdu[3] = m_reply.status;
        WriteBe32(pdu + ISCSI_AT_DATA_SN, m_reply.dataSn);
        if (underflow)
            WriteBe32(pdu + ISCSI_AT_RESIDUAL, residual);
        std::vector<uint8_t> segment;
        if (!m_reply.sense.empty()) {
            segment.resize(2);
            WriteBe16(segment.data(), static_cast<uint32_t>(m_reply.sense.size()));
            segment.insert(segment.end(), m_reply.sense.begin(), m_reply.sense.end());
        }
        m_reply.active = false;
        SendStatusPdu(pdu, segment.data(), segment.size());
    }
}
