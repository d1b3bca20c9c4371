// What the fuzz targets share: the input read a byte at a time, and the end of a run whose checks
// found something wrong.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// The input, read from the front; zeros once it is used up, so that a short input still makes a run.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data = nullptr, size_t size = 0) : m_data(data), m_size(size) {}
    uint8_t Take() { return m_at < m_size ? m_data[m_at++] : 0; }
    // Up to `count` bytes: fewer when the input ends first.
    std::vector<uint8_t> Take(size_t count)
    {
        count = std::min(count, m_size - m_at);
        std::vector<uint8_t> bytes(m_data + m_at, m_data + m_at + count);
        m_at += count;
        return bytes;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Says what was violated and aborts, which the fuzzer reports as a finding with its input.
[[noreturn]] inline __attribute__((format(printf, 1, 2))) void Violated(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::fputs("invariant violated: ", stderr);
    std::vfprintf(stderr, format, arguments);
    std::fputs("\n", stderr);
    va_end(arguments);
    std::abort();
}
