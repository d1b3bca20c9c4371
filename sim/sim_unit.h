// A simulated QZV-57G/H unit: answers CDBs the way the real unit does as far as the updater relies on
// it, keeps its firmware revision, configuration value, staged download, and leaves the system after
// a successful save. Every command it receives is recorded. The emulated machines of sim/ carry their
// transports' requests to it; tests may also call it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class SimDirection { None = 0, In = 1, Out = 2 };

struct SimUnitConfig {
    std::string product = "QZV-57H";          // padded with blanks to 16 bytes
    std::string revision = "1.99";            // exactly 4 characters
    uint32_t configuration = 0;               // as the configuration command returns it (little-endian)
    uint32_t cardBlocks = 2048;               // blocks of 512 bytes on the simulated card
};

// What one command left behind, as a transport sees it.
struct SimResult {
    uint8_t scsiStatus = 0;                   // 0 GOOD, 2 CHECK CONDITION
    std::vector<uint8_t> sense;               // fixed-format sense (18 bytes) when CHECK CONDITION
    uint32_t transferred = 0;                 // bytes moved in the data phase
};

// One received command, for tests and transcripts.
struct SimCommand {
    std::vector<uint8_t> cdb;
    SimDirection direction = SimDirection::None;
    uint32_t length = 0;
    std::vector<uint8_t> dataOut;             // the bytes the host sent (direction Out)
    SimResult result;
};

class SimUnit {
public:
    explicit SimUnit(const SimUnitConfig& config = SimUnitConfig());
    ~SimUnit();
    SimUnit(const SimUnit&) = delete;
    SimUnit& operator=(const SimUnit&) = delete;

    // Runs one command. `data` holds `length` bytes: filled for In, read for Out.
    SimResult Execute(const uint8_t* cdb, size_t cdbLength, SimDirection direction, uint8_t* data, uint32_t length);

    // 36 bytes of standard INQUIRY data as the unit reports it now.
    std::vector<uint8_t> InquiryData() const;

    // False from a successful save until PowerCycle: the unit has left the system to restart.
    bool Present() const;
    // "Switch it off and on": comes back with the revision of the saved firmware's version slot.
    void PowerCycle();

    const SimUnitConfig& Config() const;
    const std::vector<SimCommand>& Commands() const;
    void ClearCommands();
    // The firmware image the unit saved last (empty before any save).
    const std::vector<uint8_t>& SavedImage() const;

    // Fault injection.
    void FailCommandWithSense(unsigned nth, uint8_t senseKey, uint8_t asc, uint8_t ascq);  // nth from 1, counted from now
    void UnitAttentionOnce();                 // next command: 6/29/00
    void UnplugAfter(unsigned commands);      // leaves the system after that many more commands
    void Unplug();
    void Replug();

private:
    struct State;
    State* m_state;
};
