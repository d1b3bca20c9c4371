#include "sim/machine/aspi_manager.h"

#include <algorithm>
#include <cstring>

#include "sim/machine/emulated_machine.h"

namespace {

void CopyPadded(BYTE* field, size_t size, const char* text)
{
    std::memset(field, ' ', size);
    std::memcpy(field, text, std::min(size, std::strlen(text)));
}

}  // namespace

AspiAdapter& AspiManager::Adapter(BYTE number)
{
    if (m_adapters.size() <= number)
        m_adapters.resize(static_cast<size_t>(number) + 1);
    return m_adapters[number];
}

void AspiManager::Attach(SimUnit* unit, BYTE adapter, BYTE target, BYTE lun)
{
    Adapter(adapter).devices[{target, lun}] = unit;
}

void AspiManager::SetSupportInfo(DWORD info)
{
    m_supportInfoSet = true;
    m_supportInfo = info;
}

void AspiManager::CompleteRequests(AspiCompletion how, uint64_t delay, unsigned times)
{
    if (times == ALWAYS) {
        m_completions.clear();
        m_defaultCompletion = Completion{how, delay, ALWAYS};
    } else if (times > 0) {
        m_completions.push_back(Completion{how, delay, times});
    }
}

AspiManager::Completion AspiManager::NextCompletion()
{
    if (m_completions.empty())
        return m_defaultCompletion;
    Completion next = m_completions.front();
    if (--m_completions.front().remaining == 0)
        m_completions.pop_front();
    return next;
}

DWORD AspiManager::SupportInfo() const
{
    if (m_supportInfoSet)
        return m_supportInfo;
    return (SS_COMP << 8) | static_cast<DWORD>(std::min<size_t>(m_adapters.size(), 0xFF));
}

DWORD AspiManager::SendCommand(void* srb)
{
    auto* header = static_cast<SRB_Header*>(srb);
    switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY:
        return AdapterInquiry(*static_cast<SRB_HAInquiry*>(srb));
    case SC_EXEC_SCSI_CMD:
        return Execute(*static_cast<SRB_ExecSCSICmd*>(srb));
    case SC_ABORT_SRB:
        return Abort(*static_cast<SRB_Abort*>(srb));
    default:
        header->SRB_Status = SS_INVALID_CMD;
        return SS_INVALID_CMD;
    }
}

DWORD AspiManager::AdapterInquiry(SRB_HAInquiry& srb)
{
    ++m_adapterInquiries;
    if (srb.SRB_HaId >= m_adapters.size()) {
        srb.SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    const AspiAdapter& adapter = m_adapters[srb.SRB_HaId];
    srb.HA_Count = static_cast<BYTE>(std::min<size_t>(m_adapters.size(), 0xFF));
    srb.HA_SCSI_ID = adapter.scsiId;
    CopyPadded(srb.HA_ManagerId, sizeof srb.HA_ManagerId, "EMULATED MANAGER");
    CopyPadded(srb.HA_Identifier, sizeof srb.HA_Identifier, "EMULATED ADAPTER");
    std::memset(srb.HA_Unique, 0, sizeof srb.HA_Unique);
    srb.HA_Unique[2] = 8;  // maximum target count
    srb.SRB_Status = adapter.inquiryStatus;
    return srb.SRB_Status;
}

DWORD AspiManager::Execute(SRB_ExecSCSICmd& srb)
{
    m_requests.push_back(srb);
    if (srb.SRB_HaId >= m_adapters.size()) {
        srb.SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    const bool bothDirections = (srb.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT)) == (SRB_DIR_IN | SRB_DIR_OUT);
    const bool missingBuffer = (srb.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT)) && srb.SRB_BufLen > 0 &&
                               srb.SRB_BufPointer == nullptr;
    if (srb.SRB_CDBLen == 0 || srb.SRB_CDBLen > sizeof srb.CDBByte || srb.SRB_SenseLen > sizeof srb.SenseArea ||
        bothDirections || missingBuffer || m_pending.count(&srb)) {
        srb.SRB_Status = SS_INVALID_SRB;
        return SS_INVALID_SRB;
    }
    const Completion completion = NextCompletion();
    if (completion.how == AspiCompletion::AtOnce) {
        CarryOut(srb);
        Signal(srb);
        return srb.SRB_Status;
    }
    srb.SRB_Status = SS_PENDING;
    const uint64_t number = m_nextRequest++;
    m_pending[&srb] = number;
    if (completion.how == AspiCompletion::Later) {
        SRB_ExecSCSICmd* block = &srb;
        m_machine.Clock().After(completion.delay, [this, block, number] {
            auto found = m_pending.find(block);
            if (found == m_pending.end() || found->second != number)
                return;  // aborted meanwhile
            m_pending.erase(found);
            CarryOut(*block);
            Signal(*block);
        });
    }
    return SS_PENDING;
}

DWORD AspiManager::Abort(SRB_Abort& srb)
{
    ++m_aborts;
    if (m_abortsIgnored) {
        srb.SRB_Status = SS_COMP;
        return SS_COMP;
    }
    auto found = m_pending.find(static_cast<SRB_ExecSCSICmd*>(srb.SRB_ToAbort));
    if (found == m_pending.end()) {
        srb.SRB_Status = SS_ABORT_FAIL;
        return SS_ABORT_FAIL;
    }
    SRB_ExecSCSICmd* aborted = found->first;
    m_pending.erase(found);
    aborted->SRB_Status = SS_ABORTED;
    Signal(*aborted);
    srb.SRB_Status = SS_COMP;
    return SS_COMP;
}

void AspiManager::ClearRecords()
{
    m_requests.clear();
    m_aborts = 0;
    m_adapterInquiries = 0;
}

void AspiManager::CarryOut(SRB_ExecSCSICmd& srb)
{
    const size_t senseRoom = std::min<size_t>(srb.SRB_SenseLen, sizeof srb.SenseArea);
    if (!m_scripted.empty()) {
        AspiScriptedStatus answer = m_scripted.front();
        m_scripted.pop_front();
        if (answer.writesHaAndTargStat) {
            srb.SRB_HaStat = answer.haStat;
            srb.SRB_TargStat = answer.targStat;
        }
        if (!answer.sense.empty())
            std::memcpy(srb.SenseArea, answer.sense.data(), std::min(senseRoom, answer.sense.size()));
        if (answer.writesSrbStatus)
            srb.SRB_Status = answer.srbStatus;
        return;
    }
    srb.SRB_HaStat = HASTAT_OK;
    srb.SRB_TargStat = SCSISTAT_GOOD;
    const AspiAdapter& adapter = m_adapters[srb.SRB_HaId];
    auto device = adapter.devices.find({srb.SRB_Target, srb.SRB_Lun});
    SimResult result;
    if (device != adapter.devices.end()) {
        SimDirection direction = SimDirection::None;
        uint32_t length = 0;
        if (srb.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT)) {
            direction = (srb.SRB_Flags & SRB_DIR_IN) ? SimDirection::In : SimDirection::Out;
            length = srb.SRB_BufLen;
        }
        // The LUN reaches the device with its selection: LUN bits in CDB byte 1 (the older form,
        // which the probe's INQUIRY uses) that name the same LUN are taken off on the way.
        BYTE cdb[sizeof srb.CDBByte];
        std::memcpy(cdb, srb.CDBByte, sizeof cdb);
        if (srb.SRB_CDBLen > 1 && (cdb[1] >> 5) == srb.SRB_Lun)
            cdb[1] &= 0x1F;
        result = device->second->Execute(cdb, srb.SRB_CDBLen, direction, srb.SRB_BufPointer, length);
    }
    if (device == adapter.devices.end() || result.deviceGone) {
        // Nothing answers the selection.
        srb.SRB_HaStat = HASTAT_SEL_TO;
        srb.SRB_Status = SS_ERR;
    } else if (result.scsiStatus != SCSISTAT_GOOD) {
        srb.SRB_TargStat = result.scsiStatus;
        if (!result.sense.empty())
            std::memcpy(srb.SenseArea, result.sense.data(), std::min(senseRoom, result.sense.size()));
        srb.SRB_Status = SS_ERR;
    } else {
        srb.SRB_Status = SS_COMP;
    }
    m_machine.Win9x().NoticePresenceChanges();
}

void AspiManager::Signal(SRB_ExecSCSICmd& srb)
{
    if ((srb.SRB_Flags & SRB_EVENT_NOTIFY) && srb.SRB_PostProc != nullptr)
        m_machine.Objects().SetEventState(srb.SRB_PostProc, true);
}

namespace {

// The entry points find the current machine themselves; kept past its end, they answer as a
// manager that is not initialised.
DWORD ASPI_ENTRY EmulatedSendASPI32Command(void* srb)
{
    EmulatedMachine* machine = EmulatedMachine::Current();
    if (srb == nullptr)
        return SS_INVALID_SRB;
    if (machine == nullptr) {
        static_cast<SRB_Header*>(srb)->SRB_Status = SS_FAILED_INIT;
        return SS_FAILED_INIT;
    }
    return machine->Aspi().SendCommand(srb);
}

DWORD ASPI_ENTRY EmulatedGetASPI32SupportInfo(void)
{
    EmulatedMachine* machine = EmulatedMachine::Current();
    return machine ? machine->Aspi().SupportInfo() : SS_FAILED_INIT << 8;
}

template <typename Function>
FARPROC Entry(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(function));
}

}  // namespace

std::map<std::string, FARPROC> AspiManagerEntries()
{
    return {
        {"SendASPI32Command", Entry(EmulatedSendASPI32Command)},
        {"GetASPI32SupportInfo", Entry(EmulatedGetASPI32SupportInfo)},
    };
}
