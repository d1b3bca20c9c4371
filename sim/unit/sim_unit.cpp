// The simulated unit's public face: presence, recording, fault injection and the opcode dispatch.
#include "sim/sim_unit.h"

#include <algorithm>
#include <cstring>

#include "sim/unit/cdb_fields.h"
#include "sim/unit/firmware_layout.h"
#include "sim/unit/unit_state.h"

namespace {

constexpr uint8_t CHECK_CONDITION = 0x02;
constexpr uint8_t OPCODE_REQUEST_SENSE = 0x03;

// Deterministic, non-repeating contents, so that a test sees which bytes it got back.
void FillPattern(std::vector<uint8_t>& bytes, bool evenOnly)
{
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = (evenOnly && (i & 1)) ? 0 : static_cast<uint8_t>(i ^ (i >> 8) ^ (i >> 16));
    }
}

// What a transport sees of an answer played in the unit's place.
SimResult PlayedResult(const SimPlayedAnswer& played, SimDirection direction, uint8_t* data, uint32_t length)
{
    SimResult result;
    result.scsiStatus = played.scsiStatus;
    result.sense = played.sense;
    if (direction == SimDirection::In && data != nullptr) {
        result.transferred = static_cast<uint32_t>(std::min<size_t>(played.dataIn.size(), length));
        if (result.transferred != 0) {
            std::memcpy(data, played.dataIn.data(), result.transferred);
        }
    } else if (direction == SimDirection::Out) {
        result.transferred = std::min(played.outTransferred, length);
    }
    return result;
}

std::string FourCharacters(std::string text)
{
    text.resize(4, ' ');
    return text;
}

}  // namespace

SimUnit::State::State(const SimUnitConfig& initial)
    : config(initial),
      card(static_cast<size_t>(initial.cardBlocks) * SIM_BLOCK_SIZE, 0),
      memory(initial.memoryBytes),
      evenMemory(initial.evenMemoryBytes),
      parameterPage(PARAMETER_PAGE_LENGTH, 0)
{
    config.revision = FourCharacters(config.revision);
    FillPattern(memory, false);
    FillPattern(evenMemory, true);
    parameterPage[0] = PARAMETER_PAGE_LENGTH - 1;
    for (unsigned g = 0; g < 5; ++g) {
        uint8_t* group = &parameterPage[2 + 8 * g];
        group[0] = static_cast<uint8_t>(g + 1);
        group[1] = static_cast<uint8_t>(0x10 + g);
        WriteBe32(group + 2, 0x100u * (g + 1));
        WriteLe16(group + 6, 0x10u * (g + 1));
    }
    FillIdentifyData();
    ResetAta();
}

SimReply SimUnit::State::DataIn(const SimRequest& request, const uint8_t* source, uint32_t available)
{
    if (request.direction != SimDirection::In || (request.length != 0 && request.data == nullptr)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    const uint32_t count = std::min(available, request.length);
    if (count != 0) {
        std::memcpy(request.data, source, count);
    }
    return {SENSE_GOOD, count};
}

bool SimUnit::State::NoData(const SimRequest& request)
{
    return request.direction == SimDirection::None || request.length == 0;
}

bool SimUnit::State::DataOut(const SimRequest& request, uint32_t count)
{
    return request.direction == SimDirection::Out && request.length == count &&
           (count == 0 || request.data != nullptr);
}

SimReply SimUnit::State::Run(const SimRequest& request)
{
    struct Handler {
        uint8_t opcode;
        size_t cdbLength;
        SimReply (State::*run)(const SimRequest&);
    };
    static const Handler handlers[] = {
        {0x00, 6, &State::TestUnitReady},      {0x01, 6, &State::Rezero},
        {0x03, 6, &State::RequestSense},       {0x05, 6, &State::WriteParameterPage},
        {0x06, 6, &State::ReadParameterPage},  {0x12, 6, &State::Inquiry},
        {0x13, 6, &State::ReadConfiguration},  {0x1B, 6, &State::StartStopUnit},
        {0x20, 10, &State::MemoryAccess},      {0x21, 10, &State::Command21},
        {0x22, 10, &State::MemoryAccess},      {0x24, 10, &State::MemoryAccess},
        {0x25, 10, &State::ReadCapacity},      {0x26, 10, &State::MemoryAccess},
        {0x28, 10, &State::ReadWriteBlocks},   {0x2A, 10, &State::ReadWriteBlocks},
        {0x3B, 10, nullptr},                   {0x3D, 12, &State::Command3D},
        {0x56, 10, &State::AtaPassThrough},
    };
    if (request.cdbLength == 0) {
        return {SENSE_INVALID_OPCODE};
    }
    for (const Handler& handler : handlers) {
        if (handler.opcode != request.cdb[0]) {
            continue;
        }
        // A CDB shorter than its command is refused; transports that pad CDBs are fine.
        if (request.cdbLength < handler.cdbLength) {
            return {SENSE_INVALID_FIELD_IN_CDB};
        }
        if (handler.run != nullptr) {
            return (this->*handler.run)(request);
        }
        const WriteBufferOutcome outcome =
            download.WriteBuffer(RevisionTakesOldLayout(config.revision), request.cdb, request.direction, request.data,
                                 request.length);
        leaveAfterCommand = outcome.saved;
        return {outcome.sense, outcome.sense.Good() ? request.length : 0};
    }
    return {SENSE_INVALID_OPCODE};
}

SimResult SimUnit::State::AnswerItself(const uint8_t* cdb, size_t cdbLength, SimDirection direction, uint8_t* data,
                                       uint32_t length)
{
    SimResult result;
    auto fault = std::find_if(faults.begin(), faults.end(), [&](const SimFault& f) { return f.commandNumber == received; });
    SimFault fired;
    const bool hasFault = fault != faults.end();
    if (hasFault) {
        fired = *fault;
        faults.erase(fault);
    }

    if (hasFault && fired.kind == SimFault::Kind::Sense) {
        result.scsiStatus = CHECK_CONDITION;
        result.sense = FixedSense(fired.sense);
        pendingSense = fired.sense;
    } else if (hasFault && fired.kind == SimFault::Kind::RawSense) {
        result.scsiStatus = CHECK_CONDITION;
        result.sense = fired.rawSense;
        pendingSense = SENSE_GOOD;
    } else {
        const bool shorten = hasFault && fired.kind == SimFault::Kind::ShortData && direction == SimDirection::In &&
                             data != nullptr && fired.shortLength < length;
        std::vector<uint8_t> hostBuffer;
        if (shorten) {
            hostBuffer.assign(data, data + length);
        }
        const SimReply reply = Run({cdb, cdbLength, direction, data, length});
        result.transferred = reply.transferred;
        if (shorten && result.transferred > fired.shortLength) {
            std::memcpy(data + fired.shortLength, hostBuffer.data() + fired.shortLength,
                        length - fired.shortLength);
            result.transferred = fired.shortLength;
        }
        if (!reply.sense.Good()) {
            result.scsiStatus = CHECK_CONDITION;
            result.sense = FixedSense(reply.sense);
        }
        // REQUEST SENSE hands the pending sense over itself; every other command replaces it.
        if (cdbLength == 0 || cdb[0] != OPCODE_REQUEST_SENSE || !reply.sense.Good()) {
            pendingSense = reply.sense;
        }
    }
    return result;
}

SimUnit::SimUnit(const SimUnitConfig& config) : m_state(new State(config)) {}

SimUnit::~SimUnit() { delete m_state; }

SimResult SimUnit::Execute(const uint8_t* cdb, size_t cdbLength, SimDirection direction, uint8_t* data, uint32_t length)
{
    State& s = *m_state;
    SimResult result;
    if (!s.present) {
        ++s.commandsWhileAbsent;
        result.deviceGone = true;
        return result;
    }
    if (cdb == nullptr) {
        cdbLength = 0;
    }
    ++s.received;
    SimCommand record;
    record.cdb.assign(cdb, cdb + cdbLength);
    record.direction = direction;
    record.length = length;
    if (direction == SimDirection::Out && data != nullptr) {
        record.dataOut.assign(data, data + length);
    }

    for (auto action = s.faults.begin(); action != s.faults.end();) {
        if (action->kind != SimFault::Kind::Action || action->commandNumber != s.received) {
            ++action;
            continue;
        }
        const std::function<void()> run = action->action;
        action = s.faults.erase(action);
        run();
    }
    const SimPlayedAnswer played = s.player ? s.player(record) : SimPlayedAnswer();
    if (played.own) {
        result = s.AnswerItself(cdb, cdbLength, direction, data, length);
    } else {
        result = PlayedResult(played, direction, data, length);
        s.pendingSense = SENSE_GOOD;
    }
    if (played.leave) {
        s.leaveAfterCommand = true;
    }

    if (direction == SimDirection::In && data != nullptr) {
        record.dataIn.assign(data, data + result.transferred);
    }
    record.result = result;
    s.commands.push_back(std::move(record));

    if (s.leaveAfterCommand || (s.unplugAtCommand != 0 && s.received >= s.unplugAtCommand)) {
        s.restarting = s.leaveAfterCommand;
        s.leaveAfterCommand = false;
        s.unplugAtCommand = 0;
        s.present = false;
    }
    return result;
}

std::vector<uint8_t> SimUnit::InquiryData() const { return m_state->InquiryBytes(); }

bool SimUnit::Present() const { return m_state->present; }

bool SimUnit::Restarting() const { return !m_state->present && m_state->restarting; }

void SimUnit::PowerCycle()
{
    State& s = *m_state;
    const std::string saved = s.download.SavedRevision(s.config.configuration);
    if (!saved.empty()) {
        s.config.revision = saved;
    }
    s.download.Reset();
    s.pendingSense = SENSE_GOOD;
    s.ResetAta();
    s.leaveAfterCommand = false;
    s.unplugAtCommand = 0;
    s.present = true;
    s.restarting = false;
}

const SimUnitConfig& SimUnit::Config() const { return m_state->config; }
void SimUnit::SetConfiguration(uint32_t configuration) { m_state->config.configuration = configuration; }
const std::vector<SimCommand>& SimUnit::Commands() const { return m_state->commands; }
void SimUnit::ClearCommands() { m_state->commands.clear(); }
unsigned SimUnit::CommandsWhileAbsent() const { return m_state->commandsWhileAbsent; }
const std::vector<uint8_t>& SimUnit::SavedImage() const { return m_state->download.Saved(); }

std::vector<uint8_t>& SimUnit::Card() { return m_state->card; }
std::vector<uint8_t>& SimUnit::Memory() { return m_state->memory; }
std::vector<uint8_t>& SimUnit::EvenMemory() { return m_state->evenMemory; }
std::vector<uint8_t>& SimUnit::ParameterPage() { return m_state->parameterPage; }
uint16_t SimUnit::IdentifyWord(unsigned index) const { return index < 256 ? m_state->identify[index] : 0; }

void SimUnit::SetIdentifyWord(unsigned index, uint16_t value)
{
    if (index < 256) {
        m_state->identify[index] = value;
    }
}

void SimUnit::FailCommandWithSense(unsigned nth, uint8_t senseKey, uint8_t asc, uint8_t ascq)
{
    SimFault fault{m_state->received + nth, SimFault::Kind::Sense, {senseKey, asc, ascq}, {}, 0};
    m_state->faults.push_back(fault);
}

void SimUnit::UnitAttentionOnce(uint8_t asc, uint8_t ascq) { FailCommandWithSense(1, SENSE_KEY_UNIT_ATTENTION, asc, ascq); }

void SimUnit::FailCommandWithRawSense(unsigned nth, const std::vector<uint8_t>& sense)
{
    m_state->faults.push_back({m_state->received + nth, SimFault::Kind::RawSense, {}, sense, 0});
}

void SimUnit::PlayAnswers(SimAnswerPlayer player) { m_state->player = std::move(player); }

void SimUnit::ClearFaults()
{
    m_state->faults.clear();
    m_state->unplugAtCommand = 0;
}

void SimUnit::ShortenDataIn(unsigned nth, uint32_t bytes)
{
    m_state->faults.push_back({m_state->received + nth, SimFault::Kind::ShortData, {}, {}, bytes});
}

void SimUnit::RunBeforeCommand(unsigned nth, std::function<void()> action)
{
    m_state->faults.push_back({m_state->received + nth, SimFault::Kind::Action, {}, {}, 0, std::move(action)});
}

void SimUnit::UnplugAfter(unsigned commands)
{
    if (commands == 0) {
        Unplug();
        return;
    }
    m_state->unplugAtCommand = m_state->received + commands;
}

void SimUnit::Unplug()
{
    m_state->present = false;
    m_state->restarting = false;
}

void SimUnit::Replug() { PowerCycle(); }
