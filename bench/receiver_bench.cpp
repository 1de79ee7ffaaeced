// The receiver on real loopback sockets, each figure beside its floor in the same run: a burst
// of distinct numbers sent as fast as possible (how many the receiver applied, how many a bare
// blocking read loop on the same port and buffer took), the time from a send to the repaint
// request, and what the receiver costs while nothing arrives.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "bench/loopback.h"
#include "live/live_board.h"
#include "live/receiver.h"

namespace {

using Clock = std::chrono::steady_clock;

// Set from the command line before the benchmarks run.
long g_burst_size = 200000;
int g_burst_rounds = 5;
int g_latency_count = 10000;
double g_idle_seconds = 10.0;

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// What arrived, as the repaint hook or the bare reader report it.
struct Arrivals {
    std::mutex lock;
    std::condition_variable changed;
    long count = 0;
    int64_t last_ns = 0;
};
Arrivals g_arrivals;

void note_arrival() {
    const int64_t at = now_ns();
    std::lock_guard<std::mutex> hold(g_arrivals.lock);
    g_arrivals.last_ns = at;
    ++g_arrivals.count;
    g_arrivals.changed.notify_all();
}

void note_datagram(const char*, size_t) {
    note_arrival();
}

// In a burst only the count matters, and counting must cost the receiver next to nothing.
std::atomic<long> g_accepted{0};

void count_accepted() {
    g_accepted.fetch_add(1, std::memory_order_relaxed);
}

// Distinct numbers, so no text is the newest entry's duplicate and every one read is applied.
std::vector<std::string> numbers(long count, long first) {
    std::vector<std::string> texts;
    texts.reserve(static_cast<size_t>(count));
    for (long k = 0; k < count; ++k) {
        texts.push_back(std::to_string(first + k));
    }
    return texts;
}

bool wait_for(const std::atomic<ReceiverState>& state, ReceiverState wanted) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (state.load() != wanted) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Returns once the count has not moved for `quiet_ms` (or after ten seconds).
void wait_until_quiet(int quiet_ms) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    long seen = g_accepted.load();
    auto last_change = Clock::now();
    while (Clock::now() < deadline &&
           Clock::now() - last_change < std::chrono::milliseconds(quiet_ms)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const long now_seen = g_accepted.load();
        if (now_seen != seen) {
            seen = now_seen;
            last_change = Clock::now();
        }
    }
}

void send_all(uint16_t port, const std::vector<std::string>& texts, std::atomic<bool>& done) {
    const int sender = open_loopback_sender();
    send_burst(sender, port, texts);
    close_loopback_sender(sender);
    done = true;
}

struct BoardReceiver {
    LiveBoard board;
    Receiver receiver;

    BoardReceiver(uint16_t port, int32_t rows, int32_t columns, void (*repaint)()) {
        board.settings = BoardSettings{rows, columns, 0, 50, 150, 240, 240, 240, 0};
        receiver.port = port;
        receiver.board = &board;
        receiver.repaint_hook = repaint;
    }
    ~BoardReceiver() { stop_receiver(receiver); }

    bool start() {
        start_receiver(receiver);
        return wait_for(receiver.state, ReceiverState::kListening);
    }
};

// A socket opened and bound exactly as the receiver's own, so both have the same buffer.
NetSocket open_like_receiver(uint16_t port) {
    const SocketOps& ops = platform_socket_ops();
    const NetSocket socket = ops.open_socket();
    if (socket != kNoSocket && !ops.bind_port(socket, port)) {
        ops.close_socket(socket);
        return kNoSocket;
    }
    return socket;
}

// What one side of a burst came to: datagrams applied (or read), and datagrams the kernel dropped
// at the full receive queue meanwhile.
struct BurstResult {
    long kept = -1;
    long dropped = 0;
};

// Where the reading thread and the sender run in a burst: each on a processor of its own, the
// same for both sides, so that the scheduler's choice of places does not decide the round.
struct Placement {
    int reader;  // -1: wherever the system puts it
    int sender;
};

void go_to(int processor) {
    if (processor >= 0) {
        pin_to_processor(processor);
    }
}

BurstResult burst_bare(uint16_t port, const std::vector<std::string>& texts, Placement placement,
                       int* buffer_bytes) {
    BurstResult result;
    const NetSocket socket = open_like_receiver(port);
    if (socket == kNoSocket) {
        return result;
    }
    *buffer_bytes = receive_buffer_bytes(socket);
    std::atomic<bool> done{false};
    go_to(placement.reader);
    std::thread reader([&] { result.kept = bare_receive(socket, done, 300, nullptr); });
    go_to(placement.sender);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the reader is in its read
    const long drops_before = udp_queue_drops();
    send_all(port, texts, done);
    reader.join();
    result.dropped = udp_queue_drops() - drops_before;
    platform_socket_ops().close_socket(socket);
    return result;
}

BurstResult burst_receiver(uint16_t port, const std::vector<std::string>& texts,
                           Placement placement) {
    BurstResult result;
    BoardReceiver board(port, 10, 10, count_accepted);
    go_to(placement.reader);
    const bool listening = board.start();
    go_to(placement.sender);
    if (!listening) {
        return result;
    }
    g_accepted = 0;
    const long drops_before = udp_queue_drops();
    std::atomic<bool> done{false};
    send_all(port, texts, done);
    wait_until_quiet(300);
    result.dropped = udp_queue_drops() - drops_before;
    result.kept = g_accepted.load();
    return result;
}

void BM_Burst(benchmark::State& state) {
    const uint16_t port = free_loopback_port();
    const std::vector<int> processors = usable_processors();
    const Placement placement =
        processors.size() >= 2 ? Placement{processors[1], processors[0]} : Placement{-1, -1};
    const std::vector<std::string> texts = numbers(g_burst_size, 1);
    BurstResult bare{0, 0};
    BurstResult received{0, 0};
    int buffer_bytes = 0;
    double lowest = 0.0;
    double highest = 0.0;
    for (auto _ : state) {
        // Alternated, so a slow moment of the machine falls on both sides alike.
        for (int round = 0; round < g_burst_rounds; ++round) {
            BurstResult bare_round;
            BurstResult received_round;
            if (round % 2 == 0) {
                bare_round = burst_bare(port, texts, placement, &buffer_bytes);
                received_round = burst_receiver(port, texts, placement);
            } else {
                received_round = burst_receiver(port, texts, placement);
                bare_round = burst_bare(port, texts, placement, &buffer_bytes);
            }
            if (bare_round.kept < 0 || received_round.kept < 0) {
                state.SkipWithError("could not listen on the port");
                return;
            }
            const double ratio = bare_round.kept > 0 ? static_cast<double>(received_round.kept) /
                                                           static_cast<double>(bare_round.kept)
                                                     : 0.0;
            lowest = round == 0 ? ratio : std::min(lowest, ratio);
            highest = round == 0 ? ratio : std::max(highest, ratio);
            bare.kept += bare_round.kept;
            bare.dropped += bare_round.dropped;
            received.kept += received_round.kept;
            received.dropped += received_round.dropped;
        }
    }
    unpin_processor();
    const double rounds = g_burst_rounds;
    state.counters["sent"] = static_cast<double>(g_burst_size);
    state.counters["bare_kept"] = bare.kept / rounds;
    state.counters["bare_dropped"] = bare.dropped / rounds;
    state.counters["receiver_kept"] = received.kept / rounds;
    state.counters["receiver_dropped"] = received.dropped / rounds;
    state.counters["ratio"] = bare.kept > 0 ? static_cast<double>(received.kept) / bare.kept : 0.0;
    state.counters["ratio_lowest"] = lowest;  // of the rounds: how far one round can stray
    state.counters["ratio_highest"] = highest;
    state.counters["rcvbuf_bytes"] = buffer_bytes;
}

// Percentiles in microseconds, as counters named <side>_p50_us and so on.
void report_latency(benchmark::State& state, const char* side, std::vector<int64_t>& delays) {
    if (delays.empty()) {
        state.SkipWithError("nothing arrived");
        return;
    }
    std::sort(delays.begin(), delays.end());
    const auto at = [&](double share) {
        const size_t k = std::min(delays.size() - 1, static_cast<size_t>(share * delays.size()));
        return delays[k] / 1000.0;
    };
    const std::string name = side;
    state.counters[name + "_p50_us"] = at(0.50);
    state.counters[name + "_p99_us"] = at(0.99);
    state.counters[name + "_max_us"] = delays.back() / 1000.0;
}

// Sends the numbers one at a time, each after the arrival of the one before, and appends each
// one's time from just before its send to its arrival; returns how many never arrived.
long time_one_by_one(int sender, uint16_t port, const std::vector<std::string>& texts,
                     std::vector<int64_t>* delays) {
    long lost = 0;
    for (const std::string& text : texts) {
        std::unique_lock<std::mutex> hold(g_arrivals.lock);
        const long before = g_arrivals.count;
        const int64_t sent_at = now_ns();
        send_loopback(sender, port, text.data(), text.size());
        if (!g_arrivals.changed.wait_for(hold, std::chrono::seconds(1),
                                         [&] { return g_arrivals.count != before; })) {
            ++lost;
        } else if (delays != nullptr) {
            delays->push_back(g_arrivals.last_ns - sent_at);
        }
    }
    return lost;
}

// The receiver and the floor, a bare blocking read loop, listen side by side and are timed in
// alternate runs of numbers, so that whatever the machine does meanwhile falls on both alike.
// Every thread stays on one processor: a reader woken on another, idle processor (of a virtual
// machine above all) takes some 20 us more to run, and which reader the scheduler puts there is
// chance, so unpinned the comparison said more about placement than about the receiver.
void BM_Latency(benchmark::State& state) {
    const uint16_t floor_port = free_loopback_port();
    const uint16_t receiver_port = free_loopback_port();
    if (!pin_to_processor(current_processor())) {
        state.SkipWithError("could not keep the threads on one processor");
        return;
    }
    for (auto _ : state) {
        const NetSocket socket = open_like_receiver(floor_port);
        BoardReceiver board(receiver_port, 4, 2, note_arrival);  // the grid the board starts with
        if (socket == kNoSocket || !board.start()) {
            state.SkipWithError("could not listen on the ports");
            return;
        }
        std::atomic<bool> done{false};
        std::thread reader([&] { bare_receive(socket, done, 100, note_datagram); });
        const int sender = open_loopback_sender();
        time_one_by_one(sender, floor_port, numbers(100, 500000), nullptr);
        time_one_by_one(sender, receiver_port, numbers(100, 500000), nullptr);
        constexpr int kRun = 500;
        std::vector<int64_t> floor_delays;
        std::vector<int64_t> receiver_delays;
        long lost = 0;
        for (int first = 0; first < g_latency_count; first += kRun) {
            const std::vector<std::string> texts =
                numbers(std::min(kRun, g_latency_count - first), first + 1);
            lost += time_one_by_one(sender, floor_port, texts, &floor_delays);
            lost += time_one_by_one(sender, receiver_port, texts, &receiver_delays);
        }
        close_loopback_sender(sender);
        done = true;
        reader.join();
        platform_socket_ops().close_socket(socket);
        state.counters["count"] = static_cast<double>(receiver_delays.size());
        state.counters["lost"] = static_cast<double>(lost);
        report_latency(state, "floor", floor_delays);
        report_latency(state, "receiver", receiver_delays);
    }
    unpin_processor();
}

// The receiver thread alone, listening with nothing arriving.
void BM_Idle(benchmark::State& state) {
    const uint16_t port = free_loopback_port();
    for (auto _ : state) {
        const std::vector<int> before = thread_ids();
        BoardReceiver board(port, 4, 2, nullptr);
        if (!board.start()) {
            state.SkipWithError("could not listen on the port");
            return;
        }
        int receiver_id = -1;
        for (int id : thread_ids()) {
            if (std::find(before.begin(), before.end(), id) == before.end()) {
                receiver_id = id;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const ThreadUsage first = thread_usage(board.receiver.thread, receiver_id);
        const auto started = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(g_idle_seconds));
        const ThreadUsage last = thread_usage(board.receiver.thread, receiver_id);
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        state.counters["seconds"] = seconds;
        state.counters["cpu_us_per_s"] = (last.cpu_seconds - first.cpu_seconds) * 1e6 / seconds;
        state.counters["wakeups_per_s"] =
            static_cast<double>(last.voluntary_switches - first.voluntary_switches) / seconds;
    }
}

void register_all() {
    benchmark::RegisterBenchmark("BM_Burst", BM_Burst)->Iterations(1)->UseRealTime();
    benchmark::RegisterBenchmark("BM_Latency", BM_Latency)->Iterations(1)->UseRealTime();
    benchmark::RegisterBenchmark("BM_Idle", BM_Idle)->Iterations(1)->UseRealTime();
}

}  // namespace

// Beside Google Benchmark's own flags: --quick (smaller counts), --burst=N, --rounds=N,
// --latency-count=N, --idle-seconds=S.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        const auto value = [&](const char* name) {
            const std::string prefix = std::string(name) + "=";
            return argument.rfind(prefix, 0) == 0 ? argument.substr(prefix.size()) : std::string();
        };
        if (argument == "--quick") {
            g_burst_size = 50000;
            g_burst_rounds = 2;
            g_latency_count = 2000;
            g_idle_seconds = 3.0;
        } else if (!value("--burst").empty()) {
            g_burst_size = std::stol(value("--burst"));
        } else if (!value("--rounds").empty()) {
            g_burst_rounds = std::stoi(value("--rounds"));
        } else if (!value("--latency-count").empty()) {
            g_latency_count = std::stoi(value("--latency-count"));
        } else if (!value("--idle-seconds").empty()) {
            g_idle_seconds = std::stod(value("--idle-seconds"));
        } else {
            std::fprintf(stderr, "receiver_bench: unknown argument %s\n", argv[k]);
            return 2;
        }
    }
    register_all();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
