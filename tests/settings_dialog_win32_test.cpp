// The settings dialog as built from the resource script, opened modally under Wine and driven from
// inside its own modal loop: what it shows, what OK and Cancel leave in the live record and in
// "setup.dat", the refusal of an empty grid, and the template's controls and Polish texts.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "live/controller.h"
#include "live/live_board.h"
#include "res/resource.h"
#include "core/settings.h"
#include "live/settings_file.h"
#include "win32/dialog_proc_win32.h"
#include "win32/service_dialog_win32.h"
#include "win32/settings_dialog_win32.h"

namespace fs = std::filesystem;

namespace {

// ---- The template as it must be built ----

constexpr WORD kButton = 0x0080;
constexpr WORD kEdit = 0x0081;
constexpr WORD kStatic = 0x0082;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEditStyle = kChild | ES_LEFT | WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP;

struct Control {
    int id;
    WORD atom;
    const wchar_t* text;
    short x, y, cx, cy;
    DWORD style;
};

// In tab order.
const Control kControls[] = {
    {IDOK, kButton, L"OK", 90, 116, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
    {IDC_SHOW_FRAME, kButton, L"Po uruchomieniu nie ukrywaj menu i ramki", 15, 91, 158, 8,
     kChild | BS_AUTOCHECKBOX | WS_TABSTOP},
    {IDC_ROWS, kEdit, L"", 114, 10, 30, 12, kEditStyle},
    {-1, kStatic, L"Ilosc zam\u00F3wien w pionie:", 12, 12, 83, 8, kChild | SS_LEFT | WS_GROUP},
    {IDC_COLUMNS, kEdit, L"", 114, 25, 30, 12, kEditStyle},
    {-1, kStatic, L"Ilosc zam\u00F3wien w poziomie:", 13, 26, 93, 8, kChild | SS_LEFT | WS_GROUP},
    {2, kButton, L"Kolor tla (RGB)", 12, 48, 91, 32, kChild | BS_GROUPBOX},
    {IDC_BACK_RED, kEdit, L"", 20, 60, 21, 12, kEditStyle},
    {IDC_BACK_GREEN, kEdit, L"", 47, 60, 21, 12, kEditStyle},
    {IDC_BACK_BLUE, kEdit, L"", 74, 60, 21, 12, kEditStyle},
    {3, kButton, L"Kolor napis\u00F3w (RGB)", 114, 48, 91, 32, kChild | BS_GROUPBOX},
    {IDC_TEXT_RED, kEdit, L"", 122, 60, 21, 12, kEditStyle},
    {IDC_TEXT_GREEN, kEdit, L"", 149, 60, 21, 12, kEditStyle},
    {IDC_TEXT_BLUE, kEdit, L"", 176, 60, 21, 12, kEditStyle},
};
constexpr size_t kControlCount = sizeof kControls / sizeof kControls[0];

const int kBoxes[] = {IDC_ROWS,      IDC_COLUMNS,  IDC_BACK_RED,   IDC_BACK_GREEN,
                      IDC_BACK_BLUE, IDC_TEXT_RED, IDC_TEXT_GREEN, IDC_TEXT_BLUE};

// ---- Reading the built DLGTEMPLATEEX ----

struct TemplateReader {
    const BYTE* at;

    template <typename T>
    T take() {
        T value;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return value;
    }
    // A string, or 0xFFFF and an ordinal (returned as "#<n>"), or 0x0000 for none.
    std::wstring text() {
        std::wstring out;
        WORD first = take<WORD>();
        if (first == 0xFFFF) {
            return L"#" + std::to_wstring(take<WORD>());
        }
        while (first != 0) {
            out += static_cast<wchar_t>(first);
            first = take<WORD>();
        }
        return out;
    }
    void align(const BYTE* base) {
        while ((at - base) % 4 != 0) {
            ++at;
        }
    }
};

// ---- Driving the modal dialog ----

using Step = std::function<void(HWND dialog)>;

constexpr UINT kTickMs = 20;
constexpr int kMaxTicks = 250;  // the dialog is ended after 5 s, and the test fails
constexpr INT_PTR kTimedOut = 99;

struct DialogRun {
    std::vector<Step> steps;
    size_t next;
    int ticks;
};
DialogRun* g_run = nullptr;

BOOL CALLBACK note_dialog(HWND window, LPARAM found) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32770") != 0) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND this_threads_dialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), note_dialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Runs inside the dialog's modal loop, one step per tick. The loop shows the dialog only once
// its queue first runs empty, so steps wait until it is on screen, as an operator would.
void CALLBACK drive_dialog(HWND, UINT, UINT_PTR, DWORD) {
    DialogRun& run = *g_run;
    const HWND dialog = this_threads_dialog();
    if (dialog == nullptr) {
        return;
    }
    if (++run.ticks > kMaxTicks) {
        EndDialog(dialog, kTimedOut);
        return;
    }
    if (IsWindowVisible(dialog) && run.next < run.steps.size()) {
        run.steps[run.next++](dialog);
    }
}

// Opens the dialog as the main window does, but with no owner, and returns its result.
INT_PTR run_dialog(std::vector<Step> steps, int resource = IDD_SETTINGS,
                   DLGPROC procedure = settings_dialog_proc) {
    DialogRun run{std::move(steps), 0, 0};
    g_run = &run;
    const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, drive_dialog);
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr),   // this program
                                           MAKEINTRESOURCEA(resource),  // template
                                           nullptr,                     // no owner
                                           procedure, 0);               // init value
    KillTimer(nullptr, timer);
    g_run = nullptr;
    EXPECT_NE(result, kTimedOut) << "the dialog did not close";
    EXPECT_EQ(run.next, run.steps.size()) << "the dialog closed before every step ran";
    return result;
}

void put(HWND dialog, int box, const char* text) {
    SetDlgItemTextA(dialog, box, text);
}

std::string text_of(HWND dialog, int box) {
    char text[64] = {};
    GetDlgItemTextA(dialog, box, text, sizeof text);
    return text;
}

std::vector<std::string> shown_boxes(HWND dialog) {
    std::vector<std::string> out;
    for (int box : kBoxes) {
        out.push_back(text_of(dialog, box));
    }
    return out;
}

bool checked(HWND dialog) {
    return SendDlgItemMessageA(dialog, IDC_SHOW_FRAME, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void click(HWND dialog, int control) {
    SendDlgItemMessageA(dialog, control, BM_CLICK, 0, 0);
}

// A key as the keyboard delivers it, through the modal loop's own dialog-message handling.
void press(HWND dialog, WPARAM key) {
    PostMessageA(GetFocus() != nullptr ? GetFocus() : dialog, WM_KEYDOWN, key, 0);
}

std::vector<HWND> children(HWND dialog) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        out.push_back(c);
    }
    return out;
}

std::wstring window_text(HWND window) {
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    return text;
}

// Whether a text control's text, wrapped at its width in its font as the control draws it, fits
// its height.
bool text_fits(HWND control) {
    RECT box{};
    GetClientRect(control, &box);
    RECT need{0, 0, box.right, 0};
    const HDC dc = GetDC(control);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    DrawTextW(dc, window_text(control).c_str(), -1, &need,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return need.right <= box.right && need.bottom <= box.bottom;
}

// Every control inside the dialog and clear of the others, and each text control's text in its
// box.
void expect_laid_out(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    const std::vector<HWND> controls = children(dialog);
    for (size_t i = 0; i < controls.size(); ++i) {
        RECT a{};
        GetWindowRect(controls[i], &a);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&a), 2);
        EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= client.right &&
                    a.bottom <= client.bottom)
            << GetDlgCtrlID(controls[i]);
        for (size_t j = 0; j < i; ++j) {
            RECT b{};
            RECT both{};
            GetWindowRect(controls[j], &b);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&b), 2);
            EXPECT_FALSE(IntersectRect(&both, &a, &b)) << i << " and " << j;
        }
        char name[16] = {};
        GetClassNameA(controls[i], name, sizeof name);
        if (std::strcmp(name, "Static") == 0) {
            EXPECT_TRUE(text_fits(controls[i])) << i;
        }
    }
}

// A web side whose every port is taken.
bool refuse_port(void*, uint16_t, int32_t) {
    return false;
}
void no_web_call(void*) {}
void no_pin(void*, int32_t) {}
const WebOps kRefusingWeb{refuse_port, no_web_call, no_pin, no_web_call, nullptr};

// ---- The live record and the file ----

using Bytes = std::vector<unsigned char>;

Bytes file_bytes() {
    std::ifstream in(kSettingsFile, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes bytes_of(const BoardSettings& settings) {
    unsigned char bytes[kSettingsFileSize];
    encode_settings(settings, bytes);
    return Bytes(bytes, bytes + kSettingsFileSize);
}

BoardSettings live() {
    return copy_board(live_board()).settings;
}

void set_live(const BoardSettings& settings) {
    std::lock_guard<std::mutex> hold(live_board().lock);
    live_board().settings = settings;
}

BoardSettings made(int32_t rows, int32_t columns, int32_t br, int32_t bg, int32_t bb, int32_t tr,
                   int32_t tg, int32_t tb, int32_t frame) {
    return BoardSettings{rows, columns, br, bg, bb, tr, tg, tb, frame};
}

void put_bytes(const Bytes& bytes) {
    std::ofstream out(kSettingsFile, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The 36 bytes, the marker and the five fields.
Bytes tailed(const BoardSettings& settings, std::vector<int32_t> fields) {
    SettingsTail tail{true, {fields[0], fields[1], fields[2], fields[3], fields[4]}, {}};
    if (fields.size() > 5) {  // the port and the PIN, in the second block
        tail.fields.web_port = fields[5];
        tail.fields.staff_pin = fields[6];
        tail.web_present = true;
    }
    if (fields.size() > 7) {  // the zones, the overdue seconds, the voice and the reserved field
        tail.fields.zones = fields[7];
        tail.fields.overdue_seconds = fields[8];
        tail.fields.voice = fields[9];
        tail.fields.reserved = fields[10];
        tail.zones_present = true;
    }
    return settings_file_bytes(settings, tail);
}

INT_PTR run_service_dialog(std::vector<Step> steps) {
    return run_dialog(std::move(steps), IDD_SERVICE, service_dialog_proc);
}

bool box_checked(HWND dialog, int box) {
    return IsDlgButtonChecked(dialog, box) == BST_CHECKED;
}

// Every test in a fresh working directory of its own, with a live record unlike any file's.
class SettingsDialog : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("pelivor-dialog-") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
        set_live(made(9, 9, 9, 9, 9, 9, 9, 9, 9));
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }
    void write_file(const BoardSettings& settings) {
        ASSERT_TRUE(write_settings_file(kSettingsFile, settings));
    }
    fs::path dir_;
    fs::path previous_;
};

const BoardSettings kOnDisk = made(7, 3, 356, 2, 3, 4, 5, 6, 1);

}  // namespace

TEST_F(SettingsDialog, ShowsWhatTheFileHoldsAndPutsItIntoEffectEvenWhenCancelled) {
    write_file(kOnDisk);
    const INT_PTR result = run_dialog({[](HWND dialog) {
        EXPECT_EQ(shown_boxes(dialog),
                  (std::vector<std::string>{"7", "3", "356", "2", "3", "4", "5", "6"}));
        EXPECT_TRUE(checked(dialog));
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK));
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(bytes_of(live()), bytes_of(kOnDisk));
    EXPECT_EQ(file_bytes(), bytes_of(kOnDisk));
}

TEST_F(SettingsDialog, AnyFrameFieldButZeroShowsTheBoxChecked) {
    for (int32_t frame : {2, -1, INT32_MIN}) {
        SCOPED_TRACE(frame);
        const BoardSettings on_disk = made(4, 2, 0, 50, 150, 240, 240, 240, frame);
        write_file(on_disk);
        run_dialog({[](HWND dialog) {
            EXPECT_TRUE(checked(dialog));
            SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }});
        EXPECT_EQ(bytes_of(live()), bytes_of(on_disk));
    }
}

TEST_F(SettingsDialog, MissingFileShowsTheDefaultsAlreadyWritten) {
    const INT_PTR result = run_dialog({[](HWND dialog) {
        EXPECT_EQ(file_bytes(), bytes_of(default_settings()));
        EXPECT_EQ(shown_boxes(dialog),
                  (std::vector<std::string>{"4", "2", "0", "50", "150", "240", "240", "240"}));
        EXPECT_FALSE(checked(dialog));
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(bytes_of(live()), bytes_of(default_settings()));
}

TEST_F(SettingsDialog, OkStoresTheGridAsRemaindersOfEleven) {
    struct Case {
        const char* rows;
        const char* columns;
        int32_t want_rows;
        int32_t want_columns;
    };
    // The last is above the signed range: the boxes are read unsigned.
    const Case cases[] = {
        {"4", "2", 4, 2}, {"12", "25", 1, 3}, {"10", "10", 10, 10}, {"2147483659", "1", 2, 1}};
    write_file(default_settings());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        const INT_PTR result = run_dialog({[&](HWND dialog) {
            put(dialog, IDC_ROWS, c.rows);
            put(dialog, IDC_COLUMNS, c.columns);
            click(dialog, IDOK);
        }});
        EXPECT_EQ(result, IDOK);
        BoardSettings want = default_settings();
        want.rows = c.want_rows;
        want.columns = c.want_columns;
        EXPECT_EQ(bytes_of(live()), bytes_of(want));
        EXPECT_EQ(file_bytes(), bytes_of(want));
    }
}

TEST_F(SettingsDialog, OkStoresColoursAsTheirLowEightBitsAndEmptyAsZero) {
    write_file(kOnDisk);
    const INT_PTR result = run_dialog({[](HWND dialog) {
        put(dialog, IDC_BACK_RED, "300");
        put(dialog, IDC_BACK_GREEN, "256");
        put(dialog, IDC_BACK_BLUE, "");
        put(dialog, IDC_TEXT_RED, "255");
        put(dialog, IDC_TEXT_GREEN, "1000");
        put(dialog, IDC_TEXT_BLUE, "0");
        SetFocus(GetDlgItem(dialog, IDC_TEXT_BLUE));
        press(dialog, VK_RETURN);  // Enter in a box is OK
    }});
    EXPECT_EQ(result, IDOK);
    const BoardSettings want = made(7, 3, 44, 0, 0, 255, 232, 0, 1);
    EXPECT_EQ(bytes_of(live()), bytes_of(want));
    EXPECT_EQ(file_bytes(), bytes_of(want));
}

TEST_F(SettingsDialog, EntriesBeyondThirtyTwoBitsReadAsZero) {
    write_file(kOnDisk);
    const INT_PTR result = run_dialog({[](HWND dialog) {
        // 2^32 + 4 would be 9 by the remainder of 11; the box gives 0, so the grid is refused.
        put(dialog, IDC_ROWS, "4294967300");
        click(dialog, IDOK);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_ROWS));
        put(dialog, IDC_ROWS, "4");
        put(dialog, IDC_BACK_RED, "4294967297");  // 2^32 + 1: 1 in its low bits, read as 0
        click(dialog, IDOK);
    }});
    EXPECT_EQ(result, IDOK);
    const BoardSettings want = made(4, 3, 0, 2, 3, 4, 5, 6, 1);
    EXPECT_EQ(bytes_of(live()), bytes_of(want));
}

TEST_F(SettingsDialog, CancelAfterEditingLeavesRecordAndFileAsFound) {
    const std::pair<const char*, Step> cancels[] = {
        {"IDCANCEL", [](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }},
        {"Escape", [](HWND dialog) { press(dialog, VK_ESCAPE); }},
        {"close box", [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    write_file(kOnDisk);
    for (const auto& cancel : cancels) {
        SCOPED_TRACE(cancel.first);
        const INT_PTR result = run_dialog({[](HWND dialog) {
                                               for (int box : kBoxes) {
                                                   put(dialog, box, "1");
                                               }
                                               click(dialog, IDC_SHOW_FRAME);
                                               SetFocus(GetDlgItem(dialog, IDC_ROWS));
                                           },
                                           cancel.second});
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(bytes_of(live()), bytes_of(kOnDisk));
        EXPECT_EQ(file_bytes(), bytes_of(kOnDisk));
    }
}

TEST_F(SettingsDialog, CheckBoxConfirmedWritesOneInTheLastField) {
    write_file(default_settings());
    EXPECT_EQ(run_dialog({[](HWND dialog) {
                  EXPECT_FALSE(checked(dialog));
                  click(dialog, IDC_SHOW_FRAME);
                  EXPECT_TRUE(checked(dialog));
                  click(dialog, IDOK);
              }}),
              IDOK);
    const Bytes framed = file_bytes();
    ASSERT_EQ(framed.size(), kSettingsFileSize);
    EXPECT_EQ(Bytes(framed.end() - 4, framed.end()), (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(live().show_frame, 1);

    EXPECT_EQ(run_dialog({[](HWND dialog) {
                  EXPECT_TRUE(checked(dialog));
                  click(dialog, IDC_SHOW_FRAME);
                  click(dialog, IDOK);
              }}),
              IDOK);
    EXPECT_EQ(file_bytes(), bytes_of(default_settings()));
    EXPECT_EQ(live().show_frame, 0);
}

TEST_F(SettingsDialog, EmptyGridIsRefusedWithTheFocusOnTheBox) {
    struct Case {
        const char* rows;
        const char* columns;
        int box;
    };
    const Case cases[] = {{"11", "3", IDC_ROWS},
                          {"5", "", IDC_COLUMNS},
                          {"0", "22", IDC_ROWS},
                          {"", "0", IDC_ROWS},
                          {"4", "33", IDC_COLUMNS}};
    write_file(kOnDisk);
    std::vector<Step> steps;
    for (const Case& c : cases) {
        steps.push_back([&c](HWND dialog) {
            SCOPED_TRACE(std::string(c.rows) + " x " + c.columns);
            put(dialog, IDC_ROWS, c.rows);
            put(dialog, IDC_COLUMNS, c.columns);
            put(dialog, IDC_BACK_RED, "77");
            click(dialog, IDOK);
            EXPECT_TRUE(IsWindowVisible(dialog));
            const HWND box = GetDlgItem(dialog, c.box);
            EXPECT_EQ(GetFocus(), box);
            DWORD start = 1;
            DWORD end = 0;
            SendMessageA(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(start, 0u);
            EXPECT_EQ(end, static_cast<DWORD>(GetWindowTextLengthA(box)));
            EXPECT_EQ(bytes_of(live()), bytes_of(kOnDisk));
            EXPECT_EQ(file_bytes(), bytes_of(kOnDisk));
        });
    }
    // Corrected, the same dialog then stores.
    steps.push_back([](HWND dialog) {
        put(dialog, IDC_ROWS, "6");
        put(dialog, IDC_COLUMNS, "1");
        click(dialog, IDOK);
    });
    EXPECT_EQ(run_dialog(std::move(steps)), IDOK);
    const BoardSettings want = made(6, 1, 77, 2, 3, 4, 5, 6, 1);
    EXPECT_EQ(bytes_of(live()), bytes_of(want));
    EXPECT_EQ(file_bytes(), bytes_of(want));
}

TEST_F(SettingsDialog, RefusalCanStillBeCancelled) {
    write_file(kOnDisk);
    const INT_PTR result = run_dialog({
        [](HWND dialog) {
            put(dialog, IDC_COLUMNS, "11");
            click(dialog, IDOK);
        },
        [](HWND dialog) {
            EXPECT_TRUE(IsWindowVisible(dialog));
            press(dialog, VK_ESCAPE);
        },
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(file_bytes(), bytes_of(kOnDisk));
}

TEST_F(SettingsDialog, LiveControlsHaveTheTemplatesOrderPlaceAndTexts) {
    write_file(default_settings());
    run_dialog({[](HWND dialog) {
        EXPECT_EQ(window_text(dialog), L"Parametry");
        const std::vector<HWND> controls = children(dialog);
        ASSERT_EQ(controls.size(), kControlCount);
        for (size_t i = 0; i < kControlCount; ++i) {
            const Control& want = kControls[i];
            const HWND c = controls[i];
            SCOPED_TRACE(want.id);
            EXPECT_EQ(GetDlgCtrlID(c), want.id);
            if (want.atom != kEdit) {
                EXPECT_EQ(window_text(c), want.text);
            }
            const DWORD style = static_cast<DWORD>(GetWindowLongA(c, GWL_STYLE));
            EXPECT_EQ(style & (WS_TABSTOP | WS_GROUP), want.style & (WS_TABSTOP | WS_GROUP));
            if (want.atom == kEdit) {
                EXPECT_TRUE(style & ES_NUMBER);
                EXPECT_TRUE(style & ES_AUTOHSCROLL);
            }
            // Position and size are converted from dialog units one by one, as at creation.
            RECT expected{want.x, want.y, want.cx, want.cy};
            MapDialogRect(dialog, &expected);
            RECT actual;
            GetWindowRect(c, &actual);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_EQ(actual.left, expected.left);
            EXPECT_EQ(actual.top, expected.top);
            EXPECT_EQ(actual.right - actual.left, expected.right);
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        }
        // Tab walks OK, the check box, then the eight boxes, and back to OK.
        std::vector<int> tab_order;
        HWND at = GetDlgItem(dialog, IDOK);
        for (int i = 0; i < 11; ++i) {
            tab_order.push_back(GetDlgCtrlID(at));
            at = GetNextDlgTabItem(dialog, at, FALSE);
        }
        EXPECT_EQ(tab_order, (std::vector<int>{IDOK, IDC_SHOW_FRAME, IDC_ROWS, IDC_COLUMNS,
                                               IDC_BACK_RED, IDC_BACK_GREEN, IDC_BACK_BLUE,
                                               IDC_TEXT_RED, IDC_TEXT_GREEN, IDC_TEXT_BLUE, IDOK}));
        // What an ANSI caller reads: the single byte 0xF3 of Windows-1250 and -1252.
        const UINT code_page = GetACP();
        if (code_page == 1250 || code_page == 1252) {
            char ansi[64] = {};
            GetWindowTextA(controls[3], ansi, sizeof ansi);
            EXPECT_STREQ(ansi, "Ilosc zam\xF3wien w pionie:");
            GetWindowTextA(controls[10], ansi, sizeof ansi);
            EXPECT_STREQ(ansi, "Kolor napis\xF3w (RGB)");
        } else {
            ADD_FAILURE() << "code page " << code_page << " cannot show the Polish texts";
        }
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }});
}

TEST(SettingsDialogResource, TemplateIsBuiltAsTheTableGivesIt) {
    const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_SETTINGS), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(base, nullptr);
    TemplateReader r{base};
    EXPECT_EQ(r.take<WORD>(), 1);       // dlgVer
    EXPECT_EQ(r.take<WORD>(), 0xFFFF);  // signature: an extended template
    r.take<DWORD>();                    // helpID
    EXPECT_EQ(r.take<DWORD>(), 0u);     // exStyle
    EXPECT_EQ(r.take<DWORD>(),
              static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    ASSERT_EQ(r.take<WORD>(), kControlCount);
    EXPECT_EQ(r.take<short>(), 22);
    EXPECT_EQ(r.take<short>(), 17);
    EXPECT_EQ(r.take<short>(), 239);
    EXPECT_EQ(r.take<short>(), 139);
    EXPECT_EQ(r.text(), L"");  // no menu
    EXPECT_EQ(r.text(), L"");  // the standard dialog class
    EXPECT_EQ(r.text(), L"Parametry");
    EXPECT_EQ(r.take<WORD>(), 8);  // points
    r.take<WORD>();                // weight
    r.take<BYTE>();                // italic
    r.take<BYTE>();                // character set
    EXPECT_EQ(r.text(), L"System");

    for (const Control& want : kControls) {
        SCOPED_TRACE(want.id);
        r.align(base);
        r.take<DWORD>();                 // helpID
        EXPECT_EQ(r.take<DWORD>(), 0u);  // exStyle
        EXPECT_EQ(r.take<DWORD>(), want.style);
        EXPECT_EQ(r.take<short>(), want.x);
        EXPECT_EQ(r.take<short>(), want.y);
        EXPECT_EQ(r.take<short>(), want.cx);
        EXPECT_EQ(r.take<short>(), want.cy);
        EXPECT_EQ(r.take<int32_t>(), want.id);
        EXPECT_EQ(r.text(), L"#" + std::to_wstring(want.atom));
        EXPECT_EQ(r.text(), want.text);
        r.at += r.take<WORD>();  // creation data
    }
}

TEST_F(SettingsDialog, ServiceDialogShowsTheTailAndCancelKeepsEveryByte) {
    Bytes bytes = tailed(kOnDisk, {90, 5, 1, 0, 7});
    bytes.push_back(0xEE);  // kept after the tail
    put_bytes(bytes);
    const std::pair<const char*, Step> cancels[] = {
        {"Escape", [](HWND dialog) { press(dialog, VK_ESCAPE); }},
        {"close box", [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& cancel : cancels) {
        SCOPED_TRACE(cancel.first);
        EXPECT_EQ(run_service_dialog({[](HWND dialog) {
                                          EXPECT_EQ(text_of(dialog, IDC_EXPIRE_MINUTES), "2");
                                          EXPECT_EQ(text_of(dialog, IDC_HIGHLIGHT_SECONDS), "5");
                                          EXPECT_TRUE(box_checked(dialog, IDC_CHIME));
                                          EXPECT_FALSE(box_checked(dialog, IDC_COMMANDS));
                                          EXPECT_TRUE(box_checked(dialog, IDC_FIT_TEXT));
                                          EXPECT_EQ(GetFocus(),
                                                    GetDlgItem(dialog, IDC_EXPIRE_MINUTES));
                                          put(dialog, IDC_EXPIRE_MINUTES, "9");
                                          click(dialog, IDC_COMMANDS);
                                      },
                                      cancel.second}),
                  IDCANCEL);
        EXPECT_EQ(file_bytes(), bytes);
        EXPECT_EQ(bytes_of(live()), bytes_of(kOnDisk));  // the reload took effect all the same
    }
}

TEST_F(SettingsDialog, ServiceDialogOkWritesTheTailOnlyOnceSomethingIsOn) {
    write_file(default_settings());
    // Nothing switched on: the file stays 36 bytes.
    EXPECT_EQ(run_service_dialog({[](HWND dialog) {
                  EXPECT_EQ(text_of(dialog, IDC_EXPIRE_MINUTES), "0");
                  EXPECT_EQ(text_of(dialog, IDC_HIGHLIGHT_SECONDS), "0");
                  press(dialog, VK_RETURN);
              }}),
              IDOK);
    EXPECT_EQ(file_bytes(), bytes_of(default_settings()));

    EXPECT_EQ(run_service_dialog({[](HWND dialog) {
                  put(dialog, IDC_EXPIRE_MINUTES, "3");
                  put(dialog, IDC_HIGHLIGHT_SECONDS, "99999999999");
                  click(dialog, IDC_COMMANDS);
                  click(dialog, IDC_FIT_TEXT);
                  click(dialog, IDOK);
              }}),
              IDOK);
    EXPECT_EQ(file_bytes(), tailed(default_settings(), {180, 3600, 0, 1, 1}));

    // Left as shown, a field keeps what the file held (90 s is shown as 2 minutes).
    put_bytes(tailed(kOnDisk, {90, 5, 7, 0, 0}));
    EXPECT_EQ(run_service_dialog({[](HWND dialog) {
                  put(dialog, IDC_HIGHLIGHT_SECONDS, "0");
                  click(dialog, IDOK);
              }}),
              IDOK);
    EXPECT_EQ(file_bytes(), tailed(kOnDisk, {90, 0, 7, 0, 0}));

    // The port and the PIN bring the second block; a port beyond 65535 is stored as off.
    EXPECT_EQ(run_service_dialog({[](HWND dialog) {
                  EXPECT_EQ(text_of(dialog, IDC_WEB_PORT), "0");
                  EXPECT_EQ(text_of(dialog, IDC_STAFF_PIN), "0");
                  put(dialog, IDC_WEB_PORT, "8080");
                  put(dialog, IDC_STAFF_PIN, "1234");
                  click(dialog, IDOK);
              }}),
              IDOK);
    EXPECT_EQ(file_bytes(), tailed(kOnDisk, {90, 0, 7, 0, 0, 8080, 1234}));
    EXPECT_EQ(run_service_dialog({[](HWND dialog) {
                  EXPECT_EQ(text_of(dialog, IDC_WEB_PORT), "8080");
                  EXPECT_EQ(text_of(dialog, IDC_STAFF_PIN), "1234");
                  put(dialog, IDC_WEB_PORT, "70000");
                  click(dialog, IDOK);
              }}),
              IDOK);
    EXPECT_EQ(file_bytes(), tailed(kOnDisk, {90, 0, 7, 0, 0, 0, 1234}));

    // The zones' rows bring the third block after the second.
    EXPECT_EQ(run_service_dialog({[](HWND dialog) {
                  EXPECT_FALSE(box_checked(dialog, IDC_ZONES));
                  EXPECT_EQ(text_of(dialog, IDC_OVERDUE_SECONDS), "0");
                  click(dialog, IDC_ZONES);
                  put(dialog, IDC_OVERDUE_SECONDS, "90");
                  EXPECT_FALSE(box_checked(dialog, IDC_VOICE));
                  click(dialog, IDC_VOICE);
                  click(dialog, IDOK);
              }}),
              IDOK);
    const Bytes zoned = file_bytes();
    ASSERT_EQ(zoned.size(), kZonesTailedFileSize);
    EXPECT_EQ(Bytes(zoned.begin() + kWebTailedFileSize, zoned.begin() + kWebTailedFileSize + 4),
              (Bytes{'P', 'V', 'X', '3'}));
    EXPECT_EQ(zoned, tailed(kOnDisk, {90, 0, 7, 0, 0, 0, 1234, 1, 90, 1, 0}));
}

TEST_F(SettingsDialog, ServiceDialogOkKeepsTheFieldsItDoesNotShow) {
    put_bytes(tailed(kOnDisk, {0, 0, 0, 0, 0, 0, 0, 0, 30, 1, -5}));
    EXPECT_EQ(run_service_dialog({[](HWND dialog) {
                  EXPECT_EQ(text_of(dialog, IDC_OVERDUE_SECONDS), "30");
                  EXPECT_TRUE(box_checked(dialog, IDC_VOICE));
                  put(dialog, IDC_OVERDUE_SECONDS, "45");
                  click(dialog, IDOK);
              }}),
              IDOK);
    EXPECT_EQ(file_bytes(), tailed(kOnDisk, {0, 0, 0, 0, 0, 0, 0, 0, 45, 1, -5}));
}

TEST_F(SettingsDialog, ServiceDialogTextsAndOrder) {
    write_file(default_settings());
    run_service_dialog({[](HWND dialog) {
        EXPECT_EQ(window_text(dialog), L"Obsluga zam\u00F3wien");
        std::vector<std::wstring> texts;
        std::vector<int> ids;
        for (HWND c : children(dialog)) {
            ids.push_back(GetDlgCtrlID(c));
            const int id = GetDlgCtrlID(c);
            const bool digits = id == IDC_EXPIRE_MINUTES || id == IDC_HIGHLIGHT_SECONDS ||
                                id == IDC_WEB_PORT || id == IDC_STAFF_PIN ||
                                id == IDC_OVERDUE_SECONDS;
            if (!digits) {
                texts.push_back(window_text(c));
            }
            if (digits) {
                EXPECT_TRUE(GetWindowLongA(c, GWL_STYLE) & ES_NUMBER);
            }
        }
        expect_laid_out(dialog);
        EXPECT_EQ(ids, (std::vector<int>{-1, IDC_EXPIRE_MINUTES, -1, IDC_HIGHLIGHT_SECONDS,
                                         IDC_CHIME, IDC_COMMANDS, IDC_FIT_TEXT, -1, IDC_WEB_PORT,
                                         -1, IDC_STAFF_PIN, IDC_NO_PIN_NOTE, IDC_ZONES, -1,
                                         IDC_OVERDUE_SECONDS, IDC_VOICE, IDOK}));
        // Tab walks the rows in the table's order, then OK, and back to the minutes.
        std::vector<int> tab_order;
        HWND at = GetDlgItem(dialog, IDC_EXPIRE_MINUTES);
        for (int i = 0; i < 12; ++i) {
            tab_order.push_back(GetDlgCtrlID(at));
            at = GetNextDlgTabItem(dialog, at, FALSE);
        }
        EXPECT_EQ(tab_order, (std::vector<int>{IDC_EXPIRE_MINUTES, IDC_HIGHLIGHT_SECONDS, IDC_CHIME,
                                               IDC_COMMANDS, IDC_FIT_TEXT, IDC_WEB_PORT,
                                               IDC_STAFF_PIN, IDC_ZONES, IDC_OVERDUE_SECONDS,
                                               IDC_VOICE, IDOK, IDC_EXPIRE_MINUTES}));
        EXPECT_EQ(
            texts,
            (std::vector<std::wstring>{
                L"Usuwaj numer po (minuty, 0 = nigdy):",
                L"Wyr\u00F3zniaj nowy numer (sekundy, 0 = nie):", L"Dzwiek przy nowym numerze",
                L"Przyjmuj polecenia: -57 usuwa 57, - czysci tablice",
                L"Dopasuj numery do kom\u00F3rek", L"Strona WWW, port (0 = wylaczona):",
                L"PIN obslugi (0 = bez PIN-u):",
                L"PIN 0: kazdy w sieci sklepu moze zmieniac numery na tablicy.",
                L"Dwie strefy: w przygotowaniu / gotowe", L"Przypomnij po (sekundy, 0 = nie):",
                L"Wywo\u0142uj numery g\u0142osem", L"OK"}));
        if (GetACP() == 1250 || GetACP() == 1252) {
            char ansi[64] = {};
            GetWindowTextA(dialog, ansi, sizeof ansi);
            EXPECT_STREQ(ansi, "Obsluga zam\xF3wien");
        }
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }});
}

TEST_F(SettingsDialog, ServiceDialogSaysOnceUnderOkThatThePortIsTaken) {
    write_file(default_settings());
    Controller& controller = board_controller();
    controller.web = &kRefusingWeb;
    controller.window_ready = true;
    const INT_PTR result = run_service_dialog({
        [](HWND dialog) {
            put(dialog, IDC_WEB_PORT, "8080");
            click(dialog, IDOK);
        },
        [](HWND dialog) {
            std::vector<std::wstring> texts;
            for (HWND c : children(dialog)) {
                texts.push_back(window_text(c));
            }
            EXPECT_EQ(texts.back(), L"Port zajety lub niedostepny");
            expect_laid_out(dialog);
            click(dialog, IDOK);  // the next OK closes it, the board running without the web
        },
    });
    controller.web = nullptr;
    controller.window_ready = false;
    EXPECT_EQ(result, IDOK);
}

std::wstring utf16(const char* utf8) {
    wchar_t text[128] = {};
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text, 128);
    return text;
}

// The GTK dialogs show the field table's captions: each row's box must be in its template, of its
// kind, with the row's caption and group spelled there as in the table.
TEST_F(SettingsDialog, EveryFieldRowHasItsBoxAndCaptionsInTheTemplate) {
    write_file(default_settings());
    for (const bool tail : {false, true}) {
        const Step check = [tail](HWND dialog) {
            std::vector<std::wstring> texts;
            for (HWND c : children(dialog)) {
                texts.push_back(window_text(c));
            }
            const int first = tail ? kRecordFieldCount : 0;
            for (int i = first; i < (tail ? kFieldCount : kRecordFieldCount); ++i) {
                const SettingField& row = kSettingFields[i];
                SCOPED_TRACE(i);
                if (!shown_in_dialog(row)) {
                    continue;  // no control: the static assertion beside the mapping
                }
                const HWND box = GetDlgItem(dialog, control_of(i));
                ASSERT_NE(box, nullptr);
                char name[16] = {};
                GetClassNameA(box, name, sizeof name);
                EXPECT_STREQ(name, row.box == FieldBox::kCheck ? "Button" : "Edit");
                if (row.box == FieldBox::kCheck) {
                    EXPECT_EQ(window_text(box), utf16(row.caption));
                }
                for (const char* caption : {row.caption, row.group}) {
                    if (caption != nullptr) {
                        EXPECT_NE(std::find(texts.begin(), texts.end(), utf16(caption)),
                                  texts.end())
                            << caption;
                    }
                }
            }
            SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        };
        EXPECT_EQ(tail ? run_service_dialog({check}) : run_dialog({check}), IDCANCEL);
    }
}

TEST(ChimeResource, IsAShortPcmWave) {
    const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_CHIME), "WAVE");
    ASSERT_NE(found, nullptr);
    const DWORD size = SizeofResource(nullptr, found);
    const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(bytes, nullptr);
    ASSERT_GT(size, 44u);
    EXPECT_EQ(std::memcmp(bytes, "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(bytes + 8, "WAVEfmt ", 8), 0);
    WORD format = 0;
    DWORD rate = 0;
    DWORD byte_rate = 0;
    std::memcpy(&format, bytes + 20, 2);
    std::memcpy(&rate, bytes + 24, 4);
    std::memcpy(&byte_rate, bytes + 28, 4);
    EXPECT_EQ(format, 1);  // PCM, which every system plays
    EXPECT_GE(rate, 8000u);
    const double seconds = static_cast<double>(size - 44) / byte_rate;
    EXPECT_GT(seconds, 0.1);
    EXPECT_LT(seconds, 1.0);  // shorter than the chime's rate limit
}
