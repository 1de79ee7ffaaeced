// The second dialog with GTK widgets, in the Windows dialog's order: the minutes, the seconds,
// three check boxes, then OK. OK hands the entries to judge_service_entries, as on Windows.
#include "gtk/service_dialog_gtk.h"

#include <algorithm>
#include <string>

#include "live/live_board.h"
#include "core/dialog_entries.h"
#include "gtk/dialog_widgets_gtk.h"

namespace {

constexpr int kWidgets = 6;

struct ServiceDialog {
    GtkWidget* window;
    GtkWidget* expire_minutes;
    GtkWidget* highlight_seconds;
    GtkWidget* chime;
    GtkWidget* commands;
    GtkWidget* fit_text;
    GtkWidget* ok;
    GtkWidget* order[kWidgets];
    DialogKeys keys;
    DialogClosed closed;
    bool stored;
};

ServiceDialog* g_service = nullptr;  // the GTK thread's only

ExtensionFields live_fields() {
    LiveBoard& board = live_board();
    std::lock_guard<std::mutex> hold(board.lock);
    return board.tail.present ? board.tail.fields : ExtensionFields{};
}

void set_number(GtkWidget* box, uint32_t value) {
    gtk_editable_set_text(GTK_EDITABLE(box), std::to_string(value).c_str());
}

void show_fields(ServiceDialog& d) {
    load_settings(live_board());
    const ServiceEntries shown = service_entries_of(live_fields());
    set_number(d.expire_minutes, shown.expire_minutes);
    set_number(d.highlight_seconds, shown.highlight_seconds);
    gtk_check_button_set_active(GTK_CHECK_BUTTON(d.chime), shown.chime);
    gtk_check_button_set_active(GTK_CHECK_BUTTON(d.commands), shown.commands);
    gtk_check_button_set_active(GTK_CHECK_BUTTON(d.fit_text), shown.fit_text);
}

uint32_t read_box(GtkWidget* box) {
    return service_entry_value(gtk_editable_get_text(GTK_EDITABLE(box)));
}

bool read_check(GtkWidget* box) {
    return gtk_check_button_get_active(GTK_CHECK_BUTTON(box));
}

void confirm(void* data) {
    ServiceDialog& d = *static_cast<ServiceDialog*>(data);
    ServiceEntries entries{};
    entries.expire_minutes = read_box(d.expire_minutes);
    entries.highlight_seconds = read_box(d.highlight_seconds);
    entries.chime = read_check(d.chime);
    entries.commands = read_check(d.commands);
    entries.fit_text = read_check(d.fit_text);
    store_extensions(live_board(), judge_service_entries(entries, live_fields()));
    d.stored = true;
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

    d.expire_minutes = digit_box(5);
    d.highlight_seconds = digit_box(5);
    gtk_grid_attach(GTK_GRID(grid), dialog_label("Usuwaj numer po (minuty, 0 = nigdy):"), 0, 0, 1,
                    1);
    gtk_grid_attach(GTK_GRID(grid), d.expire_minutes, 1, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), dialog_label("Wyrózniaj nowy numer (sekundy, 0 = nie):"), 0, 1,
                    1, 1);
    gtk_grid_attach(GTK_GRID(grid), d.highlight_seconds, 1, 1, 1, 1);
    d.chime = gtk_check_button_new_with_label("Dzwiek przy nowym numerze");
    gtk_grid_attach(GTK_GRID(grid), d.chime, 0, 2, 2, 1);
    d.commands =
        gtk_check_button_new_with_label("Przyjmuj polecenia: -57 usuwa 57, - czysci tablice");
    gtk_grid_attach(GTK_GRID(grid), d.commands, 0, 3, 2, 1);
    d.fit_text = gtk_check_button_new_with_label("Dopasuj numery do komórek");
    gtk_grid_attach(GTK_GRID(grid), d.fit_text, 0, 4, 2, 1);
    d.ok = ok_button();
    gtk_grid_attach(GTK_GRID(grid), d.ok, 0, 5, 2, 1);
    gtk_window_set_child(GTK_WINDOW(d.window), grid);

    GtkWidget* const order[kWidgets] = {d.expire_minutes, d.highlight_seconds, d.chime,
                                        d.commands,       d.fit_text,          d.ok};
    std::copy(order, order + kWidgets, d.order);
    d.keys = DialogKeys{confirm, cancel, d.order, kWidgets, &d};
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
    gtk_widget_grab_focus(g_service->expire_minutes);
}
