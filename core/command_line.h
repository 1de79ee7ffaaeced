// What both boards answer on the command line before anything else starts: --help and --version.
// Every other argument is ignored, as it always was.
#pragma once

#include <cstring>

#include "pelivor_version.h"

inline const char* command_line_answer(const char* argument) {
    if (std::strcmp(argument, "--version") == 0) {
        return "pelivor " PELIVOR_VERSION_STRING "\n";
    }
    if (std::strcmp(argument, "--help") == 0) {
        return "Usage: pelivor [--help | --version]\n"
               "Shows on the whole screen the order numbers that stations send as UDP datagrams\n"
               "to port 3001. The settings are kept in \"setup.dat\" in the working directory.\n"
               "Escape ends the board, F2 opens the extensions, any other character key the\n"
               "settings.\n";
    }
    return nullptr;
}

// The same for a whole command line as Windows hands it over: arguments apart by blanks, each
// perhaps in quotes.
inline const char* command_line_answer_in(const char* line) {
    char argument[16];
    while (*line != '\0') {
        while (*line == ' ' || *line == '\t') {
            ++line;
        }
        size_t length = 0;
        for (; *line != '\0' && *line != ' ' && *line != '\t'; ++line) {
            if (*line != '"' && length + 1 < sizeof argument) {
                argument[length++] = *line;
            }
        }
        argument[length] = '\0';
        if (const char* answer = command_line_answer(argument)) {
            return answer;
        }
    }
    return nullptr;
}
