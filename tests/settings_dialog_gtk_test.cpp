// The GTK dialogs in-process, on the test display: their captions, the Polish texts and the boxes
// in order with what "setup.dat" holds, and what OK stores or refuses. (Typing into the
// boxes is driven by keys in tests/e2e/test_linux.py.)
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "live/controller.h"
#include "live/live_board.h"
#include "core/settings.h"
#include "live/settings_file.h"
#include "gtk/service_dialog_gtk.h"
#include "gtk/settings_dialog_gtk.h"

namespace fs = std::filesystem;

namespace {

// The display the linux_display fixture started: its env file names it.
void use_session_display() {
    const char* session = std::getenv("PELIVOR_SESSION");
    if (session == nullptr || std::getenv("DISPLAY") != nullptr) {
        return;
    }
    std::ifstream env(fs::path(session) / "env");
    for (std::string line; std::getline(env, line);) {
        if (line.rfind("export DISPLAY=", 0) == 0) {
            setenv("DISPLAY", line.substr(15).c_str(), 1);
        }
    }
}

struct Widgets {
    std::vector<std::string> labels;
    std::vector<GtkWidget*> entries;
    GtkWidget* check = nullptr;  // the last one
    std::vector<GtkWidget*> checks;
    GtkWidget* ok = nullptr;
};

void collect(GtkWidget* widget, Widgets& found) {
    if (GTK_IS_LABEL(widget)) {
        found.labels.push_back(gtk_label_get_text(GTK_LABEL(widget)));
    } else if (GTK_IS_ENTRY(widget)) {
        found.entries.push_back(widget);
        return;
    } else if (GTK_IS_CHECK_BUTTON(widget)) {
        found.check = widget;
        found.checks.push_back(widget);
    } else if (GTK_IS_BUTTON(widget)) {
        found.ok = widget;
    }
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child != nullptr;
         child = gtk_widget_get_next_sibling(child)) {
        collect(child, found);
    }
}

GtkWindow* find_dialog(const char* caption = "Parametry") {
    GListModel* windows = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(windows); ++i) {
        auto* window = static_cast<GtkWindow*>(g_list_model_get_item(windows, i));
        g_object_unref(window);  // the list keeps its own reference
        const char* title = gtk_window_get_title(window);
        if (title != nullptr && std::string(title) == caption) {
            return window;
        }
    }
    return nullptr;
}

// The grid's children in the order attached: each in cells of its own, each row below the last.
void expect_rows_apart(GtkWindow* dialog) {
    GtkWidget* grid = gtk_window_get_child(dialog);
    ASSERT_TRUE(GTK_IS_GRID(grid));
    int below = 0;
    for (GtkWidget* child = gtk_widget_get_first_child(grid); child != nullptr;
         child = gtk_widget_get_next_sibling(child)) {
        int column = 0;
        int row = 0;
        int width = 0;
        int height = 0;
        gtk_grid_query_child(GTK_GRID(grid), child, &column, &row, &width, &height);
        // A box beside its caption shares the caption's row.
        const bool beside = column > 0 && row == below - 1;
        EXPECT_TRUE(row >= below || beside) << G_OBJECT_TYPE_NAME(child) << " at row " << row;
        below = row + height;
    }
}

std::vector<std::string> texts(const Widgets& w) {
    std::vector<std::string> out;
    for (GtkWidget* entry : w.entries) {
        out.push_back(gtk_editable_get_text(GTK_EDITABLE(entry)));
    }
    return out;
}

class GtkDialog : public testing::Test {
protected:
    static void SetUpTestSuite() {
        use_session_display();
        ASSERT_TRUE(gtk_init_check()) << "no display";
    }

    void SetUp() override {
        old_dir_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("pelivor-gtk-dialog-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        fs::current_path(dir_);
        owner_ = GTK_WINDOW(gtk_window_new());
        closed_ = -1;
    }

    void TearDown() override {
        gtk_window_destroy(owner_);  // takes the dialog with it
        board_controller().web = nullptr;
        board_controller().window_ready = false;
        fs::current_path(old_dir_);
        fs::remove_all(dir_);
    }

    Widgets open(bool service = false) {
        const char* caption = "Parametry";
        if (service) {
            open_service_dialog(owner_, note_closed);
            caption = "Obsluga zamówien";
        } else {
            open_settings_dialog(owner_);
        }
        GtkWindow* dialog = find_dialog(caption);
        EXPECT_NE(dialog, nullptr);
        Widgets found;
        if (dialog != nullptr) {
            collect(GTK_WIDGET(dialog), found);
        }
        return found;
    }

    static void write_file(const BoardSettings& s) {
        ASSERT_TRUE(write_settings_file("setup.dat", s));
    }

    static std::string file_bytes() {
        std::ifstream f("setup.dat", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

    static void note_closed(bool stored) { closed_ = stored ? 1 : 0; }

    static inline int closed_ = -1;  // -1: not closed; else whether it stored
    fs::path old_dir_;
    fs::path dir_;
    GtkWindow* owner_ = nullptr;
};

TEST_F(GtkDialog, ShowsTheFileWithThePolishTextsAndTheBoxesInOrder) {
    write_file(BoardSettings{5, 3, -1, 2, 3, 4, 5, 6, 1});
    const Widgets w = open();
    EXPECT_EQ(w.labels,
              (std::vector<std::string>{
                  "Ilosc zamówien w pionie:", "Ilosc zamówien w poziomie:", "Kolor tla (RGB)",
                  "Kolor napisów (RGB)", "Po uruchomieniu nie ukrywaj menu i ramki", "OK"}));
    // A negative field shows as its 32-bit pattern, as the Windows dialog shows it.
    EXPECT_EQ(texts(w),
              (std::vector<std::string>{"5", "3", "4294967295", "2", "3", "4", "5", "6"}));
    ASSERT_NE(w.check, nullptr);
    EXPECT_TRUE(gtk_check_button_get_active(GTK_CHECK_BUTTON(w.check)));
    EXPECT_TRUE(settings_dialog_open());
}

TEST_F(GtkDialog, AnyFrameFieldButZeroShowsTheBoxChecked) {
    for (int32_t frame : {2, -1, INT32_MIN}) {
        SCOPED_TRACE(frame);
        write_file(BoardSettings{4, 2, 0, 50, 150, 240, 240, 240, frame});
        const std::string on_disk = file_bytes();
        const Widgets w = open();
        ASSERT_NE(w.check, nullptr);
        EXPECT_TRUE(gtk_check_button_get_active(GTK_CHECK_BUTTON(w.check)));
        gtk_window_close(find_dialog());
        EXPECT_FALSE(settings_dialog_open());
        EXPECT_EQ(file_bytes(), on_disk);  // shown, not rewritten as 1
    }
}

TEST_F(GtkDialog, OkRefusesAnEmptyGridThenStoresTheReducedEntries) {
    const Widgets w = open();
    ASSERT_EQ(w.entries.size(), 8u);
    ASSERT_NE(w.ok, nullptr);
    const std::string defaults = file_bytes();
    ASSERT_EQ(defaults.size(), kSettingsFileSize);

    gtk_editable_set_text(GTK_EDITABLE(w.entries[0]), "11");
    g_signal_emit_by_name(w.ok, "clicked");
    EXPECT_TRUE(settings_dialog_open());
    EXPECT_EQ(file_bytes(), defaults);

    const char* typed[] = {"12", "25", "300", "256", "", "7", "99999999999", "240"};
    for (int i = 0; i < 8; ++i) {
        gtk_editable_set_text(GTK_EDITABLE(w.entries[i]), typed[i]);
    }
    gtk_check_button_set_active(GTK_CHECK_BUTTON(w.check), TRUE);
    g_signal_emit_by_name(w.ok, "clicked");
    EXPECT_FALSE(settings_dialog_open());
    BoardSettings stored{};
    ASSERT_TRUE(read_settings_file("setup.dat", &stored));
    // Above 32 bits a box reads as 0, as GetDlgItemInt reads it.
    const BoardSettings expected{1, 3, 44, 0, 0, 7, 0, 240, 1};
    EXPECT_EQ(std::memcmp(&stored, &expected, sizeof stored), 0);
    EXPECT_EQ(std::memcmp(&live_board().settings, &expected, sizeof stored), 0);
}

TEST_F(GtkDialog, ServiceDialogShowsTheTailAndOkStoresWhatTheEntriesMake) {
    SettingsTail tail{true, ExtensionFields{90, 5, 1, 0, 7}, {'k', 'e', 'p', 't'}};
    ASSERT_TRUE(write_settings_file("setup.dat", default_settings(), tail));
    const Widgets w = open(true);
    EXPECT_EQ(w.labels,
              (std::vector<std::string>{
                  "Usuwaj numer po (minuty, 0 = nigdy):",
                  "Wyrózniaj nowy numer (sekundy, 0 = nie):", "Dzwiek przy nowym numerze",
                  "Przyjmuj polecenia: -57 usuwa 57, - czysci tablice", "Dopasuj numery do komórek",
                  "Strona WWW, port (0 = wylaczona):", "PIN obslugi (0 = bez PIN-u):",
                  "PIN 0: kazdy w sieci sklepu moze zmieniac numery na tablicy.",
                  "Dwie strefy: w przygotowaniu / gotowe",
                  "Przypomnij po (sekundy, 0 = nie):", "Wywołuj numery głosem", "OK"}));
    expect_rows_apart(find_dialog("Obsluga zamówien"));
    // 90 s shows as 2 whole minutes, rounded up.
    EXPECT_EQ(texts(w), (std::vector<std::string>{"2", "5", "0", "0", "0"}));
    ASSERT_EQ(w.checks.size(), 5u);
    EXPECT_TRUE(gtk_check_button_get_active(GTK_CHECK_BUTTON(w.checks[0])));
    EXPECT_FALSE(gtk_check_button_get_active(GTK_CHECK_BUTTON(w.checks[1])));
    EXPECT_TRUE(gtk_check_button_get_active(GTK_CHECK_BUTTON(w.checks[2])));
    EXPECT_TRUE(service_dialog_open());

    // The seconds left as shown keep the file's field; the minutes typed over become seconds.
    gtk_editable_set_text(GTK_EDITABLE(w.entries[0]), "3");
    gtk_check_button_set_active(GTK_CHECK_BUTTON(w.checks[1]), TRUE);
    ASSERT_NE(w.ok, nullptr);
    g_signal_emit_by_name(w.ok, "clicked");
    EXPECT_FALSE(service_dialog_open());
    EXPECT_EQ(closed_, 1);
    BoardSettings settings{};
    SettingsTail stored{};
    ASSERT_TRUE(read_settings_file("setup.dat", &settings, &stored));
    ASSERT_TRUE(stored.present);
    const ExtensionFields expected{180, 5, 1, 1, 7};  // an untouched flag as the file held it
    EXPECT_EQ(std::memcmp(&stored.fields, &expected, sizeof expected), 0);
    EXPECT_EQ(stored.kept, tail.kept);
    EXPECT_FALSE(stored.web_present);  // port and PIN left at 0
}

TEST_F(GtkDialog, ServiceDialogShowsAndStoresTheWebAndZonesRows) {
    SettingsTail tail{true, ExtensionFields{}, {}};
    tail.fields.web_port = 8080;
    tail.fields.staff_pin = 1234;
    tail.web_present = true;
    ASSERT_TRUE(write_settings_file("setup.dat", default_settings(), tail));
    const Widgets w = open(true);
    ASSERT_EQ(w.entries.size(), 5u);
    ASSERT_EQ(w.checks.size(), 5u);
    EXPECT_EQ(texts(w), (std::vector<std::string>{"0", "0", "8080", "1234", "0"}));
    gtk_editable_set_text(GTK_EDITABLE(w.entries[2]), "65536");  // beyond: off
    gtk_editable_set_text(GTK_EDITABLE(w.entries[3]), "00042");
    gtk_check_button_set_active(GTK_CHECK_BUTTON(w.checks[3]), TRUE);
    gtk_editable_set_text(GTK_EDITABLE(w.entries[4]), "90");
    EXPECT_FALSE(gtk_check_button_get_active(GTK_CHECK_BUTTON(w.checks[4])));
    gtk_check_button_set_active(GTK_CHECK_BUTTON(w.checks[4]), TRUE);
    g_signal_emit_by_name(w.ok, "clicked");
    // The zones' rows bring the third block after the second.
    const std::string bytes = file_bytes();
    ASSERT_EQ(bytes.size(), kZonesTailedFileSize);
    EXPECT_EQ(bytes.substr(kWebTailedFileSize, 4), "PVX3");
    BoardSettings settings{};
    SettingsTail stored{};
    ASSERT_TRUE(read_settings_file("setup.dat", &settings, &stored));
    ASSERT_TRUE(stored.zones_present);
    EXPECT_EQ(stored.fields.web_port, 0);
    EXPECT_EQ(stored.fields.staff_pin, 42);
    EXPECT_EQ(stored.fields.zones, 1);
    EXPECT_EQ(stored.fields.overdue_seconds, 90);
    EXPECT_EQ(stored.fields.voice, 1);
}

// A web side whose every port is taken.
bool refuse_port(void*, uint16_t, int32_t) {
    return false;
}
void no_web_call(void*) {}
void no_pin(void*, int32_t) {}
const WebOps kRefusingWeb{refuse_port, no_web_call, no_pin, no_web_call, nullptr};

TEST_F(GtkDialog, ServiceDialogSaysOnceUnderOkThatThePortIsTaken) {
    Controller& controller = board_controller();
    controller.web = &kRefusingWeb;
    controller.window_ready = true;
    const Widgets w = open(true);
    ASSERT_EQ(w.entries.size(), 5u);
    gtk_editable_set_text(GTK_EDITABLE(w.entries[2]), "8080");
    g_signal_emit_by_name(w.ok, "clicked");
    EXPECT_TRUE(service_dialog_open());
    Widgets after;
    collect(GTK_WIDGET(find_dialog("Obsluga zamówien")), after);
    ASSERT_FALSE(after.labels.empty());
    EXPECT_EQ(after.labels.back(), "Port zajety lub niedostepny");
    expect_rows_apart(find_dialog("Obsluga zamówien"));
    g_signal_emit_by_name(w.ok, "clicked");  // the next OK closes it
    EXPECT_FALSE(service_dialog_open());
}

TEST_F(GtkDialog, ServiceDialogOkKeepsTheFieldsItDoesNotShow) {
    SettingsTail tail{true, ExtensionFields{}, {}};
    tail.fields.overdue_seconds = 30;
    tail.fields.voice = 1;
    tail.fields.reserved = -5;
    tail.web_present = true;
    tail.zones_present = true;
    ASSERT_TRUE(write_settings_file("setup.dat", default_settings(), tail));
    const Widgets w = open(true);
    ASSERT_EQ(w.entries.size(), 5u);  // none for the reserved field
    EXPECT_EQ(texts(w).back(), "30");
    gtk_editable_set_text(GTK_EDITABLE(w.entries[4]), "45");
    g_signal_emit_by_name(w.ok, "clicked");
    BoardSettings settings{};
    SettingsTail stored{};
    ASSERT_TRUE(read_settings_file("setup.dat", &settings, &stored));
    tail.fields.overdue_seconds = 45;
    EXPECT_EQ(std::memcmp(&stored.fields, &tail.fields, sizeof tail.fields), 0);
    EXPECT_EQ(stored.fields.voice, 1);
    EXPECT_EQ(stored.fields.reserved, -5);
}

}  // namespace
