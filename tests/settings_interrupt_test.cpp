// Saves of "setup.dat" cut off at random moments by SIGKILL, as a power cut or a killed board would
// cut them: the file must always be whole, the old record or the new one. POSIX only (fork).
#include <gtest/gtest.h>

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

#include "board/live_board.h"
#include "settings/settings.h"

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

    // A child that saves the two records in turn until it is killed.
    pid_t start_saving() const {
        const pid_t child = fork();
        if (child == 0) {
            for (int i = 0; i < 1000000; ++i) {
                write_settings_file(path_.c_str(), first_);
                write_settings_file(path_.c_str(), second_);
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

TEST_F(InterruptedSave, KillAtAnyMomentLeavesOneWholeRecord) {
    ASSERT_TRUE(write_settings_file(path_.c_str(), first_));
    // Kill moments spread over a few save pairs as long as they take on this disk, so they land
    // in every step: creating the temporary file, writing, syncing, renaming.
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        write_settings_file(path_.c_str(), second_);
        write_settings_file(path_.c_str(), first_);
    }
    const auto pair_us = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count() /
                         5;
    std::mt19937 random(20261208);
    std::uniform_int_distribution<long> delay_us(0, 3 * pair_us + 200);

    const Bytes one = encoded(first_);
    const Bytes two = encoded(second_);
    int seen_one = 0;
    int seen_two = 0;
    int left_temporary = 0;
    constexpr int kKills = 200;
    for (int kill_number = 0; kill_number < kKills; ++kill_number) {
        const pid_t child = start_saving();
        ASSERT_GT(child, 0);
        usleep(static_cast<useconds_t>(delay_us(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself";

        const Bytes now = read_bytes(path_);
        ASSERT_EQ(now.size(), kSettingsFileSize) << "after kill " << kill_number;
        ASSERT_TRUE(now == one || now == two)
            << "a record mixed of both, after kill " << kill_number;
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
