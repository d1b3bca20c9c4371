// A transcript of what a simulated unit received, one line per command, so that two runs (or a run
// and a stored expectation) can be compared as text:
//
//   3B 00 01 00 00 00 00 00 08 00 | out | 8 | <sha256 of the 8 data bytes> | GOOD
//   12 00 00 00 24 00 | in | 36 | <sha256 of the bytes delivered> | GOOD
//   C7 00 00 00 00 00 | none | 0 | <sha256 of nothing> | CHECK 05/20/00
//
// Columns: CDB bytes in upper-case hex; direction; the host's data length; SHA-256 (lower-case hex)
// of the data that moved (sent for out, delivered for in, nothing for none); the outcome: GOOD,
// CHECK kk/aa/qq from fixed-format sense, or CHECK with the number of sense bytes when the sense
// was not fixed-format.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_unit.h"

std::string SimTranscriptLine(const SimCommand& command);
// Every line, each ending with a newline.
std::string SimTranscript(const std::vector<SimCommand>& commands);
