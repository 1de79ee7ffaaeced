// What stations and the board agree on: the port, the command dash, and what reads as a number.
// Shared by the board and pelivor-send, so neither can drift from the other. Portable.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint16_t kBoardPort = 3001;

// A datagram starting with it is a command, where the board accepts commands: the number after it
// is removed, and the dash alone (or with blanks after it) clears the board.
constexpr char kCommandDash = '-';

// With two zones on, a datagram starting with it puts the number after it in the preparing zone.
constexpr char kPreparingPlus = '+';

// The bytes a datagram's text is made of; the board drops every other one.
constexpr bool is_number_byte(char c) {
    return (c >= '0' && c <= '9') || c == '#';
}

// What may follow a clearing dash, and what a station trims from around a number: line ends,
// spaces and tabs.
constexpr bool is_blank_byte(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A number as a station names one to remove: digits, or '#' then digits. The board keeps every
// byte of it after the dash, so it removes exactly the entry of that text.
constexpr bool reads_as_number(const char* text, size_t length) {
    const size_t from = length > 0 && text[0] == '#' ? 1 : 0;
    if (from >= length) {
        return false;
    }
    for (size_t i = from; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}
