// The process-wide receiver on port 3001 itself, as the shell starts it, fed real datagrams over
// the loopback address. These tests hold the port, so they never run beside each other.
#include <gtest/gtest.h>

#include "tests/net_support.h"

namespace {

std::atomic<int> repaints{0};

void count_repaint() {
    ++repaints;
}

using Texts = std::vector<std::string>;

class BoardReceiver : public testing::Test {
protected:
    void SetUp() override {
        repaints = 0;
        set_repaint_hook(nullptr);
        {
            std::lock_guard<std::mutex> hold(live_board().lock);
            live_board().table = SlotTable{};
        }
        set_grid(live_board(), 4, 2);
        sender = open_sender();
        ASSERT_NE(sender, kNoSocket);
    }

    void TearDown() override {
        stop_receiver();
        set_repaint_hook(nullptr);
        if (sender != kNoSocket) {
            close_sender(sender);
        }
    }

    // A failure here usually means something else holds port 3001.
    void start_listening() {
        start_receiver();
        ASSERT_TRUE(in_state(board_receiver(), ReceiverState::kListening))
            << "the receiver could not listen on port " << kReceiverPort;
    }

    bool send(const std::string& bytes) { return send_datagram(sender, kReceiverPort, bytes); }

    NetSocket sender = kNoSocket;
};

}  // namespace

TEST_F(BoardReceiver, EachNewNumberIsShownWithOneRepaint) {
    start_listening();
    // No window yet: the number is taken, and nothing is asked of a window that does not exist.
    ASSERT_TRUE(send("11"));
    ASSERT_TRUE(eventually([] { return shown(live_board()) == Texts{"11"}; }));
    set_repaint_hook(count_repaint);
    ASSERT_TRUE(send("57"));
    ASSERT_TRUE(eventually([] {
        return shown(live_board()) == Texts{"11", "57"} && repaints.load() >= 1;
    }));
    EXPECT_EQ(repaints.load(), 1);
    // The same number again, and an empty datagram, change nothing and ask for no repaint; "58"
    // marks when they have been read.
    ASSERT_TRUE(send("57"));
    ASSERT_TRUE(send(""));
    ASSERT_TRUE(send("58"));
    ASSERT_TRUE(eventually([] {
        return shown(live_board()) == Texts{"11", "57", "58"} && repaints.load() >= 2;
    }));
    EXPECT_EQ(repaints.load(), 2);
    stop_receiver();
    EXPECT_EQ(board_receiver().state.load(), ReceiverState::kIdle);
    EXPECT_TRUE(port_is_free(kReceiverPort));
}

TEST_F(BoardReceiver, DatagramsToAnyLocalAddressAreTaken) {
    start_listening();
    // 127.0.0.2 is this host too, but a socket bound to 127.0.0.1 alone would never see it, as
    // one bound to loopback would never hear the tills on the network.
    ASSERT_TRUE(send_datagram_to(sender, 0x7F000002, kReceiverPort, "31"));
    ASSERT_TRUE(send("32"));
    ASSERT_TRUE(eventually([] { return shown(live_board()) == Texts{"31", "32"}; }));
}

TEST_F(BoardReceiver, SecondCopyOnPort3001EndsAtOnceWhileTheFirstGoesOn) {
    start_listening();
    LiveBoard other_board;
    set_grid(other_board, 4, 2);
    Receiver second;
    second.board = &other_board;
    StopAtExit stop_second{second};
    start_receiver(second);
    ASSERT_TRUE(in_state(second, ReceiverState::kEnded));
    ASSERT_TRUE(send("41"));
    ASSERT_TRUE(eventually([] { return shown(live_board()) == Texts{"41"}; }));
    EXPECT_TRUE(shown(other_board).empty());
}
