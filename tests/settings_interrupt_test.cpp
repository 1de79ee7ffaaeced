// Saves of "setup.dat" cut off at random moments by SIGKILL, as a power cut or a killed board would
// cut them: the file must always be whole, the old record or the new one. POSIX only (fork).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "live/live_board.h"
#include "core/settings.h"
#include "live/settings_file.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes encoded(const BoardSettings& settings) {
    unsigned char bytes[kSettingsFileSize];
    encode_settings(settings, bytes);
    return Bytes(std::begin(bytes), std::end(bytes));
}

class InterruptedSave : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("pelivor-interrupt-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / kSettingsFile).string();
        first_ = default_settings();
        second_ = default_settings();
        second_.rows = 10;
        second_.columns = 10;
        second_.back_red = 255;
        second_.show_frame = 1;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A child that saves the two records in turn until it is killed. It waits for a byte on `go`
    // before each save, the first too, and reports "b" as the save begins and "e" as it ends, so
    // the kills can be placed by what the child has done rather than by how fast this machine
    // happens to be.
    pid_t start_saving(int report, int go) const {
        const pid_t child = fork();
        if (child == 0) {
            char byte = 0;
            for (int i = 0; i < 1000000; ++i) {
                if (read(go, &byte, 1) != 1 || write(report, "b", 1) != 1) {
                    _exit(1);
                }
                write_settings_file(path_.c_str(), i % 2 == 0 ? first_ : second_);
                if (write(report, "e", 1) != 1) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        return child;
    }

    fs::path dir_;
    std::string path_;
    BoardSettings first_;
    BoardSettings second_;
};

}  // namespace

// The next report of the saving child, or 0 if it ended.
char next_report(int report) {
    char byte = 0;
    return read(report, &byte, 1) == 1 ? byte : 0;
}

long microseconds_since(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

TEST_F(InterruptedSave, KillAtAnyMomentLeavesOneWholeRecord) {
    ASSERT_TRUE(write_settings_file(path_.c_str(), first_));
    // Kills in the middle of a save land at moments spread over as long as a save takes here (as
    // the child's own reports measure it), so they land in every step: creating the temporary
    // file, writing, syncing, renaming. Others land between saves, after a known number of them.
    long save_us = 0;
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> saves_before(0, 3);
    std::bernoulli_distribution in_a_save(0.7);

    const Bytes one = encoded(first_);
    const Bytes two = encoded(second_);
    int seen_one = 0;
    int seen_two = 0;
    int left_temporary = 0;
    constexpr int kKills = 200;
    for (int kill_number = 0; kill_number < kKills; ++kill_number) {
        const Bytes before = read_bytes(path_);
        int report[2];
        int go[2];
        ASSERT_EQ(pipe(report), 0);
        ASSERT_EQ(pipe(go), 0);
        const pid_t child = start_saving(report[1], go[0]);
        ASSERT_GT(child, 0);
        close(report[1]);
        close(go[0]);

        // Whole saves first, each timed from its report "b" to its "e".
        const int finished = saves_before(random);
        for (int save = 0; save < finished; ++save) {
            ASSERT_EQ(write(go[1], "g", 1), 1);
            ASSERT_EQ(next_report(report[0]), 'b');
            const auto began = std::chrono::steady_clock::now();
            ASSERT_EQ(next_report(report[0]), 'e');
            save_us = std::max(save_us, microseconds_since(began));
        }
        const bool cut = in_a_save(random) && save_us > 0;
        if (cut) {
            ASSERT_EQ(write(go[1], "g", 1), 1);
            ASSERT_EQ(next_report(report[0]), 'b');
            std::uniform_int_distribution<long> delay_us(0, save_us + save_us / 4);
            usleep(static_cast<useconds_t>(delay_us(random)));
        }
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself";
        close(report[0]);
        close(go[1]);

        const Bytes now = read_bytes(path_);
        ASSERT_EQ(now.size(), kSettingsFileSize) << "after kill " << kill_number;
        ASSERT_TRUE(now == one || now == two)
            << "a record mixed of both, after kill " << kill_number;
        if (!cut) {
            // Between saves: the last finished one stands (saves alternate, the first writes one).
            const Bytes& last = finished == 0 ? before : finished % 2 == 1 ? one : two;
            EXPECT_EQ(now, last) << "after kill " << kill_number;
        }
        seen_one += now == one;
        seen_two += now == two;
        left_temporary += fs::exists(dir_ / "setup.dat.new");
    }
    // Both records were on disk at some kill: the saves really ran between the kills.
    EXPECT_GT(seen_one, 0);
    EXPECT_GT(seen_two, 0);
    RecordProperty("kills_leaving_the_old_record", seen_one);
    RecordProperty("kills_leaving_the_new_record", seen_two);
    RecordProperty("kills_leaving_a_temporary_file", left_temporary);

    // A temporary file left by a killed save, cut short here, stands in the way of nothing.
    std::ofstream(dir_ / "setup.dat.new", std::ios::binary) << "\x07\x07\x07";
    LiveBoard board;
    load_settings(board, path_.c_str());
    const Bytes loaded = encoded(board.settings);
    EXPECT_TRUE(loaded == one || loaded == two);
    EXPECT_TRUE(write_settings_file(path_.c_str(), second_));
    EXPECT_EQ(read_bytes(path_), two);
    EXPECT_FALSE(fs::exists(dir_ / "setup.dat.new"));
}
