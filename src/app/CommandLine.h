#pragma once

#include <optional>

// The options the program reads itself. --help and --version are answered
// before the window's application exists, so they need no display.
class CommandLine {
public:
    // The exit code when the command line asked only for help or the
    // version (printed to standard output), else nothing.
    static std::optional<int> answerWithoutWindow(int& argc, char** argv);
};
