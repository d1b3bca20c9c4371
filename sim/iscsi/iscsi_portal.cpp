#include "sim/iscsi/iscsi_portal.h"

#include <algorithm>
#include <cstdio>

#include "sim/iscsi/scsi_target_layer.h"
#include "sim/unit/transcript.h"

namespace {

std::string Trimmed(const std::string& text)
{
    const size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string InitiatorOf(const IscsiConnection& connection) { return connection.Session().initiatorName; }

}  // namespace

IscsiPortal::IscsiPortal(std::vector<IscsiServedUnit> units, const IscsiLimits& limits)
    : m_limits(limits), m_connections(limits.maxConnections)
{
    for (size_t i = 0; i < units.size(); ++i)
        m_units.push_back({units[i].unit, units[i].restartMs, TargetNameFor(units[i].unit->Config().product, i)});
}

IscsiPortal::~IscsiPortal() = default;

std::string IscsiPortal::TargetNameFor(const std::string& product, size_t index)
{
    // Names hold lower-case letters, digits, '-' and '.'; anything else in a product becomes '-'.
    std::string name = "iqn.2025-01.invalid.qzvsim:";
    for (char c : Trimmed(product)) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        name += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ? c : '-';
    }
    return name + "." + std::to_string(index);
}

const std::string& IscsiPortal::TargetName(size_t unit) const { return m_units[unit].name; }

void IscsiPortal::Advance(uint64_t now)
{
    m_now = std::max(m_now, now);
    for (size_t i = 0; i < m_units.size(); ++i) {
        Served& served = m_units[i];
        if (served.state != UnitState::RESTARTING || served.backAt > m_now)
            continue;
        served.unit->PowerCycle();
        served.state = UnitState::SERVED;
        m_events.push_back({IscsiEventKind::BACK, static_cast<int>(i), "", "", served.unit->Config().revision});
    }
    for (auto& connection : m_connections) {
        if (!connection)
            continue;
        if (!connection->LoggedIn() && !connection->Closing() &&
            m_now - connection->StartedAt() >= m_limits.loginTimeoutMs)
            connection->Close(IscsiEnd::LOGIN_TIMEOUT, m_now);
        if (connection->Closing() && !connection->Finished() &&
            m_now - connection->ClosingSince() >= m_limits.closeGraceMs)
            connection->Abandon();
    }
}

uint64_t IscsiPortal::NextDeadline() const
{
    uint64_t next = UINT64_MAX;
    for (const Served& served : m_units) {
        if (served.state == UnitState::RESTARTING)
            next = std::min(next, served.backAt);
    }
    for (const auto& connection : m_connections) {
        if (!connection || connection->Finished())
            continue;
        if (connection->Closing())
            next = std::min(next, connection->ClosingSince() + m_limits.closeGraceMs);
        else if (!connection->LoggedIn())
            next = std::min(next, connection->StartedAt() + m_limits.loginTimeoutMs);
    }
    return next;
}

int IscsiPortal::Accept(const std::string& peer, const std::string& portalAddress)
{
    for (size_t slot = 0; slot < m_connections.size(); ++slot) {
        if (!m_connections[slot]) {
            m_connections[slot].reset(new IscsiConnection(*this, m_limits, peer, portalAddress, m_now));
            return static_cast<int>(slot);
        }
    }
    return -1;
}

IscsiConnection* IscsiPortal::Connection(int slot)
{
    return slot >= 0 && static_cast<size_t>(slot) < m_connections.size() ? m_connections[slot].get() : nullptr;
}

void IscsiPortal::Release(int slot)
{
    IscsiConnection* connection = Connection(slot);
    if (!connection)
        return;
    connection->Close(IscsiEnd::PEER_CLOSED, m_now);
    m_connections[slot].reset();
}

void IscsiPortal::Shutdown()
{
    for (auto& connection : m_connections) {
        if (connection)
            connection->Close(IscsiEnd::SHUTDOWN, m_now);
    }
}

std::vector<IscsiEvent> IscsiPortal::TakeEvents()
{
    std::vector<IscsiEvent> events;
    events.swap(m_events);
    return events;
}

uint16_t IscsiPortal::FindTarget(const std::string& name, int* unit) const
{
    for (size_t i = 0; i < m_units.size(); ++i) {
        if (m_units[i].name != name)
            continue;
        *unit = static_cast<int>(i);
        switch (m_units[i].state) {
        case UnitState::SERVED: return ISCSI_LOGIN_SUCCESS;
        case UnitState::RESTARTING: return ISCSI_LOGIN_SERVICE_UNAVAILABLE;
        case UnitState::GONE: return ISCSI_LOGIN_TARGET_REMOVED;
        }
    }
    return ISCSI_LOGIN_TARGET_NOT_FOUND;
}

bool IscsiPortal::SessionExists(uint16_t tsih) const
{
    return std::any_of(m_connections.begin(), m_connections.end(), [tsih](const auto& connection) {
        return connection && connection->LoggedIn() && !connection->Closing() && connection->Tsih() == tsih;
    });
}

uint16_t IscsiPortal::NewTsih()
{
    for (;;) {
        const uint16_t tsih = m_nextTsih++;
        if (tsih != 0 && !SessionExists(tsih))
            return tsih;
    }
}

std::string IscsiPortal::TargetAlias(int unit) const
{
    return Trimmed(m_units[unit].unit->Config().product) + " unit " + std::to_string(unit);
}

std::string IscsiPortal::SendTargets(const std::string& value, int sessionUnit, const std::string& portalAddress) const
{
    std::string answer;
    for (size_t i = 0; i < m_units.size(); ++i) {
        const Served& served = m_units[i];
        // A normal session learns about its own target; a discovery session about all, or the one it names.
        const bool wanted = value == served.name ||
                            (value == "All" && sessionUnit < 0) ||
                            (sessionUnit == static_cast<int>(i) && (value.empty() || value == "All"));
        if (!wanted || served.state != UnitState::SERVED)
            continue;
        IscsiAppendPair(&answer, "TargetName", served.name);
        IscsiAppendPair(&answer, "TargetAddress", portalAddress + ",1");
    }
    return answer;
}

SimResult IscsiPortal::Execute(int unit, long lun, const std::vector<uint8_t>& cdb, SimDirection direction,
                               uint8_t* data, uint32_t length)
{
    SimUnit& simulated = *m_units[unit].unit;
    simulated.ClearCommands();
    const SimResult result = ScsiTargetExecute(simulated, lun, cdb.data(), cdb.size(), direction, data, length);
    // The unit keeps what it received only until it is reported, so that a long run keeps its memory.
    const std::vector<SimCommand>& received = simulated.Commands();
    if (!result.deviceGone && (received.empty() || received.back().cdb != cdb)) {
        SimCommand answered;
        answered.cdb = cdb;
        answered.direction = direction;
        answered.length = length;
        answered.result = result;
        if (direction == SimDirection::Out)
            answered.dataOut.assign(data, data + length);
        if (direction == SimDirection::In)
            answered.dataIn.assign(data, data + std::min(result.transferred, length));
        ReportCommand(unit, answered, false);
    }
    for (const SimCommand& command : received)
        ReportCommand(unit, command, true);
    simulated.ClearCommands();
    CheckPresence(unit);
    return result;
}

SimResult IscsiPortal::Refuse(int unit, const std::vector<uint8_t>& cdb, SimDirection direction, uint32_t length)
{
    SimCommand refused;
    refused.cdb = cdb;
    refused.direction = direction;
    refused.length = length;
    refused.result = ScsiTargetRefuseTransfer();
    ReportCommand(unit, refused, false);
    return refused.result;
}

void IscsiPortal::ReportCommand(int unit, const SimCommand& command, bool unitReceived)
{
    if (!m_reportCommands)
        return;
    IscsiEvent event{IscsiEventKind::COMMAND, unit, "", "", SimTranscriptLine(command)};
    event.unitReceived = unitReceived;
    m_events.push_back(std::move(event));
}

void IscsiPortal::CheckPresence(int unit)
{
    Served& served = m_units[unit];
    if (served.state != UnitState::SERVED || served.unit->Present())
        return;
    if (served.unit->Restarting()) {
        served.state = UnitState::RESTARTING;
        served.backAt = m_now + served.restartMs;
        m_events.push_back({IscsiEventKind::LEAVING, unit, "", "", std::to_string(served.restartMs)});
    } else {
        served.state = UnitState::GONE;
        m_events.push_back({IscsiEventKind::GONE, unit, "", "", ""});
    }
    CloseUnitSessions(unit, IscsiEnd::UNIT_LEFT);
}

void IscsiPortal::LoggedIn(IscsiConnection& connection)
{
    const int unit = connection.Session().discovery ? -1 : connection.Unit();
    // The same initiator with the same session identity replaces its old session.
    for (auto& other : m_connections) {
        if (unit >= 0 && other && other.get() != &connection && other->LoggedIn() && !other->Closing() &&
            other->Unit() == unit && !other->Session().discovery && other->Isid() == connection.Isid() &&
            InitiatorOf(*other) == InitiatorOf(connection))
            other->Close(IscsiEnd::REINSTATED, m_now);
    }
    m_events.push_back({IscsiEventKind::LOGIN, unit, connection.Peer(), InitiatorOf(connection), ""});
}

void IscsiPortal::Ended(IscsiConnection& connection)
{
    const int unit = connection.Session().discovery ? -1 : connection.Unit();
    if (connection.LoggedIn()) {
        m_events.push_back({IscsiEventKind::LOGOUT, unit, connection.Peer(), InitiatorOf(connection),
                            IscsiEndName(connection.End())});
    } else if (connection.End() == IscsiEnd::LOGIN_FAILED) {
        char status[8];
        std::snprintf(status, sizeof status, "%04X", connection.LoginStatus());
        m_events.push_back({IscsiEventKind::LOGIN_REFUSED, unit, connection.Peer(), InitiatorOf(connection), status});
    }
}

void IscsiPortal::ResetUnit(int unit)
{
    for (auto& connection : m_connections) {
        if (connection && connection->Unit() == unit)
            connection->AbortTask();
    }
}

void IscsiPortal::CloseUnitSessions(int unit, IscsiEnd why)
{
    for (auto& connection : m_connections) {
        if (connection && connection->LoggedIn() && connection->Unit() == unit && !connection->Session().discovery)
            connection->Close(why, m_now);
    }
}
