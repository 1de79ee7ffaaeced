// The receiver on the platform's real sockets, fed real datagrams over the loopback address on a
// port each test picks: sizes at and beyond the buffer, stopping, and a burst while the board is
// drawn and its settings changed.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/settings.h"
#include "tests/net_support.h"
#include "core/draw.h"

namespace fs = std::filesystem;

namespace {

std::atomic<int> repaints{0};

void count_repaint() {
    ++repaints;
}

using Texts = std::vector<std::string>;

// The platform's own wait, stretched so that only a working wake can end it before the test's
// deadline; records how the last one ended.
std::atomic<int> long_waits{0};
std::atomic<bool> last_wait_signalled{false};

bool long_wait(NetSocket socket, void* event, int) {
    ++long_waits;
    const bool signalled = platform_socket_ops().wait(socket, event, 10000);
    last_wait_signalled = signalled;
    return signalled;
}

class ReceiverSocket : public testing::Test {
protected:
    void SetUp() override {
        repaints = 0;
        set_grid(board, 4, 2);
        receiver.board = &board;
        receiver.port = pick_free_port();
        receiver.repaint_hook = count_repaint;
        sender = open_sender();
        ASSERT_NE(receiver.port, 0);
        ASSERT_NE(sender, kNoSocket);
    }

    void TearDown() override {
        stop_receiver(receiver);
        if (sender != kNoSocket) {
            close_sender(sender);
        }
    }

    void start_listening() {
        start_receiver(receiver);
        ASSERT_TRUE(in_state(receiver, ReceiverState::kListening));
    }

    bool send(const std::string& bytes) { return send_datagram(sender, receiver.port, bytes); }

    LiveBoard board;
    Receiver receiver;
    NetSocket sender = kNoSocket;
};

}  // namespace

TEST_F(ReceiverSocket, OversizedDatagramsAreSkippedAndTheNextShown) {
    start_listening();
    // Digits first: a datagram cut to the buffer and applied anyway would show "7" or "6".
    ASSERT_TRUE(send("7" + std::string(1999, 'x')));
    ASSERT_TRUE(send("6" + std::string(kReceiveCapacity, 'x')));
    ASSERT_TRUE(send("99"));
    ASSERT_TRUE(eventually([&] { return shown(board) == Texts{"99"} && repaints.load() >= 1; }));
    EXPECT_EQ(repaints.load(), 1);
    EXPECT_EQ(receiver.state.load(), ReceiverState::kListening);
}

TEST_F(ReceiverSocket, DatagramOfFullBufferSizeIsReadWhole) {
    start_listening();
    ASSERT_TRUE(send(std::string(kReceiveCapacity, '3')));  // too long a number: refused
    ASSERT_TRUE(send("5" + std::string(kReceiveCapacity - 1, 'x')));
    ASSERT_TRUE(eventually([&] { return shown(board) == Texts{"5"} && repaints.load() >= 1; }));
    EXPECT_EQ(repaints.load(), 1);
    ASSERT_TRUE(send("12\r\n"));
    ASSERT_TRUE(eventually([&] { return shown(board) == Texts{"5", "12"}; }));
}

TEST_F(ReceiverSocket, StopWhileWaitingEndsTheThreadAndFreesThePort) {
    start_listening();
    EXPECT_FALSE(port_is_free(receiver.port));
    stop_receiver(receiver);
    EXPECT_FALSE(receiver.thread.joinable());
    EXPECT_EQ(receiver.state.load(), ReceiverState::kIdle);
    EXPECT_TRUE(port_is_free(receiver.port));
}

TEST_F(ReceiverSocket, StopWakesThePlatformWait) {
    SocketOps stretched = platform_socket_ops();
    stretched.wait = long_wait;
    receiver.ops = &stretched;
    start_listening();
    ASSERT_TRUE(eventually([] { return long_waits.load() > 0; }));
    stop_receiver(receiver);
    EXPECT_TRUE(last_wait_signalled.load());  // ended by the wake, not by its time running out
    EXPECT_EQ(long_waits.load(), 1);
}

TEST_F(ReceiverSocket, RepeatedStartAndStopLeaveNothingBehind) {
    for (int cycle = 0; cycle < 20; ++cycle) {
        start_listening();
        const std::string text = std::to_string(cycle);
        ASSERT_TRUE(send(text));
        ASSERT_TRUE(eventually([&] { return newest(board) == text; }));
        stop_receiver(receiver);
        ASSERT_TRUE(port_is_free(receiver.port)) << cycle;
    }
    // Stops that land anywhere in the set-up.
    for (int cycle = 0; cycle < 50; ++cycle) {
        start_receiver(receiver);
        stop_receiver(receiver);
        ASSERT_FALSE(receiver.thread.joinable());
    }
    ASSERT_TRUE(port_is_free(receiver.port));
    // The test's own socket, opened before all of this, still works: the receivers released the
    // socket library only as often as they started it.
    start_listening();
    ASSERT_TRUE(send("#1"));
    EXPECT_TRUE(eventually([&] { return newest(board) == "#1"; }));
}

// The three threads of the running board at once: the receiver under a long burst, the window
// thread copying the board and working out its picture as a paint does, and settings changes
// stored to and reloaded from a file as the dialog does. Bounded by the burst's count.
TEST_F(ReceiverSocket, BurstAgainstConcurrentReadsAndGridChanges) {
    const fs::path dir =
        fs::temp_directory_path() / ("pelivor-burst-" + std::to_string(receiver.port));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string settings_path = (dir / kSettingsFile).string();
    set_grid(board, 10, 10);
    start_listening();
    std::atomic<bool> done{false};
    std::atomic<int> copies{0};
    std::atomic<int> bad_copies{0};
    std::thread painter([&] {
        while (!done.load()) {
            const BoardCopy copy = copy_board(board);
            for (const auto& slot : copy.table.slots) {
                const size_t length = strnlen(slot, kSlotSize);
                if (length > kMaxTextLength ||
                    std::string(slot, length).find_first_not_of("0123456789#") !=
                        std::string::npos) {
                    ++bad_copies;
                }
            }
            const BoardLayout layout = board_layout(960, 540, copy.settings);
            for (int k = 0; k < layout.cells; ++k) {
                const CellOrigin origin = cell_origin(layout, k);
                const DrawnText text = drawn_text(copy.table.slots[k]);
                if (origin.x + layout.cell_width > 960 || origin.y + layout.cell_height > 540 ||
                    text.length > kMaxTextLength) {
                    ++bad_copies;
                }
            }
            // The window's timer rounds too: expiry removes while datagrams arrive.
            run_timer_round(board);
            next_timer_round(board);
            ++copies;
        }
    });
    // Never a grid of no slots, so every text of the burst is taken and counted.
    std::atomic<int> settings_changes{0};
    std::thread operator_([&] {
        for (int k = 0; !done.load(); ++k) {
            BoardSettings settings = default_settings();
            settings.rows = 1 + k % 10;
            settings.columns = 1 + (k / 10) % 10;
            settings.back_red = k % 256;
            store_settings(board, settings, settings_path.c_str());
            if (k % 3 == 0) {
                load_settings(board, settings_path.c_str());
            }
            if (k % 4 == 0) {  // every extension on (one second of expiry and highlight), then off
                const int32_t on = (k / 4) % 2;
                store_extensions(board, ExtensionFields{on, on, on, on, on}, settings_path.c_str());
            }
            ++settings_changes;
        }
    });
    // In chunks, each awaited, so the receiver works while the other two threads do; a full
    // socket queue may drop some of a chunk, but not all of it.
    constexpr int kChunks = 500;
    bool every_chunk_arrived = true;
    for (int chunk = 0; chunk < kChunks && every_chunk_arrived; ++chunk) {
        const int before = repaints.load();
        for (int k = 0; k < 20; ++k) {
            send(std::to_string(chunk * 20 + k));
        }
        every_chunk_arrived = eventually([&] { return repaints.load() > before; });
    }
    done = true;
    painter.join();
    operator_.join();
    store_extensions(board, ExtensionFields{}, settings_path.c_str());
    EXPECT_TRUE(every_chunk_arrived);
    set_grid(board, 4, 2);
    int polls = 0;
    EXPECT_TRUE(eventually([&] {
        if (polls++ % 25 == 0) {
            send("#77");  // repeated until it arrives, in case it is dropped too
        }
        return newest(board) == "#77";
    }));
    EXPECT_GT(copies.load(), 0);
    EXPECT_GT(settings_changes.load(), 0);
    EXPECT_EQ(bad_copies.load(), 0);
    EXPECT_GT(repaints.load(), kChunks);
    EXPECT_EQ(receiver.state.load(), ReceiverState::kListening);
    fs::remove_all(dir);
}
