// pelivor-send: sends order numbers to a board, for stations and integrators.
//   pelivor-send [--host HOST] [--port PORT] [--remove | --preparing] [NUMBER...]
//   pelivor-send [--host HOST] [--port PORT] --clear
// With no NUMBER, sends each line of standard input.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "tools/sender.h"
#ifdef _WIN32
#include "live/dll_search_win32.h"
#endif

namespace {

const char kUsage[] =
    "usage: pelivor-send [--host HOST] [--port PORT] [--remove | --preparing] [NUMBER...]\n"
    "       pelivor-send [--host HOST] [--port PORT] --clear\n"
    "Sends each NUMBER (or, with none, each line of standard input) as one UDP datagram to the\n"
    "board at HOST (default 127.0.0.1), port PORT (default 3001). On a board that accepts\n"
    "commands, --remove takes each NUMBER off it and --clear empties it. On a board with two\n"
    "zones, --preparing puts each NUMBER in the preparing zone. With --remove or --preparing,\n"
    "what is not a number (digits, or '#' then digits; blanks around it are dropped) is refused\n"
    "with exit status 2: a refused NUMBER stops them all being sent, a refused input line is\n"
    "skipped.\n";

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    load_dlls_from_system32_only();
#endif
    SendOptions options;
    std::string error;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!parse_send_options(argc, argv, &options, &error)) {
        std::fprintf(stderr, "pelivor-send: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    Sender* sender = open_sender(options.host, options.port, &error);
    if (sender == nullptr) {
        std::fprintf(stderr, "pelivor-send: %s\n", error.c_str());
        return 2;
    }
    bool ok = true;
    bool refused = false;
    if (options.clear) {
        ok = send_number(sender, kClearCommand);
    } else if (!options.numbers.empty()) {
        for (const std::string& number : options.numbers) {
            ok = send_number(sender, datagram_for(options, number)) && ok;
        }
    } else {
        // Lines are sent as they come, for a till that keeps the pipe open: a line that names no
        // number to remove is refused alone, and the rest still go.
        std::string line;
        std::string datagram;
        long line_number = 0;
        while (std::getline(std::cin, line)) {
            ++line_number;
            if (!line_datagram(options, line, &datagram)) {
                std::fprintf(stderr, "pelivor-send: line %ld: not a number to remove: '%s'\n",
                             line_number, strip_line_ending(line).c_str());
                refused = true;
            } else if (!datagram.empty()) {
                ok = send_number(sender, datagram) && ok;
            }
        }
    }
    close_sender(sender);
    if (refused) {
        return 2;
    }
    if (!ok) {
        std::fprintf(stderr, "pelivor-send: a datagram could not be sent\n");
        return 1;
    }
    return 0;
}
