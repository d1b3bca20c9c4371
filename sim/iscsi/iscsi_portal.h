// The target portal: simulated units served as iSCSI targets (one target per unit, named after its
// product and index, the unit as LUN 0), the connections to them, and what an initiator sees when
// a unit leaves to restart after saving new firmware: its sessions are closed, logins are refused
// ("service unavailable") for the unit's restart time, then the unit is switched off and on and
// served again with its new revision. A unit that leaves for good (unplugged) stays away ("target
// removed"). No sockets and no clock: the socket loop hands over connections, bytes and the time,
// and takes the events to report.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/iscsi/iscsi_connection.h"
#include "sim/sim_unit.h"

struct IscsiServedUnit {
    SimUnit* unit;
    uint32_t restartMs;  // how long the unit takes to come back after it saved its firmware
};

enum class IscsiEventKind {
    LOGIN,          // a session began
    LOGIN_REFUSED,  // detail: the login status, four hex digits ("0301")
    LOGOUT,         // a session ended; detail: why (IscsiEndName)
    LEAVING,        // the unit left to restart; detail: its restart time in ms
    BACK,           // the unit is back after its restart; detail: its revision now
    GONE,           // the unit left for good
    COMMAND,        // detail: the command as a transcript line
};

struct IscsiEvent {
    IscsiEventKind kind;
    int unit;                  // -1: a discovery session, or a login for no known target
    std::string peer;          // LOGIN, LOGIN_REFUSED, LOGOUT
    std::string initiator;     // LOGIN, LOGIN_REFUSED, LOGOUT
    std::string detail;
    bool unitReceived = false; // COMMAND: the unit received this CDB (else the target answered it)
};

class IscsiPortal {
public:
    explicit IscsiPortal(std::vector<IscsiServedUnit> units, const IscsiLimits& limits = IscsiLimits());
    ~IscsiPortal();
    IscsiPortal(const IscsiPortal&) = delete;
    IscsiPortal& operator=(const IscsiPortal&) = delete;

    // "iqn.2025-01.invalid.qzvsim:<product in lower case>.<index>"
    static std::string TargetNameFor(const std::string& product, size_t index);
    const std::string& TargetName(size_t unit) const;
    size_t UnitCount() const { return m_units.size(); }
    const SimUnit& Unit(size_t unit) const { return *m_units[unit].unit; }

    // The time now, in milliseconds on any steady clock; timers run on it.
    void Advance(uint64_t now);
    uint64_t Now() const { return m_now; }
    // When Advance should be called next (UINT64_MAX: no timer runs).
    uint64_t NextDeadline() const;

    // A new connection; its slot, or -1 when as many connections as allowed are open.
    int Accept(const std::string& peer, const std::string& portalAddress);
    IscsiConnection* Connection(int slot);
    // The socket of a slot is closed (the peer left, or Finished()): the slot is free again.
    void Release(int slot);
    size_t Slots() const { return m_connections.size(); }
    // Ends every connection (the program ends).
    void Shutdown();
    std::vector<IscsiEvent> TakeEvents();
    // Whether each command becomes a COMMAND event (on at first); without them nothing hashes the
    // commands' data for their transcript lines.
    void ReportCommands(bool report) { m_reportCommands = report; }

    // For connections.
    uint16_t FindTarget(const std::string& name, int* unit) const;
    bool SessionExists(uint16_t tsih) const;
    uint16_t NewTsih();
    std::string TargetAlias(int unit) const;
    // The SendTargets answer for a session (unit -1: a discovery session) reached at portalAddress.
    std::string SendTargets(const std::string& value, int sessionUnit, const std::string& portalAddress) const;
    SimResult Execute(int unit, long lun, const std::vector<uint8_t>& cdb, SimDirection direction, uint8_t* data,
                      uint32_t length);
    // A command the target cannot carry (ScsiTargetRefuseTransfer), reported as the others are.
    SimResult Refuse(int unit, const std::vector<uint8_t>& cdb, SimDirection direction, uint32_t length);
    void LoggedIn(IscsiConnection& connection);
    void Ended(IscsiConnection& connection);
    // Drops the task of every session on the unit (LOGICAL UNIT RESET, TARGET WARM RESET).
    void ResetUnit(int unit);
    void CloseUnitSessions(int unit, IscsiEnd why);

private:
    enum class UnitState { SERVED, RESTARTING, GONE };
    struct Served {
        SimUnit* unit;
        uint32_t restartMs;
        std::string name;
        UnitState state = UnitState::SERVED;
        uint64_t backAt = 0;
    };

    void ReportCommand(int unit, const SimCommand& command, bool unitReceived);
    void CheckPresence(int unit);

    IscsiLimits m_limits;
    std::vector<Served> m_units;
    std::vector<std::unique_ptr<IscsiConnection>> m_connections;
    std::vector<IscsiEvent> m_events;
    uint64_t m_now = 0;
    uint16_t m_nextTsih = 1;
    bool m_reportCommands = true;
};
