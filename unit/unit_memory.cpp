// Reading and writing the unit's memory spaces in word-aligned commands of at most 0x10000 bytes.
#include "unit/unit_memory.h"

#include "unit/unit_command_runner.h"

namespace {

const DWORD MEMORY_CHUNK = 0x10000;
const BYTE ERASED = 0xFF;

enum MemoryOpcode : BYTE {
    READ_MEMORY = 0x20,
    WRITE_MEMORY = 0x22,
    READ_EVEN_MEMORY = 0x24,
    WRITE_EVEN_MEMORY = 0x26,
};

bool IsWrite(BYTE opcode)
{
    return opcode == WRITE_MEMORY || opcode == WRITE_EVEN_MEMORY;
}

// One command: `count` bytes at `address`, both even. The transports only read the buffer of a
// data-out command, so the write paths may pass their constant buffer here.
UnitStatus Transfer(const UnitEntry& entry, BYTE opcode, DWORD address, DWORD count, const BYTE* data)
{
    const UnitCommand command = {{opcode, 0x00, BYTE(address >> 24), BYTE(address >> 16), BYTE(address >> 8),
                                  BYTE(address), BYTE(count >> 24), BYTE(count >> 16), BYTE(count >> 8), BYTE(count)},
                                 10,
                                 IsWrite(opcode) ? DWORD(UnitDataOut) : DWORD(UnitDataIn),
                                 const_cast<BYTE*>(data),
                                 count,
                                 UNIT_RETRY_ONCE};
    return UnitRunOnEntry(entry, command);
}

// The rest of an operation after its odd first byte: the remaining range and where its bytes are.
struct Span {
    DWORD address;
    DWORD count;
    BYTE* buffer;

    void Advance(DWORD bytes)
    {
        address += bytes;
        count -= bytes;
        buffer += bytes;
    }
};

// The entry for a memory operation, or null with the refusal in *status.
const UnitEntry* MemoryEntry(DWORD unit, DWORD address, DWORD count, const BYTE* buffer, UnitStatus* status)
{
    const UnitEntry* entry = UnitEntryAt(unit);
    const bool pastEnd = static_cast<unsigned long long>(address) + count > 0x100000000ull;
    *status = !entry || (count > 0 && (!buffer || pastEnd)) ? UNIT_STATUS_BAD_ARGUMENT : 0;
    return *status ? nullptr : entry;
}

// Moves every whole word of the span in commands of at most MEMORY_CHUNK bytes, leaving at most one
// byte. With `eraseOddBytes` the bytes read for odd addresses are replaced by 0xFF.
UnitStatus TransferWords(const UnitEntry& entry, BYTE opcode, Span* span, bool eraseOddBytes)
{
    while (span->count >= 2) {
        const DWORD chunk = span->count > MEMORY_CHUNK ? MEMORY_CHUNK : span->count & ~1u;
        const UnitStatus status = Transfer(entry, opcode, span->address, chunk, span->buffer);
        if (status != 0)
            return status;
        if (eraseOddBytes) {
            for (DWORD i = 1; i < chunk; i += 2)
                span->buffer[i] = ERASED;
        }
        span->Advance(chunk);
    }
    return 0;
}

// Replaces one byte of the word at `wordAddress` (even) by read-modify-write.
UnitStatus WriteByteOfWord(const UnitEntry& entry, DWORD wordAddress, DWORD offset, BYTE value)
{
    BYTE word[2] = {};
    const UnitStatus status = Transfer(entry, READ_MEMORY, wordAddress, 2, word);
    if (status != 0)
        return status;
    word[offset] = value;
    return Transfer(entry, WRITE_MEMORY, wordAddress, 2, word);
}

}  // namespace

UnitStatus UnitReadMemory(DWORD unit, DWORD address, DWORD count, BYTE* buffer)
{
    UnitStatus status;
    const UnitEntry* entry = MemoryEntry(unit, address, count, buffer, &status);
    if (!entry)
        return status;
    Span span = {address, count, buffer};
    BYTE word[2] = {};
    if (span.count >= 1 && (span.address & 1)) {
        status = Transfer(*entry, READ_MEMORY, span.address - 1, 2, word);
        if (status != 0)
            return status;
        span.buffer[0] = word[1];
        span.Advance(1);
    }
    status = TransferWords(*entry, READ_MEMORY, &span, false);
    if (status != 0)
        return status;
    if (span.count == 1) {
        status = Transfer(*entry, READ_MEMORY, span.address, 2, word);
        if (status != 0)
            return status;
        span.buffer[0] = word[0];
    }
    return 0;
}

UnitStatus UnitWriteMemory(DWORD unit, DWORD address, DWORD count, const BYTE* buffer)
{
    UnitStatus status;
    const UnitEntry* entry = MemoryEntry(unit, address, count, buffer, &status);
    if (!entry)
        return status;
    Span span = {address, count, const_cast<BYTE*>(buffer)};
    if (span.count >= 1 && (span.address & 1)) {
        status = WriteByteOfWord(*entry, span.address - 1, 1, span.buffer[0]);
        if (status != 0)
            return status;
        span.Advance(1);
    }
    status = TransferWords(*entry, WRITE_MEMORY, &span, false);
    if (status != 0)
        return status;
    if (span.count == 1)
        return WriteByteOfWord(*entry, span.address, 0, span.buffer[0]);
    return 0;
}

UnitStatus UnitReadEvenMemory(DWORD unit, DWORD address, DWORD count, BYTE* buffer)
{
    UnitStatus status;
    const UnitEntry* entry = MemoryEntry(unit, address, count, buffer, &status);
    if (!entry)
        return status;
    Span span = {address, count, buffer};
    if (span.count >= 1 && (span.address & 1)) {
        span.buffer[0] = ERASED;
        span.Advance(1);
    }
    status = TransferWords(*entry, READ_EVEN_MEMORY, &span, true);
    if (status != 0)
        return status;
    if (span.count == 1) {
        BYTE word[2] = {};
        status = Transfer(*entry, READ_EVEN_MEMORY, span.address, 2, word);
        if (status != 0)
            return status;
        span.buffer[0] = word[0];
    }
    return 0;
}

UnitStatus UnitWriteEvenMemory(DWORD unit, DWORD address, DWORD count, const BYTE* buffer)
{
    UnitStatus status;
    const UnitEntry* entry = MemoryEntry(unit, address, count, buffer, &status);
    if (!entry)
        return status;
    Span span = {address, count, const_cast<BYTE*>(buffer)};
    if (span.count >= 1 && (span.address & 1))
        span.Advance(1);  // an odd address holds nothing to write
    status = TransferWords(*entry, WRITE_EVEN_MEMORY, &span, false);
    if (status != 0 || span.count == 0)
        return status;
    const BYTE word[2] = {span.buffer[0], ERASED};
    return Transfer(*entry, WRITE_EVEN_MEMORY, span.address, 2, word);
}
