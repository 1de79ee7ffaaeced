// The receiver loop over a faked socket layer: errors that real sockets will not produce on
// demand, set-up failing at each step, and stopping at any moment, with every resource counted.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>

#include "tests/net_support.h"

namespace {

enum class Step { kNone, kStartup, kOpenSocket, kBind, kCreateEvent, kSelectRead };

struct Scripted {
    ReceiveStatus status;
    std::string bytes;
};

constexpr NetSocket kFakeSocket = 7;

struct FakeNet {
    Step fail_at = Step::kNone;
    bool hold_waits = false;  // a wait lasts until woken, however short it was asked to be
    bool endless = false;     // reads never say "would block": a flood without a pause
    std::atomic<int> startups{0}, cleanups{0};
    std::atomic<int> sockets_opened{0}, sockets_closed{0};
    std::atomic<int> events_created{0}, events_closed{0};
    std::atomic<int> waits{0}, woken_waits{0}, resets{0}, reads{0}, wakes{0};
    std::atomic<int> wrong_handles{0};
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Scripted> script;
    bool woken = false;
};

FakeNet* fake = nullptr;
int fake_event_object;
void* const kFakeEvent = &fake_event_object;

void check_socket(NetSocket socket) {
    if (socket != kFakeSocket) {
        ++fake->wrong_handles;
    }
}

void check_event(void* event) {
    if (event != kFakeEvent) {
        ++fake->wrong_handles;
    }
}

bool fake_startup() {
    ++fake->startups;
    return fake->fail_at != Step::kStartup;
}

void fake_cleanup() {
    ++fake->cleanups;
}

NetSocket fake_open_socket() {
    if (fake->fail_at == Step::kOpenSocket) {
        return kNoSocket;
    }
    ++fake->sockets_opened;
    return kFakeSocket;
}

bool fake_bind_port(NetSocket socket, uint16_t) {
    check_socket(socket);
    return fake->fail_at != Step::kBind;
}

void fake_close_socket(NetSocket socket) {
    check_socket(socket);
    ++fake->sockets_closed;
}

void* fake_create_event() {
    if (fake->fail_at == Step::kCreateEvent) {
        return nullptr;
    }
    ++fake->events_created;
    return kFakeEvent;
}

void fake_close_event(void* event) {
    check_event(event);
    ++fake->events_closed;
}

bool fake_select_read(NetSocket socket, void* event) {
    check_socket(socket);
    check_event(event);
    return fake->fail_at != Step::kSelectRead;
}

bool fake_wait(NetSocket socket, void* event, int timeout_ms) {
    check_socket(socket);
    check_event(event);
    ++fake->waits;
    std::unique_lock<std::mutex> hold(fake->lock);
    const auto limit =
        fake->hold_waits ? std::chrono::milliseconds(10000) : std::chrono::milliseconds(timeout_ms);
    const bool ready = fake->changed.wait_for(
        hold, limit, [] { return fake->woken || fake->endless || !fake->script.empty(); });
    if (fake->woken) {
        ++fake->woken_waits;
    }
    return ready;
}

void fake_reset(void* event) {
    check_event(event);
    ++fake->resets;
}

// An empty script reads as "would block", as a stale event does on a real socket.
Received fake_receive(NetSocket socket, char* buffer, size_t capacity) {
    check_socket(socket);
    ++fake->reads;
    std::lock_guard<std::mutex> hold(fake->lock);
    if (fake->endless) {
        const int read = fake->reads.load();
        buffer[0] = static_cast<char>('0' + read % 10);
        return Received{ReceiveStatus::kReceived, std::min<size_t>(1, capacity)};
    }
    if (fake->script.empty()) {
        return Received{ReceiveStatus::kTolerated, 0};
    }
    const Scripted next = fake->script.front();
    fake->script.pop_front();
    if (next.status != ReceiveStatus::kReceived) {
        return Received{next.status, 0};
    }
    const size_t length = std::min(next.bytes.size(), capacity);
    next.bytes.copy(buffer, length);
    return Received{ReceiveStatus::kReceived, length};
}

void fake_wake(void* event) {
    check_event(event);
    ++fake->wakes;
    std::lock_guard<std::mutex> hold(fake->lock);
    fake->woken = true;
    fake->changed.notify_all();
}

const SocketOps kFakeOps = {
    fake_startup,      fake_cleanup,      fake_open_socket, fake_bind_port,
    fake_close_socket, fake_create_event, fake_close_event, fake_select_read,
    fake_wait,         fake_reset,        fake_receive,     fake_wake,
};

std::atomic<int> repaints{0};

void count_repaint() {
    ++repaints;
}

Scripted datagram(const std::string& bytes) {
    return Scripted{ReceiveStatus::kReceived, bytes};
}

Scripted error(ReceiveStatus status) {
    return Scripted{status, ""};
}

class ReceiverFake : public testing::Test {
protected:
    void SetUp() override {
        fake = &net;
        repaints = 0;
        set_grid(board, 4, 2);
        receiver.ops = &kFakeOps;
        receiver.board = &board;
        receiver.repaint_hook = count_repaint;
    }

    void TearDown() override {
        stop_receiver(receiver);
        fake = nullptr;
    }

    void feed(std::initializer_list<Scripted> items) {
        std::lock_guard<std::mutex> hold(net.lock);
        net.script.insert(net.script.end(), items);
        net.changed.notify_all();
    }

    // Whatever the receiver took, it gave back, and the socket library exactly once.
    void expect_released(bool started) {
        EXPECT_EQ(net.cleanups.load(), started ? 1 : 0);
        EXPECT_EQ(net.sockets_closed.load(), net.sockets_opened.load());
        EXPECT_EQ(net.events_closed.load(), net.events_created.load());
        EXPECT_EQ(net.wrong_handles.load(), 0);
    }

    FakeNet net;
    LiveBoard board;
    Receiver receiver;
};

using Texts = std::vector<std::string>;

}  // namespace

TEST_F(ReceiverFake, PassingErrorsAreReadPast) {
    feed({error(ReceiveStatus::kTolerated), datagram("57"), error(ReceiveStatus::kTolerated),
          error(ReceiveStatus::kTolerated), datagram("58")});
    start_receiver(receiver);
    ASSERT_TRUE(eventually([&] {
        return shown(board) == Texts{"57", "58"} && repaints.load() >= 2;
    }));
    EXPECT_EQ(receiver.state.load(), ReceiverState::kListening);
    EXPECT_EQ(repaints.load(), 2);
    stop_receiver(receiver);
    EXPECT_EQ(net.resets.load(), net.reads.load());  // every read follows a reset event
    EXPECT_EQ(net.wakes.load(), 1);
    expect_released(true);
}

TEST_F(ReceiverFake, AnyOtherErrorEndsItAndLaterDatagramsAreNotShown) {
    feed({datagram("57"), error(ReceiveStatus::kFatal), datagram("58")});
    start_receiver(receiver);
    ASSERT_TRUE(in_state(receiver, ReceiverState::kEnded));
    EXPECT_EQ(shown(board), Texts{"57"});
    EXPECT_EQ(net.script.size(), 1u);
    expect_released(true);
    // Ended by itself, it is only joined: there is no event left to wake.
    stop_receiver(receiver);
    EXPECT_FALSE(receiver.thread.joinable());
    EXPECT_EQ(receiver.state.load(), ReceiverState::kIdle);
    EXPECT_EQ(net.wakes.load(), 0);
    expect_released(true);
}

TEST_F(ReceiverFake, OversizedDatagramIsSkippedAndTheNextShown) {
    feed({error(ReceiveStatus::kOversized), datagram("61"), error(ReceiveStatus::kOversized),
          datagram("62")});
    start_receiver(receiver);
    ASSERT_TRUE(eventually([&] {
        return shown(board) == Texts{"61", "62"} && repaints.load() >= 2;
    }));
    EXPECT_EQ(receiver.state.load(), ReceiverState::kListening);
    EXPECT_EQ(repaints.load(), 2);
}

TEST_F(ReceiverFake, SetUpFailureAtEachStepEndsItAndReleasesWhatWasTaken) {
    for (Step step :
         {Step::kStartup, Step::kOpenSocket, Step::kBind, Step::kCreateEvent, Step::kSelectRead}) {
        SCOPED_TRACE(static_cast<int>(step));
        FakeNet failing;
        failing.fail_at = step;
        failing.script.push_back(datagram("57"));
        fake = &failing;
        start_receiver(receiver);
        ASSERT_TRUE(in_state(receiver, ReceiverState::kEnded));
        stop_receiver(receiver);
        EXPECT_EQ(failing.startups.load(), 1);
        EXPECT_EQ(failing.cleanups.load(), step == Step::kStartup ? 0 : 1);
        EXPECT_EQ(failing.sockets_opened.load(), step > Step::kOpenSocket ? 1 : 0);
        EXPECT_EQ(failing.sockets_closed.load(), failing.sockets_opened.load());
        EXPECT_EQ(failing.events_created.load(), step > Step::kCreateEvent ? 1 : 0);
        EXPECT_EQ(failing.events_closed.load(), failing.events_created.load());
        EXPECT_EQ(failing.waits.load(), 0);
        EXPECT_EQ(failing.wrong_handles.load(), 0);
        EXPECT_TRUE(shown(board).empty());
        fake = &net;
    }
}

TEST_F(ReceiverFake, StopWakesAWaitThatWouldOtherwiseGoOn) {
    net.hold_waits = true;
    start_receiver(receiver);
    ASSERT_TRUE(eventually([&] { return net.waits.load() > 0; }));
    stop_receiver(receiver);
    EXPECT_FALSE(receiver.thread.joinable());
    EXPECT_EQ(net.wakes.load(), 1);
    EXPECT_EQ(net.woken_waits.load(), 1);  // the wait ended because of the wake, not its time
    EXPECT_EQ(net.waits.load(), 1);
    expect_released(true);
}

TEST_F(ReceiverFake, StopEndsAFloodThatNeverPauses) {
    net.endless = true;
    start_receiver(receiver);
    ASSERT_TRUE(eventually([&] { return net.reads.load() > 1000; }));
    stop_receiver(receiver);  // hangs here if only a wait looks at the stop
    EXPECT_FALSE(receiver.thread.joinable());
    expect_released(true);
}

LiveBoard* painted_board = nullptr;
std::atomic<int> invalidations{0};

// What the shell's repaint hook does: invalidate unless a repaint is already on its way.
void invalidate_unless_pending() {
    if (repaint_needed(*painted_board)) {
        ++invalidations;
    }
}

TEST_F(ReceiverFake, ABurstAsksForOneRepaintUntilThePaintBegins) {
    painted_board = &board;
    invalidations = 0;
    receiver.repaint_hook = invalidate_unless_pending;
    set_grid(board, 10, 10);
    for (int k = 1; k <= 50; ++k) {
        feed({datagram(std::to_string(k))});
    }
    // Each round's last read ("would block") comes only once the round's datagrams are applied.
    start_receiver(receiver);
    ASSERT_TRUE(eventually([&] { return net.reads.load() >= 51; }));
    EXPECT_EQ(newest(board), "50");
    EXPECT_EQ(invalidations.load(), 1);
    // The paint begins: the next number asks again, once.
    repaint_begun(board);
    int reads_before = net.reads.load();
    feed({datagram("51"), datagram("52")});
    ASSERT_TRUE(eventually([&] { return net.reads.load() >= reads_before + 3; }));
    EXPECT_EQ(newest(board), "52");
    EXPECT_EQ(invalidations.load(), 2);
    // A duplicate changes nothing and asks for nothing.
    repaint_begun(board);
    reads_before = net.reads.load();
    feed({datagram("52")});
    ASSERT_TRUE(eventually([&] { return net.reads.load() >= reads_before + 2; }));
    stop_receiver(receiver);
    EXPECT_EQ(invalidations.load(), 2);
}

TEST_F(ReceiverFake, StopAtAnyMomentOfStartingReleasesEverything) {
    for (int cycle = 0; cycle < 200; ++cycle) {
        start_receiver(receiver);
        if (cycle % 2 == 1) {
            std::this_thread::yield();
        }
        stop_receiver(receiver);
        ASSERT_FALSE(receiver.thread.joinable());
        ASSERT_EQ(net.startups.load(), cycle + 1);
        ASSERT_EQ(net.cleanups.load(), cycle + 1);
        ASSERT_EQ(net.sockets_closed.load(), net.sockets_opened.load());
        ASSERT_EQ(net.events_closed.load(), net.events_created.load());
        std::lock_guard<std::mutex> hold(net.lock);
        net.woken = false;
    }
    EXPECT_EQ(net.wrong_handles.load(), 0);
}

TEST_F(ReceiverFake, StartingTwiceStartsOneThread) {
    start_receiver(receiver);
    start_receiver(receiver);
    ASSERT_TRUE(in_state(receiver, ReceiverState::kListening));
    stop_receiver(receiver);
    EXPECT_EQ(net.startups.load(), 1);
    expect_released(true);
}

TEST(SocketErrors, PlatformCodesAreClassified) {
    for (const ErrorCase& error_case : platform_error_cases()) {
        EXPECT_EQ(classify_receive_error(error_case.code), error_case.expected)
            << error_case.name << " (" << error_case.code << ")";
    }
}
