// pelivor-send's command line, its answer to a host that does not exist, and a broadcast it sends
// reaching a receiver.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/net_support.h"
#include "tools/sender.h"

namespace {

bool parse(std::vector<std::string> args, SendOptions* options, std::string* error) {
    args.insert(args.begin(), "pelivor-send");
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(&a[0]);
    }
    return parse_send_options(static_cast<int>(argv.size()), argv.data(), options, error);
}

}  // namespace

TEST(SendOptions, DefaultsToThisMachineOnTheBoardPort) {
    SendOptions options;
    std::string error;
    ASSERT_TRUE(parse({}, &options, &error));
    EXPECT_EQ(options.host, "127.0.0.1");
    EXPECT_EQ(options.port, 3001);
    EXPECT_TRUE(options.numbers.empty());
}

TEST(SendOptions, HostPortAndNumbers) {
    SendOptions options;
    std::string error;
    ASSERT_TRUE(
        parse({"57", "--host", "board.local", "-p", "4000", "#12", "--", "-3"}, &options, &error));
    EXPECT_EQ(options.host, "board.local");
    EXPECT_EQ(options.port, 4000);
    EXPECT_EQ(options.numbers, (std::vector<std::string>{"57", "#12", "-3"}));
}

TEST(SendOptions, Mistakes) {
    // "-" alone would clear a board that takes commands.
    const std::vector<std::vector<std::string>> mistakes{
        {"--port", "0"}, {"--port", "65536"}, {"--port", "30x"}, {"--host"}, {"-x"},
        {"-"},           {"57", "-"}};
    for (const auto& args : mistakes) {
        SendOptions options;
        std::string error;
        EXPECT_FALSE(parse(args, &options, &error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(SendOptions, RemoveAndClear) {
    SendOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--remove", "57", "#12"}, &options, &error));
    EXPECT_TRUE(options.remove);
    EXPECT_EQ(datagram_for(options, "57"), "-57");
    EXPECT_EQ(datagram_for(options, "#12"), "-#12");
    EXPECT_EQ(datagram_for(SendOptions{}, "57"), "57");

    SendOptions clear;
    ASSERT_TRUE(parse({"--clear", "--port", "4000"}, &clear, &error));
    EXPECT_TRUE(clear.clear);
    EXPECT_STREQ(kClearCommand, "-");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--clear", "57"}, {"--clear", "--remove"}, {"--preparing", "--clear"}}) {
        SendOptions refused;
        EXPECT_FALSE(parse(args, &refused, &error)) << args[1];
        EXPECT_NE(error.find("--clear"), std::string::npos);
    }

    // --preparing sends "+NUMBER", trimmed and refused as --remove's numbers are.
    SendOptions preparing;
    ASSERT_TRUE(parse({"--preparing", " 57\r\n", "#12"}, &preparing, &error));
    EXPECT_EQ(datagram_for(preparing, preparing.numbers[0]), "+57");
    EXPECT_EQ(datagram_for(preparing, preparing.numbers[1]), "+#12");
    std::string datagram;
    EXPECT_TRUE(line_datagram(preparing, " 58\n", &datagram));
    EXPECT_EQ(datagram, "+58");
    EXPECT_FALSE(line_datagram(preparing, "x58\n", &datagram));
    SendOptions refused;
    EXPECT_FALSE(parse({"--preparing", "5 8"}, &refused, &error));
    EXPECT_NE(error.find("not a number to prepare"), std::string::npos) << error;
    EXPECT_FALSE(parse({"--preparing", "--remove", "58"}, &refused, &error));
}

TEST(SendOptions, RemoveSendsOnlyANumberAfterTheDash) {
    // Blanks and a byte-order mark around a number are dropped, whatever their order.
    SendOptions options;
    std::string error;
    const std::string bom = "\xEF\xBB\xBF";
    ASSERT_TRUE(
        parse({"--remove", " 58", bom + "59\r\n", "\t#60 " + bom, "--", bom + " " + bom + "061"},
              &options, &error))
        << error;
    EXPECT_EQ(options.numbers, (std::vector<std::string>{"58", "59", "#60", "061"}));
    EXPECT_EQ(datagram_for(options, options.numbers[0]), "-58");
    // Anything else would reach the board as a stray dash: the whole command line is refused.
    for (const std::string& bad :
         std::vector<std::string>{"x58", "", " ", "--58", "5 8", "58x", "#", "##5", "5#", "-58",
                                  bom.substr(0, 2), "58\xC2\xA0"}) {
        SendOptions refused;
        error.clear();
        EXPECT_FALSE(parse({"--remove", "57", "--", bad}, &refused, &error)) << bad;
        EXPECT_NE(error.find("not a number to remove"), std::string::npos) << error;
    }
    SendOptions later;
    EXPECT_FALSE(parse({"x58", "--remove"}, &later, &error));  // the option after it too
    SendOptions plain;  // without --remove, texts are sent as they are
    ASSERT_TRUE(parse({"x58", " 5"}, &plain, &error));
    EXPECT_EQ(plain.numbers, (std::vector<std::string>{"x58", " 5"}));

    // Input lines: each refused alone; a blank one is skipped as an empty one always was.
    std::string datagram;
    EXPECT_TRUE(line_datagram(options, bom + " 58\r\n", &datagram));
    EXPECT_EQ(datagram, "-58");
    for (const std::string& blank : {std::string("\n"), std::string(" \t\r\n"), bom + "\n"}) {
        EXPECT_TRUE(line_datagram(options, blank, &datagram));
        EXPECT_EQ(datagram, "") << blank;
    }
    EXPECT_FALSE(line_datagram(options, "--58\n", &datagram));
    EXPECT_FALSE(line_datagram(options, "x58\n", &datagram));
    EXPECT_TRUE(line_datagram(plain, " x58\r\n", &datagram));
    EXPECT_EQ(datagram, " x58");
}

// What --remove lets through, a board with commands on reads back whole after the dash: it
// removes that entry and no other.
TEST(SendOptions, WhatRemoveSendsTheBoardRemovesExactly) {
    SendOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--remove", "58", "#60", " 061\r\n", "123456789"}, &options, &error));
    for (const std::string& number : options.numbers) {
        LiveBoard board;
        set_grid(board, 2, 2);
        board.extensions.commands = true;
        for (std::string text : {number, std::string("7")}) {
            receive_datagram(board, &text[0], text.size());
        }
        std::string datagram = datagram_for(options, number);
        EXPECT_TRUE(receive_datagram(board, &datagram[0], datagram.size()).repaint) << number;
        EXPECT_EQ(shown(board), (std::vector<std::string>{"7"})) << number;
    }
}

TEST(SendOptions, LineEndingsAreNotSent) {
    EXPECT_EQ(strip_line_ending("57\r\n"), "57");
    EXPECT_EQ(strip_line_ending("57\n"), "57");
    EXPECT_EQ(strip_line_ending("57"), "57");
    EXPECT_EQ(strip_line_ending("5 7 \n"), "5 7 ");
}

TEST(Sender, UnknownHostIsAClearError) {
    std::string error;
    EXPECT_EQ(open_sender("no-such-board.invalid", 3001, &error), nullptr);
    EXPECT_NE(error.find("unknown host 'no-such-board.invalid'"), std::string::npos) << error;
}

TEST(Sender, BroadcastAddressReachesABoard) {
    LiveBoard board;
    set_grid(board, 4, 2);
    Receiver receiver;
    receiver.board = &board;
    receiver.port = pick_free_port();
    StopAtExit stop{receiver};
    start_receiver(receiver);
    ASSERT_TRUE(in_state(receiver, ReceiverState::kListening));
    // The loopback network's broadcast address: a datagram there reaches every socket bound to
    // the port on all addresses, as one to 255.255.255.255 reaches every board on a network.
    std::string error;
    Sender* sender = open_sender("127.255.255.255", receiver.port, &error);
    ASSERT_NE(sender, nullptr) << error;
    EXPECT_TRUE(send_number(sender, "57"));
    close_sender(sender);
    EXPECT_TRUE(eventually([&] { return newest(board) == "57"; }));
}
