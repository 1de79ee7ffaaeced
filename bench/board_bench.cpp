// What one datagram costs the board: cleaning and applying it on a full and on an empty 100-slot
// table, the locked path the receiver takes, and the copy a paint takes, each beside a plain copy
// of the 1000-byte table as the floor.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/board.h"
#include "live/live_board.h"
#include "live/receiver.h"

namespace {

constexpr int kAllSlots = kSlotCount;

// A datagram as a station sends it; consecutive ones differ, so each is accepted.
struct Datagram {
    char bytes[16];
    size_t length;
};

std::vector<Datagram> distinct_datagrams(int count) {
    std::vector<Datagram> datagrams(count);
    for (int k = 0; k < count; ++k) {
        datagrams[k].length = static_cast<size_t>(
            std::snprintf(datagrams[k].bytes, sizeof datagrams[k].bytes, "%d\r\n", 100000 + k));
    }
    return datagrams;
}

// Every slot taken, none equal to the texts the benchmarks send.
SlotTable full_table() {
    SlotTable table{};
    for (int k = 0; k < kAllSlots; ++k) {
        std::snprintf(table.slots[k], kSlotSize, "%d", 900000 + k);
    }
    return table;
}

// The receive buffer as a read leaves it: the datagram's bytes and a NUL after them.
char* as_received(char (&buffer)[kReceiveCapacity + 1], const Datagram& datagram) {
    std::memcpy(buffer, datagram.bytes, datagram.length + 1);
    return buffer;
}

void BM_TableCopyFloor(benchmark::State& state) {
    const SlotTable from = full_table();
    SlotTable to{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(&from);
        std::memcpy(&to, &from, sizeof to);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(&to);
}
BENCHMARK(BM_TableCopyFloor);

// The oldest entry dropped and every other moved up one slot, for every datagram.
void BM_AcceptFull(benchmark::State& state) {
    const std::vector<Datagram> datagrams = distinct_datagrams(1024);
    SlotTable table = full_table();
    char buffer[kReceiveCapacity + 1];
    size_t next = 0;
    for (auto _ : state) {
        const Datagram& datagram = datagrams[next++ % datagrams.size()];
        clean_text(as_received(buffer, datagram), datagram.length);
        benchmark::DoNotOptimize(accept_text(table, kAllSlots, buffer));
        benchmark::ClobberMemory();
    }
    if (table.slots[kAllSlots - 1][0] == '\0') {
        state.SkipWithError("the board did not stay full");
    }
}
BENCHMARK(BM_AcceptFull);

// The text lands in the last slot and compaction walks it down to slot 0 one place at a time.
void BM_AcceptEmpty(benchmark::State& state) {
    const std::vector<Datagram> datagrams = distinct_datagrams(1024);
    SlotTable table{};
    char buffer[kReceiveCapacity + 1];
    size_t next = 0;
    bool all_accepted = true;
    for (auto _ : state) {
        const Datagram& datagram = datagrams[next++ % datagrams.size()];
        clean_text(as_received(buffer, datagram), datagram.length);
        all_accepted &= accept_text(table, kAllSlots, buffer);
        benchmark::ClobberMemory();
        // The text ends in slot 0 and every other slot is empty: emptying slot 0 empties the board.
        table.slots[0][0] = '\0';
    }
    if (!all_accepted) {
        state.SkipWithError("a text was refused");
    }
}
BENCHMARK(BM_AcceptEmpty);

// The receiver's path: clean, then take the lock and apply with the grid as it stands.
void BM_ReceiveTextFull(benchmark::State& state) {
    const std::vector<Datagram> datagrams = distinct_datagrams(1024);
    LiveBoard board;
    board.table = full_table();
    board.settings = BoardSettings{10, 10, 0, 50, 150, 240, 240, 240, 0};
    char buffer[kReceiveCapacity + 1];
    size_t next = 0;
    for (auto _ : state) {
        const Datagram& datagram = datagrams[next++ % datagrams.size()];
        benchmark::DoNotOptimize(
            receive_text(board, as_received(buffer, datagram), datagram.length));
    }
}
BENCHMARK(BM_ReceiveTextFull);

// What a paint takes under the lock before drawing.
void BM_CopyBoard(benchmark::State& state) {
    LiveBoard board;
    board.table = full_table();
    board.settings = BoardSettings{10, 10, 0, 50, 150, 240, 240, 240, 0};
    for (auto _ : state) {
        BoardCopy copy = copy_board(board);
        benchmark::DoNotOptimize(&copy);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyBoard);

}  // namespace

BENCHMARK_MAIN();
