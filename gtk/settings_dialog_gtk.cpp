// The settings dialog with GTK widgets: the boxes are filled from "setup.dat" when it opens, and
// OK hands what was typed to judge_entries, as the Windows dialog does. The tab order is the
// Windows one: OK, the check box, then the eight boxes.
#include "gtk/settings_dialog_gtk.h"

#include "core/dialog_entries.h"
#include "gtk/dialog_widgets_gtk.h"
#include "live/live_board.h"

namespace {

struct SettingsDialog {
    GtkWidget* window;
    GtkWidget* ok;
    GtkWidget* boxes[kRecordFieldCount];  // the record's rows, in the table's order
    GtkWidget* order[kRecordFieldCount + 1];
    DialogKeys keys;
    DialogClosed closed;
    bool stored;
};

// The one open dialog; only the GTK thread touches it.
SettingsDialog* g_dialog = nullptr;

void show_settings(SettingsDialog& d) {
    const DialogEntries shown = entries_of(dialog_snapshot(live_board()).settings);
    show_field_entries(d.boxes, 0, kRecordFieldCount, shown.box);
}

void confirm_settings(SettingsDialog& d) {
    DialogEntries entries{};
    read_field_entries(d.boxes, 0, kRecordFieldCount, entries.box);
    const EntriesVerdict verdict = judge_entries(entries);
    if (verdict.refused != kNoField) {
        gtk_widget_error_bell(d.window);
        // Grabbing an entry's focus selects its whole text, ready to be typed over.
        gtk_widget_grab_focus(d.boxes[verdict.refused]);
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
    const int below = attach_field_boxes(grid, 0, 0, kRecordFieldCount, d.boxes);
    d.ok = ok_button();
    gtk_grid_attach(GTK_GRID(grid), d.ok, 0, below, 2, 1);
    gtk_window_set_child(GTK_WINDOW(d.window), grid);

    g_signal_connect(d.ok, "clicked", G_CALLBACK(ok_clicked), &d);
    const int stops = field_tab_order(d.boxes, 0, kRecordFieldCount, d.ok, true, d.order);
    d.keys = DialogKeys{confirm, cancel, d.order, stops, &d};
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
