// A simulated QZV-57G/H unit: answers CDBs the way the real unit does as far as the updater relies on
// it, keeps its firmware revision, configuration value, staged download, and leaves the system after
// a successful save. Every command it receives is recorded. The emulated machines of sim/ carry their
// transports' requests to it; tests may also call it directly.
//
// The unit is strict: a CDB it does not know, a field it does not expect, or a data phase that does
// not match the CDB is answered with CHECK CONDITION and ILLEGAL REQUEST sense (opcode: 05/20/00,
// field in the CDB or data phase: 05/24/00, bad parameter data: 05/26/xx), as sim/unit/sense_data.h
// lists. It has no side effects for such a command.
//
// How a transport sees the unit leave the system: Present() turns false (after a successful save,
// Unplug() or UnplugAfter()), and every Execute() then returns a SimResult with `deviceGone` set,
// nothing transferred and no sense; the command is not recorded. An emulated machine reads Present()
// (or `deviceGone`) and makes its OS calls fail the way they do for a vanished device, e.g. opening
// the device path fails and a pass-through request fails with a "device not connected" error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class SimDirection { None = 0, In = 1, Out = 2 };

struct SimUnitConfig {
    std::string vendor = "VORNA   ";          // padded with blanks to 8 bytes; bytes copied as given (NULs too)
    std::string product = "QZV-57H";          // padded with blanks to 16 bytes; bytes copied as given (NULs too)
    std::string revision = "1.99";            // exactly 4 characters (cut or blank-padded to 4)
    uint32_t configuration = 0;               // as the configuration command returns it (little-endian)
    uint32_t cardBlocks = 2048;               // blocks of 512 bytes on the simulated card
    bool mediumPresent = true;                // a card in the slot; START STOP UNIT ejects and loads it
    uint32_t memoryBytes = 0x40000;           // size of the word-wide memory space (0x20/0x22)
    uint32_t evenMemoryBytes = 0x10000;       // size of the even-address memory space (0x24/0x26)
};

// What one command left behind, as a transport sees it.
struct SimResult {
    uint8_t scsiStatus = 0;                   // 0 GOOD, 2 CHECK CONDITION
    std::vector<uint8_t> sense;               // fixed-format sense (18 bytes) when CHECK CONDITION;
                                              // any bytes at all (even none) under FailCommandWithRawSense
    uint32_t transferred = 0;                 // bytes moved in the data phase
    bool deviceGone = false;                  // the unit was not in the system: nothing was carried out
};

// One received command, for tests and transcripts.
struct SimCommand {
    std::vector<uint8_t> cdb;
    SimDirection direction = SimDirection::None;
    uint32_t length = 0;
    std::vector<uint8_t> dataOut;             // the bytes the host sent (direction Out)
    SimResult result;
    std::vector<uint8_t> dataIn;              // the bytes the unit delivered (direction In, `transferred` of them)
};

// An answer given in place of the unit's own, byte for byte (see SimUnit::PlayAnswers).
struct SimPlayedAnswer {
    bool own = true;                          // the unit carries the command out and answers itself
    uint8_t scsiStatus = 0;                   // otherwise: this status,
    std::vector<uint8_t> sense;               // these sense bytes (delivered whatever the status),
    std::vector<uint8_t> dataIn;              // these bytes to a data-in buffer, at most its length,
    uint32_t outTransferred = 0;              // and this many bytes taken of a data-out phase, at most its length
    bool leave = false;                       // either way: the unit leaves the system after this command
};

// Decides the answer to one received command; the command's cdb, direction, length and dataOut are set.
typedef std::function<SimPlayedAnswer(const SimCommand& command)> SimAnswerPlayer;

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
    // True while the unit is away because it saved new firmware and restarts (not because it was
    // unplugged): what a host sees as the unit leaving after an update.
    bool Restarting() const;
    // "Switch it off and on": comes back with the revision of the saved firmware's version slot
    // (new layout: slot (configuration >> 13) & 3; old layout: the version at 0x2018). Volatile state
    // (staged download, pending sense, ATA registers) is lost; the card, the memory spaces and the
    // parameter page keep their contents.
    void PowerCycle();

    // The configuration as it stands now: `revision` follows the firmware the unit runs.
    const SimUnitConfig& Config() const;
    // Changes the configuration value the unit reports (and that picks the version slot at restart).
    void SetConfiguration(uint32_t configuration);
    const std::vector<SimCommand>& Commands() const;
    void ClearCommands();
    // Commands that arrived while the unit was not in the system (not recorded in Commands()).
    unsigned CommandsWhileAbsent() const;
    // The firmware image the unit saved last (empty before any save): the old image as sent, or the
    // new image's L bytes.
    const std::vector<uint8_t>& SavedImage() const;

    // The unit's storage, for tests to preload and inspect.
    std::vector<uint8_t>& Card();             // cardBlocks * 512 bytes; READ(10)/WRITE(10) and ATA sectors
    std::vector<uint8_t>& Memory();           // word-wide space
    std::vector<uint8_t>& EvenMemory();       // even-address space; bytes at odd addresses are never stored
    std::vector<uint8_t>& ParameterPage();    // the 42-byte page as the unit sends it
    uint16_t IdentifyWord(unsigned index) const;              // IDENTIFY DEVICE data, word 0..255
    void SetIdentifyWord(unsigned index, uint16_t value);

    // Fault injection. "nth" counts commands received while present, from 1 = the next one.
    void FailCommandWithSense(unsigned nth, uint8_t senseKey, uint8_t asc, uint8_t ascq);  // nth from 1, counted from now
    void UnitAttentionOnce(uint8_t asc = 0x29, uint8_t ascq = 0x00);  // next command: 6/asc/ascq (6/29/00 by default)
    void UnplugAfter(unsigned commands);      // leaves the system after that many more commands (0: now)
    void Unplug();
    void Replug();                            // back in the system; a restart, as PowerCycle
    // Garbage answers. The nth command is not carried out and ends with CHECK CONDITION and exactly
    // these sense bytes (none, a few, descriptor format, more than 18 ...).
    void FailCommandWithRawSense(unsigned nth, const std::vector<uint8_t>& sense);
    // When the nth command arrives, `action` runs before the unit looks at it (a test's way to make
    // something happen, such as a signal to the program, while a given command is under way).
    void RunBeforeCommand(unsigned nth, std::function<void()> action);
    // The nth command is carried out, but delivers at most `bytes` bytes of its data-in phase; the rest
    // of the host's buffer is left untouched.
    void ShortenDataIn(unsigned nth, uint32_t bytes);
    // Every command received while present is first offered to `player`, which may answer it in the
    // unit's place (the unit then does nothing: no state changes, no pending sense) and may make the
    // unit leave after it. The other fault injections apply to commands the unit answers itself. An
    // empty player ends the play.
    void PlayAnswers(SimAnswerPlayer player);
    // Drops every injected fault not yet fired (answers, short data, a scheduled unplug).
    void ClearFaults();

private:
    struct State;
    State* m_state;
};
