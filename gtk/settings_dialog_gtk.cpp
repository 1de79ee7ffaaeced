// The settings dialog with GTK widgets: the boxes are filled from "setup.dat" when it opens, and
// OK hands what was typed to judge_entries, as the Windows dialog does. The tab order is the
// Windows one: OK, the check box, then the eight boxes.
#include "gtk/settings_dialog_gtk.h"

#include <cstring>
#include <string>

#include "live/live_board.h"
#include "res/resource.h"
#include "core/dialog_entries.h"
#include "gtk/dialog_widgets_gtk.h"

namespace {

constexpr int kBoxes = 8;

struct SettingsDialog {
    GtkWidget* window;
    GtkWidget* ok;
    GtkWidget* show_frame;
    GtkWidget* boxes[kBoxes];  // IDC_ROWS .. IDC_TEXT_BLUE, in that order
    GtkWidget* order[2 + kBoxes];
    DialogKeys keys;
    DialogClosed closed;
    bool stored;
};

// The one open dialog; only the GTK thread touches it.
SettingsDialog* g_dialog = nullptr;

GtkWidget* colour_group(const char* caption, GtkWidget** boxes) {
    GtkWidget* frame = gtk_frame_new(caption);
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_widget_set_margin_start(row, 6);
    gtk_widget_set_margin_end(row, 6);
    gtk_widget_set_margin_top(row, 4);
    gtk_widget_set_margin_bottom(row, 6);
    for (int i = 0; i < 3; ++i) {
        boxes[i] = digit_box(3);
        gtk_box_append(GTK_BOX(row), boxes[i]);
    }
    gtk_frame_set_child(GTK_FRAME(frame), row);
    return frame;
}

void show_settings(SettingsDialog& d) {
    LiveBoard& board = live_board();
    load_settings(board);
    BoardSettings s;
    {
        std::lock_guard<std::mutex> hold(board.lock);
        s = board.settings;
    }
    const int32_t fields[kBoxes] = {s.rows,      s.columns,  s.back_red,   s.back_green,
                                    s.back_blue, s.text_red, s.text_green, s.text_blue};
    for (int i = 0; i < kBoxes; ++i) {
        // Unsigned, as the boxes take digits only: a negative field shows as its 32-bit pattern.
        const std::string shown = std::to_string(static_cast<uint32_t>(fields[i]));
        gtk_editable_set_text(GTK_EDITABLE(d.boxes[i]), shown.c_str());
    }
    gtk_check_button_set_active(GTK_CHECK_BUTTON(d.show_frame), s.show_frame != 0);
}

void confirm_settings(SettingsDialog& d) {
    uint32_t values[kBoxes];
    for (int i = 0; i < kBoxes; ++i) {
        values[i] = entry_value(gtk_editable_get_text(GTK_EDITABLE(d.boxes[i])));
    }
    DialogEntries entries{values[0], values[1], values[2], values[3], values[4],
                          values[5], values[6], values[7], false};
    entries.show_frame = gtk_check_button_get_active(GTK_CHECK_BUTTON(d.show_frame));

    const EntriesVerdict verdict = judge_entries(entries);
    if (verdict.refused_box != 0) {
        gtk_widget_error_bell(d.window);
        // Grabbing an entry's focus selects its whole text, ready to be typed over.
        gtk_widget_grab_focus(d.boxes[verdict.refused_box - IDC_ROWS]);
        return;
    }
    store_settings(live_board(), verdict.settings);
    d.stored = true;
    gtk_window_destroy(GTK_WINDOW(d.window));
}

void confirm(void* data) {
    confirm_settings(*static_cast<SettingsDialog*>(data));
}

void cancel(void* data) {
    gtk_window_destroy(GTK_WINDOW(static_cast<SettingsDialog*>(data)->window));
}

void ok_clicked(GtkButton*, gpointer data) {
    confirm_settings(*static_cast<SettingsDialog*>(data));
}

void dialog_destroyed(GtkWidget*, gpointer data) {
    SettingsDialog* d = static_cast<SettingsDialog*>(data);
    const DialogClosed closed = d->closed;
    const bool stored = d->stored;
    delete d;
    g_dialog = nullptr;
    if (closed != nullptr) {
        closed(stored);
    }
}

void build_dialog(SettingsDialog& d, GtkWindow* owner) {
    d.window = dialog_window(owner, "Parametry");

    GtkWidget* grid = dialog_grid();

    d.boxes[0] = digit_box(5);
    d.boxes[1] = digit_box(5);
    gtk_grid_attach(GTK_GRID(grid), dialog_label("Ilosc zamówien w pionie:"), 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), d.boxes[0], 1, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), dialog_label("Ilosc zamówien w poziomie:"), 0, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), d.boxes[1], 1, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), colour_group("Kolor tla (RGB)", d.boxes + 2), 0, 2, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), colour_group("Kolor napisów (RGB)", d.boxes + 5), 1, 2, 1, 1);
    d.show_frame = gtk_check_button_new_with_label("Po uruchomieniu nie ukrywaj menu i ramki");
    gtk_grid_attach(GTK_GRID(grid), d.show_frame, 0, 3, 2, 1);
    d.ok = ok_button();
    gtk_grid_attach(GTK_GRID(grid), d.ok, 0, 4, 2, 1);
    gtk_window_set_child(GTK_WINDOW(d.window), grid);

    g_signal_connect(d.ok, "clicked", G_CALLBACK(ok_clicked), &d);
    d.order[0] = d.ok;
    d.order[1] = d.show_frame;
    std::memcpy(d.order + 2, d.boxes, sizeof d.boxes);
    d.keys = DialogKeys{confirm, cancel, d.order, 2 + kBoxes, &d};
    answer_dialog_keys(d.window, &d.keys);
    g_signal_connect(d.window, "destroy", G_CALLBACK(dialog_destroyed), &d);
}

}  // namespace

bool settings_dialog_open() {
    return g_dialog != nullptr;
}

void open_settings_dialog(GtkWindow* owner, DialogClosed closed) {
    if (g_dialog != nullptr) {
        return;
    }
    g_dialog = new SettingsDialog{};
    g_dialog->closed = closed;
    build_dialog(*g_dialog, owner);
    show_settings(*g_dialog);
    gtk_window_present(GTK_WINDOW(g_dialog->window));
    // The first tab stop, OK, has the focus, as on Windows.
    gtk_widget_grab_focus(g_dialog->ok);
}
