// The second dialog with GTK widgets, in the Windows dialog's order: the minutes, the seconds,
// three check boxes, the port, the PIN and the note on a PIN of 0, the zones' check box and the
// seconds before a waiting number is cued, then OK. OK hands the entries to
// judge_service_entries, as on Windows.
#include "gtk/service_dialog_gtk.h"

#include "core/dialog_entries.h"
#include "gtk/dialog_widgets_gtk.h"
#include "live/controller.h"
#include "live/live_board.h"

namespace {

struct ServiceDialog {
    GtkWidget* window;
    GtkWidget* grid;
    int below;                          // the row under OK
    GtkWidget* boxes[kTailFieldCount];  // the tail's rows, in the table's order; nullptr: none
    GtkWidget* ok;
    GtkWidget* order[kTailFieldCount + 1];
    ExtensionFields shown;  // as the file held them: what an entry left alone keeps
    DialogKeys keys;
    DialogClosed closed;
    bool stored;
    bool said_refused;
};

ServiceDialog* g_service = nullptr;  // the GTK thread's only

void show_fields(ServiceDialog& d) {
    d.shown = dialog_snapshot(live_board()).fields;
    const ServiceEntries shown = service_entries_of(d.shown);
    show_field_entries(d.boxes, kRecordFieldCount, kTailFieldCount, shown.box);
}

void confirm(void* data) {
    ServiceDialog& d = *static_cast<ServiceDialog*>(data);
    ServiceEntries entries{};
    read_field_entries(d.boxes, kRecordFieldCount, kTailFieldCount, entries.box);
    d.shown = judge_service_entries(entries, d.shown);
    store_extensions(live_board(), d.shown);
    d.stored = true;
    if (!controller_apply_web(board_controller()) && !d.said_refused) {
        d.said_refused = true;
        gtk_grid_attach(GTK_GRID(d.grid), gtk_label_new(kWebPortRefused), 0, d.below, 2, 1);
        return;
    }
    gtk_window_destroy(GTK_WINDOW(d.window));
}

void cancel(void* data) {
    gtk_window_destroy(GTK_WINDOW(static_cast<ServiceDialog*>(data)->window));
}

void ok_clicked(GtkButton*, gpointer data) {
    confirm(data);
}

void dialog_destroyed(GtkWidget*, gpointer data) {
    ServiceDialog* d = static_cast<ServiceDialog*>(data);
    const DialogClosed closed = d->closed;
    const bool stored = d->stored;
    delete d;
    g_service = nullptr;
    if (closed != nullptr) {
        closed(stored);
    }
}

void build_dialog(ServiceDialog& d, GtkWindow* owner) {
    d.window = dialog_window(owner, "Obsluga zamówien");
    GtkWidget* grid = dialog_grid();
    // The note stands right under the PIN's box, before the rows that follow it.
    constexpr int kUpToPin = field_index(&ExtensionFields::staff_pin) + 1 - kRecordFieldCount;
    int below = attach_field_boxes(grid, 0, kRecordFieldCount, kUpToPin, d.boxes);
    gtk_grid_attach(GTK_GRID(grid), dialog_label(kNoPinNote), 0, below, 2, 1);
    below = attach_field_boxes(grid, below + 1, kRecordFieldCount + kUpToPin,
                               kTailFieldCount - kUpToPin, d.boxes + kUpToPin);
    d.ok = ok_button();
    gtk_grid_attach(GTK_GRID(grid), d.ok, 0, below, 2, 1);
    d.grid = grid;
    d.below = below + 1;
    gtk_window_set_child(GTK_WINDOW(d.window), grid);

    const int stops =
        field_tab_order(d.boxes, kRecordFieldCount, kTailFieldCount, d.ok, false, d.order);
    d.keys = DialogKeys{confirm, cancel, d.order, stops, &d};
    answer_dialog_keys(d.window, &d.keys);
    g_signal_connect(d.ok, "clicked", G_CALLBACK(ok_clicked), &d);
    g_signal_connect(d.window, "destroy", G_CALLBACK(dialog_destroyed), &d);
}

}  // namespace

bool service_dialog_open() {
    return g_service != nullptr;
}

void open_service_dialog(GtkWindow* owner, DialogClosed closed) {
    if (g_service != nullptr) {
        return;
    }
    g_service = new ServiceDialog{};
    g_service->closed = closed;
    build_dialog(*g_service, owner);
    show_fields(*g_service);
    gtk_window_present(GTK_WINDOW(g_service->window));
    // The first tab stop, the minutes, with its text selected to be typed over, as on Windows.
    gtk_widget_grab_focus(g_service->order[0]);
}
