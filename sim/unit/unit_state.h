// The simulated unit's state and its command handlers, one source file per group of commands.
// Handlers get one request and give back the sense to answer with and the bytes moved; the fault
// injection, the recording and the presence of the unit are handled around them in sim_unit.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_unit.h"
#include "sim/unit/firmware_download.h"
#include "sim/unit/sense_data.h"

struct SimRequest {
    const uint8_t* cdb;
    size_t cdbLength;
    SimDirection direction;
    uint8_t* data;
    uint32_t length;
};

struct SimReply {
    SenseCode sense;
    uint32_t transferred = 0;
};

struct SimFault {
    enum class Kind { Sense, RawSense, ShortData, Action };
    uint64_t commandNumber;  // fires on this received command
    Kind kind;
    SenseCode sense;
    std::vector<uint8_t> rawSense;
    uint32_t shortLength = 0;
    std::function<void()> action = nullptr;  // Kind::Action only
};

constexpr uint32_t SIM_BLOCK_SIZE = 512;
constexpr uint32_t PARAMETER_PAGE_LENGTH = 42;

struct SimUnit::State {
    explicit State(const SimUnitConfig& initial);

    // Runs one command on a present unit, without faults.
    SimReply Run(const SimRequest& request);
    // Runs one command on a present unit with the faults injected for it.
    SimResult AnswerItself(const uint8_t* cdb, size_t cdbLength, SimDirection direction, uint8_t* data,
                           uint32_t length);

    // Data phase helpers: a data-in reply of what the unit has (cut to the host's buffer), and the
    // checks that a command has no data phase or exactly `count` bytes out.
    static SimReply DataIn(const SimRequest& request, const uint8_t* source, uint32_t available);
    static bool NoData(const SimRequest& request);
    static bool DataOut(const SimRequest& request, uint32_t count);

    // basic_commands.cpp
    std::vector<uint8_t> InquiryBytes() const;
    SimReply Inquiry(const SimRequest& request);
    SimReply TestUnitReady(const SimRequest& request);
    SimReply RequestSense(const SimRequest& request);
    SimReply StartStopUnit(const SimRequest& request);
    SimReply Rezero(const SimRequest& request);
    // vendor_commands.cpp
    SimReply ReadConfiguration(const SimRequest& request);
    SimReply ReadParameterPage(const SimRequest& request);
    SimReply WriteParameterPage(const SimRequest& request);
    SimReply Command21(const SimRequest& request);
    SimReply Command3D(const SimRequest& request);
    // memory_commands.cpp
    SimReply MemoryAccess(const SimRequest& request);
    // block_commands.cpp
    SimReply ReadCapacity(const SimRequest& request);
    SimReply ReadWriteBlocks(const SimRequest& request);
    // ata_commands.cpp
    SimReply AtaPassThrough(const SimRequest& request);
    void ResetAta();
    void FillIdentifyData();

    SimUnitConfig config;
    bool present = true;
    bool restarting = false;         // away after a successful save, until PowerCycle
    bool leaveAfterCommand = false;  // set by a handler: the unit leaves once this command completed
    FirmwareDownload download;
    SenseCode pendingSense;          // what REQUEST SENSE reports
    std::vector<uint8_t> card;
    std::vector<uint8_t> memory;
    std::vector<uint8_t> evenMemory;
    std::vector<uint8_t> parameterPage;
    std::array<uint16_t, 256> identify{};
    std::array<uint8_t, 8> ataRegisters{};
    // Last arguments of the vendor control commands; their effect on the unit is not known.
    uint8_t command21Flag = 0;
    uint32_t command21P = 0, command21Q = 0;

    // Recording and faults.
    std::vector<SimCommand> commands;
    unsigned commandsWhileAbsent = 0;
    uint64_t received = 0;           // commands received while present
    std::vector<SimFault> faults;
    SimAnswerPlayer player;
    uint64_t unplugAtCommand = 0;    // 0: no unplug scheduled
};
