// Reading and writing the unit's memory spaces in word-aligned commands of at most 0x10000 bytes.
#include "unit/unit_memory.h"

#include "unit/unit_command_runner.h"

namespace {

const DWORD MEMORY_CHUNK = 0x10000;
const BYTE ERASED = 0xFF;

// A memory space's two commands.
struct MemorySpace {
    BYTE readOpcode;
    BYTE writeOpcode;
};
const MemorySpace WORD_SPACE = {0x20, 0x22};
const MemorySpace EVEN_SPACE = {0x24, 0x26};

// One command: `count` bytes at `address`, both even, read (UnitDataIn) or written (UnitDataOut).
// The transports only read the buffer of a data-out command, so the write paths may pass their
// constant buffer here.
UnitStatus Transfer(const UnitEntry& entry, BYTE opcode, DWORD direction, DWORD address, DWORD count,
                    const BYTE* data)
{
    const UnitCommand command = {{opcode, 0x00, BYTE(address >> 24), BYTE(address >> 16), BYTE(address >> 8),
                                  BYTE(address), BYTE(count >> 24), BYTE(count >> 16), BYTE(count >> 8), BYTE(count)},
                                 10,
                                 direction,
                                 const_cast<BYTE*>(data),
                                 count,
                                 UNIT_RETRY_ONCE};
    return UnitRunOnEntry(entry, command);
}

// The range of an operation still to move and where its bytes are.
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

// A memory operation's unit and range; `refusal` is 5, and `entry` null, when it may not run.
struct MemoryOperation {
    const UnitEntry* entry;
    Span span;
    UnitStatus refusal;
};

MemoryOperation BeginOperation(DWORD unit, DWORD address, DWORD count, const BYTE* buffer)
{
    MemoryOperation operation = {UnitEntryAt(unit), {address, count, const_cast<BYTE*>(buffer)}, 0};
    const bool pastEnd = static_cast<unsigned long long>(address) + count > 0x100000000ull;
    if (!operation.entry || (count > 0 && (!buffer || pastEnd))) {
        operation.entry = nullptr;
        operation.refusal = UNIT_STATUS_BAD_ARGUMENT;
    }
    return operation;
}

// Moves every whole word of the span in commands of at most MEMORY_CHUNK bytes, leaving at most one
// byte. With `eraseOddBytes` the bytes read for odd addresses are replaced by 0xFF.
UnitStatus TransferWords(const UnitEntry& entry, BYTE opcode, DWORD direction, Span* span, bool eraseOddBytes)
{
    while (span->count >= 2) {
        const DWORD chunk = span->count > MEMORY_CHUNK ? MEMORY_CHUNK : span->count & ~1u;
        const UnitStatus status = Transfer(entry, opcode, direction, span->address, chunk, span->buffer);
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

// Reads the word at `wordAddress` (even) and keeps its byte at `offset` in *value.
UnitStatus ReadByteOfWord(const UnitEntry& entry, BYTE opcode, DWORD wordAddress, DWORD offset, BYTE* value)
{
    BYTE word[2] = {};
    const UnitStatus status = Transfer(entry, opcode, UnitDataIn, wordAddress, 2, word);
    if (status == 0)
        *value = word[offset];
    return status;
}

// Replaces one byte of the word at `wordAddress` (even) of the word-wide space by read-modify-write.
UnitStatus WriteByteOfWord(const UnitEntry& entry, DWORD wordAddress, DWORD offset, BYTE value)
{
    BYTE word[2] = {};
    const UnitStatus status = Transfer(entry, WORD_SPACE.readOpcode, UnitDataIn, wordAddress, 2, word);
    if (status != 0)
        return status;
    word[offset] = value;
    return Transfer(entry, WORD_SPACE.writeOpcode, UnitDataOut, wordAddress, 2, word);
}

// The word-wide space either way: an odd first or last byte moves as part of its word (written by
// read-modify-write).
UnitStatus MoveWordSpace(DWORD unit, DWORD address, DWORD count, const BYTE* buffer, DWORD direction)
{
    MemoryOperation operation = BeginOperation(unit, address, count, buffer);
    if (!operation.entry)
        return operation.refusal;
    const UnitEntry& entry = *operation.entry;
    Span& span = operation.span;
    auto moveByteOfWord = [&](DWORD wordAddress, DWORD offset) {
        return direction == UnitDataIn ? ReadByteOfWord(entry, WORD_SPACE.readOpcode, wordAddress, offset, span.buffer)
                                       : WriteByteOfWord(entry, wordAddress, offset, span.buffer[0]);
    };
    if (span.count >= 1 && (span.address & 1)) {
        const UnitStatus status = moveByteOfWord(span.address - 1, 1);
        if (status != 0)
            return status;
        span.Advance(1);
    }
    const BYTE opcode = direction == UnitDataIn ? WORD_SPACE.readOpcode : WORD_SPACE.writeOpcode;
    const UnitStatus status = TransferWords(entry, opcode, direction, &span, false);
    if (status != 0 || span.count == 0)
        return status;
    return moveByteOfWord(span.address, 0);
}

}  // namespace

UnitStatus UnitReadMemory(DWORD unit, DWORD address, DWORD count, BYTE* buffer)
{
    return MoveWordSpace(unit, address, count, buffer, UnitDataIn);
}

UnitStatus UnitWriteMemory(DWORD unit, DWORD address, DWORD count, const BYTE* buffer)
{
    return MoveWordSpace(unit, address, count, buffer, UnitDataOut);
}

UnitStatus UnitReadEvenMemory(DWORD unit, DWORD address, DWORD count, BYTE* buffer)
{
    MemoryOperation operation = BeginOperation(unit, address, count, buffer);
    if (!operation.entry)
        return operation.refusal;
    Span& span = operation.span;
    if (span.count >= 1 && (span.address & 1)) {
        span.buffer[0] = ERASED;  // an odd address holds nothing: no command for it
        span.Advance(1);
    }
    const UnitStatus status = TransferWords(*operation.entry, EVEN_SPACE.readOpcode, UnitDataIn, &span, true);
    if (status != 0 || span.count == 0)
        return status;
    return ReadByteOfWord(*operation.entry, EVEN_SPACE.readOpcode, span.address, 0, span.buffer);
}

UnitStatus UnitWriteEvenMemory(DWORD unit, DWORD address, DWORD count, const BYTE* buffer)
{
    MemoryOperation operation = BeginOperation(unit, address, count, buffer);
    if (!operation.entry)
        return operation.refusal;
    Span& span = operation.span;
    if (span.count >= 1 && (span.address & 1))
        span.Advance(1);  // an odd address holds nothing to write
    const UnitStatus status = TransferWords(*operation.entry, EVEN_SPACE.writeOpcode, UnitDataOut, &span, false);
    if (status != 0 || span.count == 0)
        return status;
    const BYTE word[2] = {span.buffer[0], ERASED};
    return Transfer(*operation.entry, EVEN_SPACE.writeOpcode, UnitDataOut, span.address, 2, word);
}
