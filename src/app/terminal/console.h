#pragma once

#include <cstdio>
#include <string>

namespace fwup {

// The console the terminal program runs in, as the system it runs on
// describes it. Each system's program implements these (linux/console.cpp).
struct Console {
    bool inIsTerminal = false;  // a person can answer the question
    bool drawProgress = false;  // standard error is a terminal that takes escape codes
    int columns = 80;
    int rows = 24;
    std::string codeset = "UTF-8";  // the terminal's character set
};

// Sets the program's locale from the environment, then describes the console.
Console DescribeConsole();

// The window's new size, once it has changed since the last call (a
// SizeCheck); DescribeConsole starts watching where progress is drawn.
bool ConsoleResized(int& columns, int& rows);

// UTF-8 in the named character set, characters it lacks as "?": the
// TextEncoder that TerminalOutput writes through.
std::string EncodeText(const std::string& utf8, const std::string& codeset);

// The TextDecoder: what a person typed on the console, in its character set
// (Windows: the console's input code page), as UTF-8; what does not decode
// as "?".
std::string DecodeTypedText(const std::string& typed, const std::string& codeset);

// The ConsoleWriter: writes the text itself where the stream is a console
// that the system writes its own way (Windows: as UTF-16, whatever the
// console's code page), and says so; false on a system without one.
bool WriteToConsole(std::FILE* stream, const std::string& utf8);

}  // namespace fwup
