// A terminal taken over for drawing: raw keys (no echo, no line editing, no signals from Ctrl+C, which
// the dialogs treat as a close request), the alternate screen and a hidden cursor. Everything is put
// back when the session ends, also when the program is ended by a signal.
#pragma once

#include <cstddef>
#include <string>

// Writes all `length` bytes to `fd`, resumed after EINTR, until done or a write fails. Safe to call
// from a signal handler.
void TerminalWriteAll(int fd, const char* text, size_t length);

class TerminalSession {
public:
    TerminalSession(int input, int output);
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    int Columns() const;
    // Readable after the terminal was resized; Drain empties it.
    int ResizeDescriptor() const;
    void DrainResize();
    void Write(const std::string& text);

private:
    int m_input;
    int m_output;
};
