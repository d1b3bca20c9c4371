// The WRITE BUFFER commands a firmware download must send, worked out here from the image file alone,
// and the check of the commands a unit received against them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_unit.h"
#include "tools/update_check/answer_reading.h"

enum : uint8_t { OPCODE_WRITE_BUFFER = 0x3B };

struct ExpectedWrite {
    std::vector<uint8_t> cdb;   // 10 bytes
    bool fromImage = false;     // the data is image bytes (all but the new layout's header)
    uint32_t offset = 0;        // where in the image they start
    std::vector<uint8_t> data;  // the bytes carried
    bool saves = false;         // the command after which the unit saves: the old single one, or mode 5
};

// The commands a download of `file` (a file of odd length is sent with one pad byte 0xFF) sends to a
// unit of either generation, in order; empty when the procedure must refuse it without a command
// (among other reasons, when the file does not carry the identification of that generation's layout).
std::vector<ExpectedWrite> ExpectedDownload(const std::vector<uint8_t>& file, bool newGeneration);

struct SentDownload {
    std::string problem;        // empty when the commands sent are sound
    size_t sent = 0;            // commands of the plan that reached the unit (repetitions counted once)
    bool saveSent = false;
    bool saveAnsweredGood = false;
    bool lastFailed = false;    // the last command that reached the unit was answered with a failure
};

// Checks the WRITE BUFFER commands among `commands` against `plan`: they are the plan's first ones in
// its order with its bytes, each sent once (the vendor USB transport repeats one answered with a
// ready change, at most 16 times in all), and none follows a command answered with a failure.
SentDownload CheckSentDownload(const std::vector<SimCommand>& commands, const std::vector<ExpectedWrite>& plan,
                               UnitPath path);
