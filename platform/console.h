// The console of a command-line program that may ask a person before it acts: whether its input is a
// terminal, and UTF-8 output on a Windows console, where the program's Japanese texts would otherwise
// show in the console's own code page (POSIX terminals take UTF-8 as it is).
#pragma once

// Whether standard input is a terminal (a console on Windows), so that someone may answer.
bool ConsoleInputIsTerminal(void);

// While it lives, a Windows console shows the program's UTF-8 output; the console's code page is put
// back at the end. Nothing changes elsewhere, nor when the output goes to a file or a pipe.
class ConsoleUtf8Output {
public:
    ConsoleUtf8Output();
    ~ConsoleUtf8Output();
    ConsoleUtf8Output(const ConsoleUtf8Output&) = delete;
    ConsoleUtf8Output& operator=(const ConsoleUtf8Output&) = delete;

private:
    unsigned m_previousCodePage = 0;  // 0: nothing was changed
};
