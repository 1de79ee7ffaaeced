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

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// Without the spaces, tabs, line ends and byte-order marks around it.
std::string trimmed(std::string text) {
    for (;;) {
        if (text.compare(0, 3, kByteOrderMark) == 0) {
            text.erase(0, 3);
        } else if (!text.empty() && is_blank_byte(text[0])) {
            text.erase(0, 1);
        } else if (text.size() >= 3 && text.compare(text.size() - 3, 3, kByteOrderMark) == 0) {
            text.resize(text.size() - 3);
        } else if (!text.empty() && is_blank_byte(text.back())) {
            text.pop_back();
        } else {
            break;
        }
    }
    return text;
}

}  // namespace

bool removal_number(const std::string& text, std::string* number) {
    const std::string t = trimmed(text);
    if (!reads_as_number(t.data(), t.size())) {
        return false;
    }
    *number = t;
    return true;
}

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
        } else if (std::strcmp(arg, "--preparing") == 0) {
            options->preparing = true;
        } else if (std::strcmp(arg, "--") == 0) {
            for (++i; i < argc; ++i) {
                options->numbers.emplace_back(argv[i]);
            }
        } else if (arg[0] == '-' && arg[1] != '\0') {
            *error = std::string("unknown option: ") + arg;
            return false;
        } else if (arg[0] == '-') {
            // The usual spelling of "standard input", which sent as it stands would clear a board
            // that takes commands: --clear says that on purpose, and "--" lets "-" through.
            *error =
                "'-' is no number (standard input is read when no NUMBER is given; --clear "
                "empties the board)";
            return false;
        } else {
            options->numbers.emplace_back(arg);
        }
    }
    if (options->clear && (options->remove || options->preparing || !options->numbers.empty())) {
        *error = "--clear sends no number";
        return false;
    }
    if (options->remove && options->preparing) {
        *error = "--remove and --preparing say opposite things";
        return false;
    }
    // Every one is checked before any is sent: a dash with anything but a number after it could
    // clear a whole board, and a plus with none would leave a board without zones one number short.
    for (std::string& number : options->numbers) {
        if ((options->remove || options->preparing) && !removal_number(number, &number)) {
            *error = std::string(options->remove ? "not a number to remove: '"
                                                 : "not a number to prepare: '") +
                     number + "'";
            return false;
        }
    }
    return true;
}

std::string datagram_for(const SendOptions& options, const std::string& number) {
    return options.remove      ? kCommandDash + number
           : options.preparing ? kPreparingPlus + number
                               : number;
}

std::string strip_line_ending(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

bool line_datagram(const SendOptions& options, const std::string& line, std::string* datagram) {
    datagram->clear();
    if (!options.remove && !options.preparing) {
        *datagram = strip_line_ending(line);
        return true;
    }
    std::string number;
    if (trimmed(line).empty()) {
        return true;
    }
    if (!removal_number(line, &number)) {
        return false;
    }
    *datagram = datagram_for(options, number);
    return true;
}
