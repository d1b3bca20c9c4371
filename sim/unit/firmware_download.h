// The unit's side of a firmware download by WRITE BUFFER. A unit of the old generation takes the
// whole image in one command (mode 0, buffer 0, offset 0, 32-bit length in bytes 6-9). A unit of the
// new generation takes an 8-byte header (buffer 1: length L and CRC-32) and then exactly the pieces
// a host must send for that length: 64 KiB pieces at 0x20000 and 0x10000 as far as the image reaches,
// and the piece at 0 in mode 5, which checks the staged image and saves it. Any other WRITE BUFFER
// ends the staging and is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_unit.h"
#include "sim/unit/sense_data.h"

struct WriteBufferOutcome {
    SenseCode sense;
    bool saved = false;  // the command completed a download: the unit restarts now
};

class FirmwareDownload {
public:
    FirmwareDownload();

    WriteBufferOutcome WriteBuffer(bool oldGeneration, const uint8_t* cdb, SimDirection direction, const uint8_t* data,
                                   uint32_t length);
    // Forgets a staged download (a restart).
    void Reset();

    const std::vector<uint8_t>& Saved() const { return m_saved; }
    bool SavedIsNewLayout() const { return m_savedNewLayout; }
    // The revision text the saved firmware reports for a unit with this configuration; empty when
    // nothing was saved.
    std::string SavedRevision(uint32_t configuration) const;

private:
    struct Piece {
        uint8_t mode;
        uint32_t offset;
        uint32_t length;
    };

    WriteBufferOutcome OldImage(const uint8_t* cdb, const uint8_t* data, uint32_t length);
    WriteBufferOutcome Header(const uint8_t* cdb, const uint8_t* data, uint32_t length);
    WriteBufferOutcome NextPiece(const uint8_t* cdb, const uint8_t* data, uint32_t length);
    SenseCode CheckStagedImage() const;

    std::vector<uint8_t> m_staging;
    std::vector<Piece> m_expected;  // the pieces still to come, in order
    uint32_t m_imageLength = 0;     // L from the header
    uint32_t m_imageCrc = 0;
    std::vector<uint8_t> m_saved;
    bool m_savedNewLayout = false;
};
