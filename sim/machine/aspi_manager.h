// The ASPI manager of the emulated 9x machine: the module WNASPI32.DLL with its two entry points,
// host adapters with simulated units at their targets and LUNs, and requests that complete at once,
// later on the virtual clock, or never (until they are aborted). The scenario chooses:
//
//     AspiManager& aspi = machine.Aspi();
//     aspi.CompleteRequests(AspiCompletion::Never, 0, 1);          // the next request hangs
//     aspi.ScriptStatus({SS_ERR, HASTAT_SEL_TO, 0, {}});           // the next one ends so
//     aspi.Adapter(1).inquiryStatus = SS_INVALID_HA;               // adapter 1 refuses its inquiry
//     aspi.SetSupportInfo((SS_COMP << 8) | 20);                    // claims 20 adapters
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/aspi_requests.h"
#include "sim/sim_unit.h"

class EmulatedMachine;

enum class AspiCompletion {
    AtOnce,  // the request is carried out inside SendASPI32Command, which returns its status
    Later,   // SendASPI32Command returns SS_PENDING; the request is carried out `delay` ms later
    Never,   // SendASPI32Command returns SS_PENDING and nothing more happens until an abort
};

// An answer that replaces the device's for one command request: it does not reach the device.
struct AspiScriptedStatus {
    BYTE srbStatus = SS_COMP;
    BYTE haStat = HASTAT_OK;
    BYTE targStat = SCSISTAT_GOOD;
    std::vector<BYTE> sense;  // written to SenseArea up to the request's SRB_SenseLen
    // A careless manager: false leaves the field (or SRB_HaStat and SRB_TargStat) as it was in the block.
    bool writesSrbStatus = true;
    bool writesHaAndTargStat = true;
};

struct AspiAdapter {
    BYTE scsiId = 7;               // the adapter's own target id (no device answers there)
    BYTE inquiryStatus = SS_COMP;  // what its SC_HA_INQUIRY ends with
    std::map<std::pair<BYTE, BYTE>, SimUnit*> devices;  // (target, LUN) -> unit
};

class AspiManager {
public:
    static const unsigned ALWAYS = ~0u;

    explicit AspiManager(EmulatedMachine& machine) : m_machine(machine) {}

    // Adapter `number`, created with every adapter below it on demand.
    AspiAdapter& Adapter(BYTE number);
    size_t AdapterCount() const { return m_adapters.size(); }
    // Puts the unit (owned by the machine) at the adapter's target and LUN.
    void Attach(SimUnit* unit, BYTE adapter, BYTE target, BYTE lun);

    // What GetASPI32SupportInfo returns; by default (SS_COMP << 8) | the adapter count.
    void SetSupportInfo(DWORD info);
    // How the next `times` command requests complete (ALWAYS: all from now on). By default a
    // request is pending and completes as soon as the program waits for it (Later, 0 ms).
    void CompleteRequests(AspiCompletion how, uint64_t delay = 0, unsigned times = ALWAYS);
    void ScriptStatus(const AspiScriptedStatus& status) { m_scripted.push_back(status); }
    // From now on abort requests are accepted (SS_COMP) but the request runs on as it would have.
    void IgnoreAborts() { m_abortsIgnored = true; }

    // What happened: every command request as received, abort requests, requests still pending.
    const std::vector<SRB_ExecSCSICmd>& Requests() const { return m_requests; }
    unsigned Aborts() const { return m_aborts; }
    unsigned AdapterInquiries() const { return m_adapterInquiries; }
    size_t PendingRequests() const { return m_pending.size(); }
    // Forgets the requests and counts recorded so far (pending requests stay).
    void ClearRecords();

    // The entry points' work.
    DWORD SupportInfo() const;
    DWORD SendCommand(void* srb);

private:
    struct Completion {
        AspiCompletion how;
        uint64_t delay;
        unsigned remaining;
    };
    DWORD AdapterInquiry(SRB_HAInquiry& srb);
    DWORD Execute(SRB_ExecSCSICmd& srb);
    DWORD Abort(SRB_Abort& srb);
    // Carries the request out: the device's answer (or the scripted one) into the block.
    void CarryOut(SRB_ExecSCSICmd& srb);
    void Signal(SRB_ExecSCSICmd& srb);
    Completion NextCompletion();

    EmulatedMachine& m_machine;
    std::vector<AspiAdapter> m_adapters;
    bool m_supportInfoSet = false;
    DWORD m_supportInfo = 0;
    std::deque<Completion> m_completions;
    Completion m_defaultCompletion = {AspiCompletion::Later, 0, ALWAYS};
    std::deque<AspiScriptedStatus> m_scripted;
    std::vector<SRB_ExecSCSICmd> m_requests;
    std::map<SRB_ExecSCSICmd*, uint64_t> m_pending;  // block -> request number
    uint64_t m_nextRequest = 1;
    unsigned m_aborts = 0;
    bool m_abortsIgnored = false;
    unsigned m_adapterInquiries = 0;
};

// WNASPI32.DLL's entry points on the emulated machine, as GetProcAddress hands them out.
std::map<std::string, FARPROC> AspiManagerEntries();
