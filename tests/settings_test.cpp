// "setup.dat" on disk: defaults byte for byte, the short-file and long-file rules, values kept as
// loaded, saves that never leave a broken file, and the dialog's reductions.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "live/live_board.h"
#include "core/settings.h"
#include "live/settings_file.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kDefaultBytes = {0x04, 0, 0, 0, 0x02, 0, 0, 0, 0x00, 0, 0, 0,
                             0x32, 0, 0, 0, 0x96, 0, 0, 0, 0xF0, 0, 0, 0,
                             0xF0, 0, 0, 0, 0xF0, 0, 0, 0, 0x00, 0, 0, 0};

Bytes read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Every test works in a fresh directory of its own, on the real file name "setup.dat".
class SettingsFile : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("pelivor-") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            out.push_back(entry.path().filename().string());
        }
        return out;
    }
    LiveBoard board_;
    fs::path dir_;
    fs::path previous_;
};

bool same(const BoardSettings& a, const BoardSettings& b) {
    unsigned char x[kSettingsFileSize];
    unsigned char y[kSettingsFileSize];
    encode_settings(a, x);
    encode_settings(b, y);
    return std::equal(std::begin(x), std::end(x), std::begin(y));
}

}  // namespace

TEST_F(SettingsFile, MissingFileIsCreatedWithTheDefaults) {
    load_settings(board_);
    EXPECT_TRUE(same(board_.settings, default_settings()));
    EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes);
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
}

TEST_F(SettingsFile, ShortFileIsReplacedByTheDefaults) {
    for (size_t size : {0, 1, 35}) {
        write_bytes("setup.dat", Bytes(size, 0x07));
        board_.settings.rows = 99;
        load_settings(board_);
        EXPECT_TRUE(same(board_.settings, default_settings())) << size;
        EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes) << size;
    }
}

TEST_F(SettingsFile, LongFileIsReadAndLeftAsItIs) {
    Bytes bytes(40, 0);
    bytes[0] = 3;
    bytes[4] = 5;
    bytes[36] = 0xAB;
    write_bytes("setup.dat", bytes);
    load_settings(board_);
    EXPECT_EQ(board_.settings.rows, 3);
    EXPECT_EQ(board_.settings.columns, 5);
    EXPECT_EQ(read_bytes("setup.dat"), bytes);
}

TEST_F(SettingsFile, ValuesAreKeptAsLoaded) {
    BoardSettings odd{};
    odd.rows = -3;
    odd.columns = 1000;
    odd.back_red = 356;
    odd.back_green = INT32_MIN;
    odd.text_blue = INT32_MAX;
    odd.show_frame = 7;
    ASSERT_TRUE(write_settings_file("setup.dat", odd));
    const Bytes bytes = read_bytes("setup.dat");
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(bytes[0], 0xFD);  // -3, little-endian two's complement
    EXPECT_EQ(bytes[3], 0xFF);
    EXPECT_EQ(bytes[8], 0x64);  // 356 = 0x164
    EXPECT_EQ(bytes[9], 0x01);
    EXPECT_EQ(bytes[15], 0x80);  // INT32_MIN
    load_settings(board_);
    EXPECT_TRUE(same(board_.settings, odd));
    EXPECT_EQ(read_bytes("setup.dat"), bytes);
}

TEST_F(SettingsFile, SaveWritesTheLiveRecordAndLeavesNothingElse) {
    load_settings(board_);
    BoardSettings changed = default_settings();
    changed.rows = 1;
    changed.columns = 3;
    changed.show_frame = 1;
    store_settings(board_, changed);
    EXPECT_TRUE(same(board_.settings, changed));
    Bytes expected = kDefaultBytes;
    expected[0] = 1;
    expected[4] = 3;
    expected[32] = 1;
    EXPECT_EQ(read_bytes("setup.dat"), expected);
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
}

TEST_F(SettingsFile, FailedSaveKeepsTheOldFileAndTheLiveRecord) {
    load_settings(board_);
    // The temporary file cannot be created: a directory stands in its place.
    fs::create_directory("setup.dat.new");
    BoardSettings changed = default_settings();
    changed.rows = 9;
    store_settings(board_, changed);
    EXPECT_EQ(board_.settings.rows, 9);
    EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes);
    EXPECT_FALSE(write_settings_file("setup.dat", changed));

    // Nowhere to write at all: the defaults still hold in memory.
    fs::current_path(dir_ / "setup.dat.new");
    fs::create_directory("setup.dat");
    fs::create_directory("setup.dat.new");
    load_settings(board_);
    EXPECT_TRUE(same(board_.settings, default_settings()));
}

TEST_F(SettingsFile, SaveReplacesAnExistingFile) {
    write_bytes("setup.dat", Bytes(50, 0x11));
    EXPECT_TRUE(write_settings_file("setup.dat", default_settings()));
    EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes);
}

#ifndef _WIN32
namespace {

constexpr uid_t kNobody = 65534;

// Runs `step` in a child that has dropped root, as the board runs in a shop: mode bits bind it.
// The child's answer comes back through its exit status.
template <typename Step>
bool as_unprivileged(Step step) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
            _exit(2);
        }
        _exit(step() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2) << "could not drop privileges";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

mode_t mode_of(const char* path) {
    struct stat found {};
    EXPECT_EQ(lstat(path, &found), 0) << path;
    return found.st_mode & 07777;
}

// A file of the unprivileged user's, with this mode.
void owned_file(const char* path, const Bytes& bytes, mode_t mode) {
    write_bytes(path, bytes);
    ASSERT_EQ(chown(path, kNobody, kNobody), 0);
    ASSERT_EQ(chmod(path, mode), 0);
}

BoardSettings changed_settings() {
    BoardSettings changed = default_settings();
    changed.rows = 7;
    changed.back_red = 200;
    return changed;
}

Bytes changed_bytes() {
    unsigned char bytes[kSettingsFileSize];
    encode_settings(changed_settings(), bytes);
    return Bytes(std::begin(bytes), std::end(bytes));
}

}  // namespace

TEST_F(SettingsFile, ReadOnlyFileIsNeverReplaced) {
    fs::permissions(dir_, fs::perms::all);
    owned_file("setup.dat", kDefaultBytes, 0444);
    EXPECT_FALSE(
        as_unprivileged([] { return write_settings_file("setup.dat", changed_settings()); }));
    EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes);
    EXPECT_EQ(mode_of("setup.dat"), 0444u);
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
}

TEST_F(SettingsFile, DirectoryRefusingNewFilesStillSavesAWritableFile) {
    owned_file("setup.dat", Bytes(40, 0x11), 0644);
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    EXPECT_TRUE(
        as_unprivileged([] { return write_settings_file("setup.dat", changed_settings()); }));
    EXPECT_EQ(read_bytes("setup.dat"), changed_bytes());
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
    // No file at all, and none may be made: nothing is written, nothing breaks.
    fs::remove("setup.dat");
    EXPECT_FALSE(
        as_unprivileged([] { return write_settings_file("setup.dat", changed_settings()); }));
}

TEST_F(SettingsFile, ReplacedFileKeepsTheModeTheUmaskWouldNarrow) {
    // A group that shares the board's file keeps its right to write it.
    fs::permissions(dir_, fs::perms::all);
    owned_file("setup.dat", kDefaultBytes, 0664);
    EXPECT_TRUE(as_unprivileged([] {
        umask(022);
        return write_settings_file("setup.dat", changed_settings());
    }));
    EXPECT_EQ(read_bytes("setup.dat"), changed_bytes());
    EXPECT_EQ(mode_of("setup.dat"), 0664u);
}

TEST_F(SettingsFile, ASaveThatCannotWriteLeavesTheOldRecordWhole) {
    // A full disk, as a file size limit of 0 makes one: nothing is cut before the new bytes are
    // down, by a rename or by the plain write that a file with a second name gets.
    write_bytes("setup.dat", kDefaultBytes);
    for (const bool second_name : {false, true}) {
        if (second_name) {
            ASSERT_EQ(link("setup.dat", "other.dat"), 0);
        }
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit none{0, 0};
            _exit(setrlimit(RLIMIT_FSIZE, &none) == 0 &&
                          !write_settings_file("setup.dat", changed_settings())
                      ? 0
                      : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << second_name;
        EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes) << second_name;
    }
}

TEST_F(SettingsFile, LeftoverTemporaryFileNeitherBlocksNorLendsItsMode) {
    fs::permissions(dir_, fs::perms::all);
    owned_file("setup.dat", kDefaultBytes, 0640);
    // Left by someone else, read-only: it cannot be opened, only removed.
    write_bytes("setup.dat.new", Bytes(3, 0x07));
    ASSERT_EQ(chmod("setup.dat.new", 0444), 0);
    EXPECT_TRUE(
        as_unprivileged([] { return write_settings_file("setup.dat", changed_settings()); }));
    EXPECT_EQ(read_bytes("setup.dat"), changed_bytes());
    EXPECT_EQ(mode_of("setup.dat"), 0640u);
    // The user's own leftover, wide open: its mode stays out of the saved file.
    owned_file("setup.dat.new", Bytes(50, 0x07), 0666);
    EXPECT_TRUE(
        as_unprivileged([] { return write_settings_file("setup.dat", default_settings()); }));
    EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes);
    EXPECT_EQ(mode_of("setup.dat"), 0640u);
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
    // Someone else's, writable by all, in a sticky folder: it cannot be removed, and the save
    // must not write into it, only into "setup.dat" itself.
    fs::permissions(dir_, fs::perms::all | fs::perms::sticky_bit);
    const Bytes theirs(5, 0x5A);
    write_bytes("setup.dat.new", theirs);
    ASSERT_EQ(chmod("setup.dat.new", 0666), 0);
    EXPECT_TRUE(
        as_unprivileged([] { return write_settings_file("setup.dat", changed_settings()); }));
    EXPECT_EQ(read_bytes("setup.dat"), changed_bytes());
    EXPECT_EQ(read_bytes("setup.dat.new"), theirs);
}

TEST_F(SettingsFile, TemporaryNameNeverFollowsALink) {
    const fs::path elsewhere = dir_.string() + "-elsewhere";
    fs::create_directories(elsewhere);
    const Bytes precious = {'k', 'e', 'e', 'p'};
    write_bytes(elsewhere / "precious", precious);
    write_bytes("setup.dat", kDefaultBytes);
    for (const fs::path& target : {elsewhere / "precious", elsewhere / "absent"}) {
        fs::create_symlink(target, "setup.dat.new");
        EXPECT_TRUE(write_settings_file("setup.dat", changed_settings())) << target;
        EXPECT_EQ(read_bytes("setup.dat"), changed_bytes()) << target;
        EXPECT_FALSE(fs::is_symlink("setup.dat")) << target;
        EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"}) << target;
    }
    EXPECT_EQ(read_bytes(elsewhere / "precious"), precious);
    EXPECT_FALSE(fs::exists(elsewhere / "absent"));
    fs::remove_all(elsewhere);
}

TEST_F(SettingsFile, LinkedFileIsWrittenThrough) {
    const fs::path elsewhere = dir_.string() + "-elsewhere";
    fs::remove_all(elsewhere);  // left by a run that stopped half-way
    fs::create_directories(elsewhere);
    write_bytes(elsewhere / "real.dat", kDefaultBytes);
    fs::create_hard_link(elsewhere / "real.dat", elsewhere / "other.dat");
    fs::create_symlink(elsewhere / "real.dat", "setup.dat");
    EXPECT_TRUE(write_settings_file("setup.dat", changed_settings()));
    EXPECT_TRUE(fs::is_symlink("setup.dat"));
    EXPECT_EQ(read_bytes(elsewhere / "real.dat"), changed_bytes());
    EXPECT_EQ(read_bytes(elsewhere / "other.dat"), changed_bytes());
    // A hard-linked "setup.dat" of its own: its other name sees the save too.
    fs::remove("setup.dat");
    fs::create_hard_link(elsewhere / "real.dat", "setup.dat");
    EXPECT_TRUE(write_settings_file("setup.dat", default_settings()));
    EXPECT_EQ(read_bytes(elsewhere / "other.dat"), kDefaultBytes);
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
    // Exactly two names.
    fs::remove(elsewhere / "real.dat");
    ASSERT_EQ(fs::hard_link_count("setup.dat"), 2u);
    EXPECT_TRUE(write_settings_file("setup.dat", changed_settings()));
    EXPECT_EQ(read_bytes(elsewhere / "other.dat"), changed_bytes());
    fs::remove_all(elsewhere);
}

TEST_F(SettingsFile, FileBehindASymbolicLinkIsReplacedWholeInItsOwnFolder) {
    const fs::path elsewhere = dir_.string() + "-elsewhere";
    fs::remove_all(elsewhere);
    fs::create_directories(elsewhere / "deeper");
    const fs::path real = elsewhere / "deeper" / "real.dat";
    owned_file(real.c_str(), kDefaultBytes, 0604);
    // A chain of two links, one of them relative.
    fs::create_symlink("deeper/real.dat", elsewhere / "hop");
    fs::create_symlink(elsewhere / "hop", "setup.dat");
    struct stat before {};
    ASSERT_EQ(stat(real.c_str(), &before), 0);
    EXPECT_TRUE(write_settings_file("setup.dat", changed_settings()));
    EXPECT_EQ(read_bytes(real), changed_bytes());
    struct stat after {};
    ASSERT_EQ(stat(real.c_str(), &after), 0);
    // A new file took the old one's place in one step (written in place, a full disk or a kill
    // would have left it cut), with the old one's mode and owner; both links stay links.
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0604u);
    EXPECT_EQ(after.st_uid, kNobody);
    EXPECT_TRUE(fs::is_symlink("setup.dat"));
    EXPECT_TRUE(fs::is_symlink(elsewhere / "hop"));
    EXPECT_FALSE(fs::exists(elsewhere / "deeper" / "real.dat.new"));
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
    // A link to nothing gets no file made for it, by a save or by the defaults at start-up.
    fs::remove(real);
    EXPECT_FALSE(write_settings_file("setup.dat", changed_settings()));
    load_settings(board_);
    EXPECT_TRUE(same(board_.settings, default_settings()));
    EXPECT_FALSE(fs::exists(real));
    EXPECT_TRUE(fs::is_symlink("setup.dat"));
    fs::remove_all(elsewhere);
}

TEST_F(SettingsFile, WhatIsNoPlainFileIsNeitherWaitedOnNorWritten) {
    // A FIFO with no writer would hold a blocking open for ever; a device would be read as
    // settings.
    ASSERT_EQ(mkfifo("setup.dat", 0666), 0);
    const pid_t child = fork();
    if (child == 0) {
        alarm(30);  // a load held by the FIFO ends here, reported below, not at ctest's limit
        LiveBoard board;
        board.settings.rows = 99;
        load_settings(board);
        _exit(same(board.settings, default_settings()) &&
                      !write_settings_file("setup.dat", changed_settings())
                  ? 0
                  : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "held by the FIFO";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(fs::is_fifo("setup.dat"));
    fs::remove("setup.dat");

    fs::create_symlink("/dev/zero", "setup.dat");
    load_settings(board_);
    EXPECT_TRUE(same(board_.settings, default_settings()));
    BoardSettings read{};
    EXPECT_FALSE(read_settings_file("setup.dat", &read));
    EXPECT_TRUE(fs::is_symlink("setup.dat"));
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
}

TEST_F(SettingsFile, UnreadableFileGivesTheDefaults) {
    fs::permissions(dir_, fs::perms::all);
    owned_file("setup.dat", changed_bytes(), 0200);
    EXPECT_TRUE(as_unprivileged([] {
        LiveBoard board;
        load_settings(board);
        return same(board.settings, default_settings());
    }));
}
#endif

#ifdef _WIN32
namespace {

DWORD attributes_of(const char* path) {
    return GetFileAttributesA(path) &
           (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

BoardSettings changed_settings() {
    BoardSettings changed = default_settings();
    changed.rows = 7;
    return changed;
}

Bytes changed_bytes() {
    unsigned char bytes[kSettingsFileSize];
    encode_settings(changed_settings(), bytes);
    return Bytes(std::begin(bytes), std::end(bytes));
}

DWORD names_of(const char* path) {
    const HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return info.nNumberOfLinks;
}

// Whether a new file can be made in the current folder. Each probe has a name of its own: one made
// just as the folder turns immutable outlives its close, and would refuse every later probe.
int probes_made = 0;

bool can_create() {
    const std::string path = "probe" + std::to_string(++probes_made);
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    return file != INVALID_HANDLE_VALUE && CloseHandle(file) != 0;
}

void remove_probes() {
    for (int i = 1; i <= probes_made; ++i) {
        DeleteFileA(("probe" + std::to_string(i)).c_str());
    }
}

// The Unix name of a folder under Wine; empty elsewhere.
std::string unix_name(const fs::path& path) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto get = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    char* const name = get != nullptr ? get(path.wstring().c_str()) : nullptr;
    const std::string out = name != nullptr ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

// A folder that refuses new files, made on Windows with an access list, Wine (no access lists,
// run as root here) can only make on the Unix side; it starts a Unix program as it would a
// Windows one, without a way to wait for it, so the effect is waited for, and on a busy machine
// where it has not shown in time the program is started once more.
template <typename Done>
bool run_unix(std::string command, Done done) {
    for (int attempt = 0; attempt < 3 && !done(); ++attempt) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process) == 0) {
            return false;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (int i = 0; i < 400 && !done(); ++i) {
            Sleep(25);
        }
    }
    return done();
}

}  // namespace

TEST_F(SettingsFile, LinkOrSecondNameIsReplacedByAPlainFile) {
    // Another user's hard link beside the board: the save parts the names, the other keeps its
    // bytes.
    write_bytes("setup.dat", kDefaultBytes);
    ASSERT_TRUE(CreateHardLinkA("other.dat", "setup.dat", nullptr));
    ASSERT_EQ(names_of("setup.dat"), 2u);
    EXPECT_TRUE(write_settings_file("setup.dat", changed_settings()));
    EXPECT_EQ(read_bytes("setup.dat"), changed_bytes());
    EXPECT_EQ(read_bytes("other.dat"), kDefaultBytes);
    EXPECT_EQ(names_of("setup.dat"), 1u);
    EXPECT_EQ(names_of("other.dat"), 1u);

    // What Wine cannot make, a reparse point, judged from what its handle reports.
    constexpr uint32_t kPlain = FILE_ATTRIBUTE_ARCHIVE;
    constexpr uint32_t kLink = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_EQ(judge_old_file(kPlain, 1, false), OldFile::kReplaceable);
    EXPECT_EQ(judge_old_file(kLink, 1, false), OldFile::kShared);
    EXPECT_EQ(judge_old_file(kPlain, 2, false), OldFile::kShared);
    EXPECT_EQ(judge_old_file(kPlain, 1, true), OldFile::kShared);
    EXPECT_EQ(judge_old_file(kLink | FILE_ATTRIBUTE_DIRECTORY, 1, false), OldFile::kRefused);
    EXPECT_EQ(judge_old_file(kPlain | FILE_ATTRIBUTE_READONLY, 2, false), OldFile::kRefused);
}

TEST_F(SettingsFile, FolderRefusingNewFilesStillSavesAWritableFile) {
    write_bytes("setup.dat", Bytes(40, 0x11));
    const std::string folder = unix_name(dir_);
    if (folder.empty() || !run_unix("/usr/bin/chattr +i " + folder, [] { return !can_create(); })) {
        run_unix("/usr/bin/chattr -i " + folder, [] { return true; });
        GTEST_SKIP() << "the folder cannot be made to refuse new files here";
    }
    const bool saved = write_settings_file("setup.dat", changed_settings());
    ASSERT_TRUE(run_unix("/usr/bin/chattr -i " + folder, [] { return can_create(); }));
    remove_probes();
    EXPECT_TRUE(saved);
    EXPECT_EQ(read_bytes("setup.dat"), changed_bytes());
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
}

TEST_F(SettingsFile, ReadOnlyAttributeIsNeverReplaced) {
    write_bytes("setup.dat", kDefaultBytes);
    ASSERT_TRUE(SetFileAttributesA("setup.dat", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(write_settings_file("setup.dat", changed_settings()));
    EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes);
    EXPECT_EQ(attributes_of("setup.dat"), DWORD{FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(names(), std::vector<std::string>{"setup.dat"});
    SetFileAttributesA("setup.dat", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SettingsFile, SaveKeepsTheAttributesOfTheFileNotOfALeftover) {
    write_bytes("setup.dat", kDefaultBytes);
    ASSERT_TRUE(SetFileAttributesA("setup.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_TRUE(write_settings_file("setup.dat", changed_settings()));
    EXPECT_EQ(attributes_of("setup.dat"), DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
    unsigned char expected[kSettingsFileSize];
    encode_settings(changed_settings(), expected);
    EXPECT_EQ(read_bytes("setup.dat"), Bytes(std::begin(expected), std::end(expected)));

    // A read-only leftover of a killed save neither blocks the next one nor lends its attribute.
    ASSERT_TRUE(SetFileAttributesA("setup.dat", FILE_ATTRIBUTE_NORMAL));
    write_bytes("setup.dat.new", Bytes(3, 0x07));
    ASSERT_TRUE(SetFileAttributesA("setup.dat.new", FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(write_settings_file("setup.dat", default_settings()));
    EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes);
    EXPECT_EQ(attributes_of("setup.dat"), DWORD{0});
    SetFileAttributesA("setup.dat.new", FILE_ATTRIBUTE_NORMAL);
}
#endif

TEST(SettingsRecord, EncodeDecodeRoundTrip) {
    BoardSettings s{};
    s.rows = INT32_MIN;
    s.columns = -1;
    s.back_red = 0x01020304;
    s.text_green = INT32_MAX;
    s.show_frame = 1;
    unsigned char bytes[kSettingsFileSize];
    encode_settings(s, bytes);
    EXPECT_EQ(bytes[8], 0x04);
    EXPECT_EQ(bytes[11], 0x01);
    EXPECT_TRUE(same(decode_settings(bytes), s));
}

TEST(DialogReductions, GridEntriesKeepTheRemainderOfEleven) {
    EXPECT_EQ(reduce_grid_entry(4), 4);
    EXPECT_EQ(reduce_grid_entry(2), 2);
    EXPECT_EQ(reduce_grid_entry(12), 1);
    EXPECT_EQ(reduce_grid_entry(25), 3);
    EXPECT_EQ(reduce_grid_entry(10), 10);
    EXPECT_EQ(reduce_grid_entry(0), 0);
    EXPECT_EQ(reduce_grid_entry(11), 0);
    EXPECT_EQ(reduce_grid_entry(22), 0);
    EXPECT_EQ(reduce_grid_entry(4294967295u), 3);  // above INT32_MAX, still 0..10
}

TEST(DialogReductions, ColourEntriesKeepTheirLowEightBits) {
    EXPECT_EQ(reduce_colour_entry(0), 0);
    EXPECT_EQ(reduce_colour_entry(255), 255);
    EXPECT_EQ(reduce_colour_entry(256), 0);
    EXPECT_EQ(reduce_colour_entry(300), 44);
    EXPECT_EQ(reduce_colour_entry(4294967295u), 255);
}

namespace {

Bytes tail_bytes(int32_t expire, int32_t highlight, int32_t chime, int32_t commands, int32_t fit) {
    Bytes out = kDefaultBytes;
    out.insert(out.end(), {'P', 'V', 'X', '1'});
    for (int32_t v : {expire, highlight, chime, commands, fit}) {
        for (int b = 0; b < 4; ++b) {
            out.push_back(static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * b)));
        }
    }
    return out;
}

// A block after `first`: its marker and fields.
Bytes block_bytes(Bytes first, const char (&marker)[5], std::initializer_list<int32_t> fields) {
    first.insert(first.end(), marker, marker + 4);
    for (int32_t v : fields) {
        for (int b = 0; b < 4; ++b) {
            first.push_back(static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * b)));
        }
    }
    return first;
}

Bytes web_bytes(Bytes first, const char (&marker)[5], int32_t port, int32_t pin) {
    first.insert(first.end(), marker, marker + 4);
    for (int32_t v : {port, pin}) {
        for (int b = 0; b < 4; ++b) {
            first.push_back(static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * b)));
        }
    }
    return first;
}

}  // namespace

TEST_F(SettingsFile, ShortAndMarkerlessFilesKeepEveryExtensionOff) {
    load_settings(board_);  // 36 bytes of defaults
    EXPECT_FALSE(board_.tail.present);
    store_settings(board_, default_settings());
    EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes);
    store_extensions(board_, ExtensionFields{});  // the second dialog's OK with nothing on
    EXPECT_EQ(read_bytes("setup.dat"), kDefaultBytes);

    // 60 bytes whose bytes 36-39 are not the marker, and the marker with its fields cut short.
    Bytes markerless = kDefaultBytes;
    markerless.insert(markerless.end(), 24, 0x01);
    Bytes cut = tail_bytes(5, 5, 1, 1, 1);
    cut.pop_back();
    // The marker's last byte matters as much as the others.
    Bytes other_version = tail_bytes(5, 5, 1, 1, 1);
    other_version[39] = '9';
    for (const Bytes& bytes : {markerless, cut, other_version}) {
        write_bytes("setup.dat", bytes);
        load_settings(board_);
        EXPECT_FALSE(board_.tail.present) << bytes.size();
        const Extensions on = board_.extensions;
        EXPECT_TRUE(on.expire_ms == 0 && on.highlight_ms == 0 && !on.chime && !on.commands &&
                    !on.fit_text);
        EXPECT_EQ(read_bytes("setup.dat"), bytes);
    }
}

TEST_F(SettingsFile, TailIsReadWithBoundsAndWrittenBackAsItWas) {
    Bytes bytes = tail_bytes(-5, 100000, 7, -1, 0);
    bytes.insert(bytes.end(), {0xDE, 0xAD, 0x00, 0xBE});
    write_bytes("setup.dat", bytes);
    load_settings(board_);
    ASSERT_TRUE(board_.tail.present);
    EXPECT_EQ(board_.tail.fields.expire_seconds, -5);
    EXPECT_EQ(board_.extensions.expire_ms, 0);  // negative: never
    EXPECT_EQ(board_.extensions.highlight_ms, 3600 * 1000);
    EXPECT_TRUE(board_.extensions.chime);
    EXPECT_TRUE(board_.extensions.commands);
    EXPECT_FALSE(board_.extensions.fit_text);

    // A change in the first dialog keeps the tail and what follows it, byte for byte.
    BoardSettings changed = default_settings();
    changed.rows = 2;
    store_settings(board_, changed);
    Bytes expected = bytes;
    expected[0] = 2;
    EXPECT_EQ(read_bytes("setup.dat"), expected);

    ExtensionFields fields = board_.tail.fields;
    fields.fit_text = 1;
    store_extensions(board_, fields);
    expected[56] = 1;
    EXPECT_EQ(read_bytes("setup.dat"), expected);
    EXPECT_TRUE(board_.extensions.fit_text);

    // Exactly as many bytes after the tail as are kept: every one comes back.
    Bytes longest = tail_bytes(0, 0, 0, 0, 1);
    for (size_t i = 0; i < kKeptAfterTail; ++i) {
        longest.push_back(static_cast<unsigned char>(i * 7 + 1));
    }
    write_bytes("setup.dat", longest);
    load_settings(board_);
    store_settings(board_, default_settings());
    EXPECT_EQ(read_bytes("setup.dat"), longest);
}

TEST_F(SettingsFile, SwitchingOneOnAddsTheTailAndItStaysWhenSwitchedOff) {
    load_settings(board_);
    store_extensions(board_, ExtensionFields{120, 0, 0, 0, 0});
    EXPECT_EQ(read_bytes("setup.dat"), tail_bytes(120, 0, 0, 0, 0));
    store_extensions(board_, ExtensionFields{});
    EXPECT_EQ(read_bytes("setup.dat"), tail_bytes(0, 0, 0, 0, 0));
    LiveBoard fresh;
    load_settings(fresh);
    EXPECT_TRUE(fresh.tail.present);
    EXPECT_EQ(fresh.extensions.expire_ms, 0);
}

TEST_F(SettingsFile, BoundsOfTheTailFields) {
    struct Case {
        int32_t expire, highlight;
        int64_t want_expire_ms, want_highlight_ms;
    };
    const Case cases[] = {{0, 0, 0, 0},
                          {1, 1, 1000, 1000},
                          {86400, 3600, 86400000, 3600000},
                          {86401, 3601, 86400000, 3600000},
                          {INT32_MAX, INT32_MAX, 86400000, 3600000},
                          {INT32_MIN, INT32_MIN, 0, 0}};
    for (const Case& c : cases) {
        SettingsTail tail{true, {c.expire, c.highlight, 0, INT32_MIN, 1}, {}};
        const Extensions on = extensions_of(tail);
        EXPECT_EQ(on.expire_ms, c.want_expire_ms) << c.expire;
        EXPECT_EQ(on.highlight_ms, c.want_highlight_ms) << c.highlight;
        EXPECT_FALSE(on.chime);
        EXPECT_TRUE(on.commands);
        EXPECT_TRUE(on.fit_text);
        tail.present = false;
        EXPECT_EQ(extensions_of(tail).expire_ms, 0);
    }
}

// The second block is taken only with its marker and both fields after a first tail; anything else
// there stays kept bytes, written back as they were, and the web side off.
TEST_F(SettingsFile, WebBlockOnlyWithItsMarkerAndAddedOnlyWhenSwitchedOn) {
    const Bytes first = tail_bytes(60, 0, 1, 0, 0);
    Bytes cut = web_bytes(first, "PVX2", 8080, 1234);
    cut.pop_back();
    const Bytes cases[] = {web_bytes(first, "PVX3", 8080, 1234), web_bytes(first, "pvx2", 80, 0),
                           cut, web_bytes(kDefaultBytes, "PVX2", 8080, 0)};
    for (const Bytes& bytes : cases) {
        write_bytes("setup.dat", bytes);
        load_settings(board_);
        EXPECT_FALSE(board_.tail.web_present) << bytes.size();
        EXPECT_EQ(web_settings_of(board_.tail).port, 0);
        EXPECT_EQ(read_bytes("setup.dat"), bytes);
        if (board_.tail.present) {  // without a first tail, a save writes the 36 bytes alone
            store_settings(board_, default_settings());
            EXPECT_EQ(read_bytes("setup.dat"), bytes);
        }
    }

    // A first tail alone stays 60 bytes through the dialog's OK until the port or PIN is set,
    // and the second block then stays when both are 0 again.
    write_bytes("setup.dat", first);
    load_settings(board_);
    ExtensionFields fields = board_.tail.fields;
    fields.chime = 0;
    store_extensions(board_, fields);
    EXPECT_EQ(read_bytes("setup.dat"), tail_bytes(60, 0, 0, 0, 0));
    fields.web_port = 8080;
    store_extensions(board_, fields);
    EXPECT_EQ(read_bytes("setup.dat"), web_bytes(tail_bytes(60, 0, 0, 0, 0), "PVX2", 8080, 0));
    fields.web_port = 0;
    store_extensions(board_, fields);
    EXPECT_EQ(read_bytes("setup.dat"), web_bytes(tail_bytes(60, 0, 0, 0, 0), "PVX2", 0, 0));

    // From 36 bytes, the PIN alone brings both blocks, the first all 0.
    write_bytes("setup.dat", kDefaultBytes);
    load_settings(board_);
    ExtensionFields pin_only{};
    pin_only.staff_pin = 4321;
    store_extensions(board_, pin_only);
    EXPECT_EQ(read_bytes("setup.dat"), web_bytes(tail_bytes(0, 0, 0, 0, 0), "PVX2", 0, 4321));

    // Kept bytes after a first tail alone follow the block switched on in front of them.
    Bytes kept = first;
    kept.insert(kept.end(), {'x', 'y'});
    write_bytes("setup.dat", kept);
    load_settings(board_);
    fields = board_.tail.fields;
    fields.web_port = 80;
    store_extensions(board_, fields);
    Bytes expected = web_bytes(first, "PVX2", 80, 0);
    expected.insert(expected.end(), {'x', 'y'});
    EXPECT_EQ(read_bytes("setup.dat"), expected);
}

TEST_F(SettingsFile, WebBlockIsKeptAsHeldAndWrittenBackWithWhatFollows) {
    Bytes bytes = web_bytes(tail_bytes(0, 0, 0, 0, 1), "PVX2", 70000, -1);
    bytes.insert(bytes.end(), {'P', 'V', 'X', '3', 0});
    write_bytes("setup.dat", bytes);
    load_settings(board_);
    ASSERT_TRUE(board_.tail.web_present);
    EXPECT_EQ(board_.tail.fields.web_port, 70000);
    EXPECT_EQ(board_.tail.fields.staff_pin, -1);
    EXPECT_EQ(board_.tail.kept, (Bytes{'P', 'V', 'X', '3', 0}));
    store_settings(board_, default_settings());
    EXPECT_EQ(read_bytes("setup.dat"), bytes);

    ExtensionFields fields = board_.tail.fields;
    fields.web_port = 8080;
    store_extensions(board_, fields);
    bytes[64] = 0x90;  // 8080 = 0x1F90
    bytes[65] = 0x1F;
    bytes[66] = 0;
    EXPECT_EQ(read_bytes("setup.dat"), bytes);

    // As many bytes after the second block as are kept: every one comes back.
    Bytes longest = web_bytes(tail_bytes(0, 0, 0, 0, 0), "PVX2", 80, 0);
    for (size_t i = 0; i < kKeptAfterTail; ++i) {
        longest.push_back(static_cast<unsigned char>(i * 5 + 3));
    }
    write_bytes("setup.dat", longest);
    load_settings(board_);
    store_settings(board_, default_settings());
    EXPECT_EQ(read_bytes("setup.dat"), longest);
}

// The third block is taken only with its marker and its four fields after the second; anything
// else there stays kept bytes and the zones off. It is written once one of its fields is set.
TEST_F(SettingsFile, ZonesBlockOnlyAfterTheWebBlockAndAddedOnlyWhenSwitchedOn) {
    const Bytes first = tail_bytes(60, 0, 1, 0, 0);
    const Bytes second = web_bytes(first, "PVX2", 8080, 0);
    Bytes cut = block_bytes(second, "PVX3", {1, 30, 0, 0});
    cut.pop_back();
    const Bytes cases[] = {block_bytes(first, "PVX3", {1, 30, 0, 0}),
                           block_bytes(second, "pvx3", {1, 30, 0, 0}), cut};
    for (const Bytes& bytes : cases) {
        write_bytes("setup.dat", bytes);
        load_settings(board_);
        EXPECT_FALSE(board_.tail.zones_present) << bytes.size();
        EXPECT_FALSE(board_.extensions.zones);
        store_settings(board_, default_settings());
        EXPECT_EQ(read_bytes("setup.dat"), bytes);
    }

    const Bytes whole = block_bytes(second, "PVX3", {7, 99999, -3, 42});
    write_bytes("setup.dat", whole);
    load_settings(board_);
    EXPECT_TRUE(board_.extensions.zones);
    EXPECT_EQ(board_.extensions.overdue_ms, kMaxOverdueSeconds * 1000);
    store_settings(board_, default_settings());
    EXPECT_EQ(read_bytes("setup.dat"), whole);  // the voice's and the later field's as held

    // 36, 60 and 72 bytes stay so through the dialog's OK; zones alone bring every block.
    for (const Bytes& bytes : {kDefaultBytes, first, second}) {
        write_bytes("setup.dat", bytes);
        load_settings(board_);
        ExtensionFields fields = board_.tail.fields;
        store_extensions(board_, fields);
        EXPECT_EQ(read_bytes("setup.dat"), bytes);
        fields.zones = 1;
        store_extensions(board_, fields);
        const Bytes before = bytes.size() > kSettingsFileSize ? bytes : tail_bytes(0, 0, 0, 0, 0);
        const Bytes with_web =
            before.size() >= kWebTailedFileSize ? before : web_bytes(before, "PVX2", 0, 0);
        EXPECT_EQ(read_bytes("setup.dat"), block_bytes(with_web, "PVX3", {1, 0, 0, 0}));
    }
}

TEST(WebSettings, PortOffBeyondItsRangeAndAPinBeyondItsLocksTheChanges) {
    struct Case {
        int32_t port, pin;
        int32_t want_port;
        StaffAccess want_access;
        int32_t want_pin;
    };
    const Case cases[] = {{0, 0, 0, StaffAccess::kOpen, 0},
                          {1, 1, 1, StaffAccess::kPin, 1},
                          {65535, 99999999, 65535, StaffAccess::kPin, 99999999},
                          {65536, 100000000, 0, StaffAccess::kLocked, 0},
                          {-1, -1, 0, StaffAccess::kLocked, 0},
                          {INT32_MAX, INT32_MAX, 0, StaffAccess::kLocked, 0},
                          {INT32_MIN, INT32_MIN, 0, StaffAccess::kLocked, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pin);
        SettingsTail tail{true, {}, {}};
        tail.fields.web_port = c.port;
        tail.fields.staff_pin = c.pin;
        tail.web_present = true;
        WebSettings web = web_settings_of(tail);
        EXPECT_EQ(web.port, c.want_port);
        EXPECT_EQ(web.access, c.want_access);
        EXPECT_EQ(web.pin, c.want_pin);
        tail.web_present = false;
        web = web_settings_of(tail);
        EXPECT_TRUE(web.port == 0 && web.access == StaffAccess::kOpen && web.pin == 0);
    }
}
