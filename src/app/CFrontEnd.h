#pragma once

#include <string>
#include <vector>

// The command line: the usage text, the choice of the stamp driver by the
// mode word, and the report of a failure.
class CFrontEnd {
public:
    // Exit statuses.
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1;
    static constexpr int kUnknownMode = 2;

    // `args` are the words after the program name. Whatever the program
    // prints goes to `out` (standard output in the program); nothing goes to
    // standard error.
    static int Run(const std::vector<std::string>& args, std::string& out);

    static const char* UsageText();
    // What -h and --help print after the usage text: the modes and options
    // this version adds, one line each, then what the usage text says that is
    // not so.
    static const char* AddedOptionsText();
};
