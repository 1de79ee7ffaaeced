// pelivor-send's command line.
#include <cstdlib>
#include <cstring>

#include "tools/sender.h"

namespace {

bool parse_port(const char* text, uint16_t* port) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 65535) {
        return false;
    }
    *port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

bool parse_send_options(int argc, char** argv, SendOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool host = std::strcmp(arg, "--host") == 0 || std::strcmp(arg, "-h") == 0;
        const bool port = std::strcmp(arg, "--port") == 0 || std::strcmp(arg, "-p") == 0;
        if (host || port) {
            if (i + 1 >= argc) {
                *error = std::string(arg) + " needs a value";
                return false;
            }
            const char* value = argv[++i];
            if (host) {
                options->host = value;
            } else if (!parse_port(value, &options->port)) {
                *error = std::string("not a port number: ") + value;
                return false;
            }
        } else if (std::strcmp(arg, "--remove") == 0) {
            options->remove = true;
        } else if (std::strcmp(arg, "--clear") == 0) {
            options->clear = true;
        } else if (std::strcmp(arg, "--") == 0) {
            for (++i; i < argc; ++i) {
                options->numbers.emplace_back(argv[i]);
            }
        } else if (arg[0] == '-' && arg[1] != '\0') {
            *error = std::string("unknown option: ") + arg;
            return false;
        } else {
            options->numbers.emplace_back(arg);
        }
    }
    if (options->clear && (options->remove || !options->numbers.empty())) {
        *error = "--clear sends no number";
        return false;
    }
    return true;
}

std::string datagram_for(const SendOptions& options, const std::string& number) {
    return options.remove ? "-" + number : number;
}

std::string strip_line_ending(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}
