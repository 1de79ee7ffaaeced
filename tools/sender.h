// The station side: sending order numbers to a board as UDP datagrams, one number per datagram.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/protocol.h"

struct SendOptions {
    std::string host = "127.0.0.1";
    uint16_t port = kBoardPort;
    std::vector<std::string> numbers;  // none: read them from standard input, one per line
    bool remove = false;               // --remove: each number is sent as "-NUMBER"
    bool clear = false;                // --clear: one "-" alone, no numbers
    bool preparing = false;            // --preparing: each number is sent as "+NUMBER"
};

// The datagram that carries one number: the number itself, with --remove the command that takes
// it off a board that accepts commands, with --preparing the word that puts it in the preparing
// zone of a board with two zones.
std::string datagram_for(const SendOptions& options, const std::string& number);

// With --remove: the number an argument or input line names, without the spaces, tabs, line ends
// and byte-order marks around it. False when what is left is not digits, or '#' then digits.
bool removal_number(const std::string& text, std::string* number);

// What --clear sends: a dash with no number after it.
constexpr char kClearCommand[] = {kCommandDash, '\0'};

// Parses the command line; on a mistake returns false with a message in *error. With --remove or
// --preparing, every number is checked and trimmed by removal_number.
bool parse_send_options(int argc, char** argv, SendOptions* options, std::string* error);

// One line of standard input as a datagram's text: without its line ending.
std::string strip_line_ending(std::string line);

// The datagram one line of standard input asks for; "" when there is nothing to send (an empty
// line, or with --remove a blank one). False when refused: with --remove, a line that names no
// number.
bool line_datagram(const SendOptions& options, const std::string& line, std::string* datagram);

// The socket side, one file per platform. open_sender resolves the host (false with a message in
// *error when it cannot); send_number sends one datagram.
struct Sender;
Sender* open_sender(const std::string& host, uint16_t port, std::string* error);
bool send_number(Sender* sender, const std::string& number);
void close_sender(Sender* sender);
