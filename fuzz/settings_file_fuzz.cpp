// libFuzzer target: any bytes as "setup.dat", loaded as the board loads it with its optional tail,
// saved again, then the grid they give put to work by the board and by the drawing arithmetic at a
// few window sizes.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "live/live_board.h"
#include "core/draw.h"

namespace fs = std::filesystem;

namespace {

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "settings invariant broken: %s\n", what);
        std::abort();
    }
}

// A directory of the fuzzer's own, in memory where the system has one: a short file makes the
// board save its defaults, and a save syncs the file to disk.
const fs::path& work_dir() {
    // Never destroyed, so the clean-up at exit can still name it.
    static const fs::path* const dir = [] {
        std::error_code error;
        const fs::path base =
            fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "pelivor-fuzz-XXXXXX").string();
        require(mkdtemp(&pattern[0]) != nullptr, "no working directory");
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(work_dir(), ignored);
        });
        return new fs::path(pattern);
    }();
    return *dir;
}

std::vector<uint8_t> read_file(const fs::path& path) {
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return bytes;
    }
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
    return bytes;
}

void write_file(const fs::path& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    require(file != nullptr, "cannot write the input file");
    require(size == 0 || std::fwrite(data, 1, size, file) == size, "short write of the input");
    std::fclose(file);
}

bool same_record(const BoardSettings& a, const BoardSettings& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every slot holds a number, as a larger grid would have left them; then an empty text and a new
// number arrive. Only the active slots may change, and the new number must end up newest.
void update_board(LiveBoard& board, int active) {
    SlotTable before{};
    for (int k = 0; k < kSlotCount; ++k) {
        std::snprintf(before.slots[k], kSlotSize, "%d", 1000 + k);
    }
    {
        std::lock_guard<std::mutex> hold(board.lock);
        board.table = before;
    }
    char empty[] = "x";
    char number[] = "57";
    const bool took_empty = receive_text(board, empty, 1);
    const bool took_number = receive_text(board, number, 2);
    const SlotTable after = copy_board(board).table;
    require(took_empty == (active > 0) && took_number == (active > 0),
            "texts taken on a board with no slots, or refused on one with some");
    require(std::memcmp(before.slots[active], after.slots[active],
                        kSlotSize * static_cast<size_t>(kSlotCount - active)) == 0,
            "a slot past the active ones was written");
    if (active > 0) {
        require(std::strcmp(after.slots[active - 1], "57") == 0,
                "the new number is not in the last active slot");
        for (int k = 0; k < active; ++k) {
            require(after.slots[k][0] != '\0', "a full board shows a gap");
        }
    }
}

void check_drawing(const BoardCopy& copy, int active, int64_t width, int64_t height) {
    const BoardLayout layout =
        board_layout(static_cast<int>(width), static_cast<int>(height), copy.settings);
    require(layout.cells >= 0 && layout.cells <= kSlotCount, "more cells than slots");
    require(layout.cells == 0 || layout.cells == active, "cells differ from the active slots");
    require(layout.background <= 0xFFFFFF && layout.text <= 0xFFFFFF, "a colour beyond 24 bits");
    if (layout.cells == 0) {
        return;
    }
    require(layout.cell_width >= 1 && layout.cell_height >= 1, "a cell under a pixel is drawn");
    require(layout.font_height >= 0 && layout.font_height <= layout.cell_height,
            "the font does not fit its cell");
    for (int k = 0; k < layout.cells; ++k) {
        const CellOrigin origin = cell_origin(layout, k);
        require(origin.x >= 0 && origin.y >= 0, "a cell left of or above the window");
        require(origin.x + static_cast<int64_t>(layout.cell_width) <= width &&
                    origin.y + static_cast<int64_t>(layout.cell_height) <= height,
                "a cell past the window's right or bottom edge");
        const char* slot = copy.table.slots[k];
        const DrawnText shown = drawn_text(copy.table.slots[k]);
        require(shown.length >= 0 && shown.length <= kMaxTextLength, "a drawn text too long");
        require(shown.text >= slot && shown.text + shown.length <= slot + kSlotSize,
                "a drawn text outside its slot");
        require(std::memchr(shown.text, '\0', static_cast<size_t>(shown.length)) == nullptr,
                "a drawn text runs over its NUL");
        require(shown.text == slot + (slot[0] == '#' ? 1 : 0), "a leading '#' is drawn");
    }
}

// The tail: taken only with the marker and all five fields, the second block only after it with
// its own marker and both fields, the third only after that with its own and its four; bounded
// for use; a save writes the file back byte for byte (up
// to the bytes kept after what was taken), and without a tail 36 bytes.
void check_tail(LiveBoard& board, const uint8_t* data, size_t size, const fs::path& path) {
    SettingsTail tail;
    Extensions on;
    {
        std::lock_guard<std::mutex> hold(board.lock);
        tail = board.tail;
        on = board.extensions;
    }
    const bool marked = size >= kTailedFileSize &&
                        std::memcmp(data + kSettingsFileSize, kTailMarker, sizeof kTailMarker) == 0;
    require(tail.present == marked, "a tail taken without its marker, or missed with it");
    const bool web_marked =
        marked && size >= kWebTailedFileSize &&
        std::memcmp(data + kTailedFileSize, kWebTailMarker, sizeof kWebTailMarker) == 0;
    require(tail.web_present == web_marked,
            "a second block taken without its marker, or missed with it");
    const bool zones_marked =
        web_marked && size >= kZonesTailedFileSize &&
        std::memcmp(data + kWebTailedFileSize, kZonesTailMarker, sizeof kZonesTailMarker) == 0;
    require(tail.zones_present == zones_marked,
            "a third block taken without its marker, or missed with it");
    require(zones_marked || (!on.zones && on.overdue_ms == 0), "zones on without their block");
    require(on.overdue_ms >= 0 && on.overdue_ms <= kMaxOverdueSeconds * int64_t{1000},
            "the overdue time beyond its bounds");
    const WebSettings web = web_settings_of(tail);
    require(web.port >= 0 && web.port <= kMaxWebPort, "a port beyond its bounds");
    require(
        web.access == StaffAccess::kPin ? web.pin >= 1 && web.pin <= kMaxStaffPin : web.pin == 0,
        "a PIN beyond its bounds");
    int32_t pin = 0;
    if (web_marked) {
        std::memcpy(&pin, data + kWebTailedFileSize - 4, sizeof pin);
    }
    require((web.access == StaffAccess::kOpen) == (pin == 0),
            "changes open with a PIN set, or closed without one");
    require(on.expire_ms >= 0 && on.expire_ms <= kMaxExpireSeconds * int64_t{1000} &&
                on.highlight_ms >= 0 && on.highlight_ms <= kMaxHighlightSeconds * int64_t{1000},
            "an extension's time beyond its bounds");
    if (!marked) {
        require(on.expire_ms == 0 && on.highlight_ms == 0 && !on.chime && !on.commands &&
                    !on.fit_text && !on.zones && !on.voice,
                "an extension on without a tail");
    }
    if (size < kSettingsFileSize) {
        return;
    }
    save_settings(board, path.c_str());
    const std::vector<uint8_t> saved = read_file(path);
    const size_t taken = zones_marked ? kZonesTailedFileSize
                         : web_marked ? kWebTailedFileSize
                                      : kTailedFileSize;
    const size_t whole = marked ? std::min(size, taken + kKeptAfterTail) : kSettingsFileSize;
    require(saved == std::vector<uint8_t>(data, data + whole), "a save changed the file's bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path path = work_dir() / kSettingsFile;
    write_file(path, data, size);

    static LiveBoard board;
    {
        std::lock_guard<std::mutex> hold(board.lock);
        board.table = SlotTable{};
        std::memset(&board.settings, 0x5A, sizeof board.settings);
    }
    load_settings(board, path.c_str());
    const BoardSettings loaded = copy_board(board).settings;

    const std::vector<uint8_t> on_disk = read_file(path);
    if (size >= kSettingsFileSize) {
        unsigned char head[kSettingsFileSize];
        std::memcpy(head, data, sizeof head);
        require(same_record(loaded, decode_settings(head)), "the file's record was not taken");
        require(on_disk == std::vector<uint8_t>(data, data + size), "a whole file was rewritten");
    } else {
        require(same_record(loaded, default_settings()), "a short file did not give the defaults");
        unsigned char defaults[kSettingsFileSize];
        encode_settings(default_settings(), defaults);
        require(on_disk == std::vector<uint8_t>(defaults, defaults + sizeof defaults),
                "a short file was not replaced by the defaults");
    }
    require(!fs::exists(work_dir() / "setup.dat.new"), "a temporary file was left behind");
    check_tail(board, data, size, path);

    const int active = active_count(loaded.rows, loaded.columns);
    require(active >= 0 && active <= kSlotCount, "an active count beyond the table");
    update_board(board, active);

    const BoardCopy copy = copy_board(board);
    const int64_t sizes[][2] = {{960, 540}, {1920, 1080}, {1, 1},         {0, 0},
                                {7, 3},     {-5, 100},    {32767, 32767}, {INT_MAX, INT_MAX}};
    for (const auto& client : sizes) {
        check_drawing(copy, active, client[0], client[1]);
    }
    // Two more fields after the record, when there are any, as one more window size.
    if (size >= kSettingsFileSize + 8) {
        int32_t client[2];
        std::memcpy(client, data + kSettingsFileSize, sizeof client);
        check_drawing(copy, active, client[0], client[1]);
    }
    return 0;
}
