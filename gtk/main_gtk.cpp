// The Linux board's entry: start-up in the Windows board's order, one GTK window that draws the
// board and takes its keys, repaint requests handed from the receiver thread to the GTK thread,
// and the way out.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "live/live_board.h"
#include "live/receiver.h"
#include "core/settings.h"
#include "gtk/service_dialog_gtk.h"
#include "gtk/settings_dialog_gtk.h"
#include "core/command_line.h"
#include "gtk/extensions_gtk.h"
#include "gtk/paint_cairo.h"
#include "core/pointer_idle.h"

namespace {

constexpr const char kAppId[] = "org.pelivor.Board";
constexpr const char kTitle[] = "Pelivor";
// How often a frameless board looks whether its pointer has been still long enough.
constexpr guint kPointerTickMs = 250;

// GTK-thread state: the window, its drawing area and the idle inhibition it holds.
struct Shell {
    GtkApplication* app = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    guint inhibit_cookie = 0;
    bool framed = false;
    // The frameless board's pointer: hidden after stillness over the board, back on movement.
    PointerIdle pointer{};
    bool pointer_over_board = false;
    guint pointer_timer = 0;
};

Shell g_shell;
// Set by the receiver thread when it asks for a paint, cleared on the GTK thread just before the
// paint is queued: a burst of numbers costs one idle callback, and a number accepted after the
// flag is cleared asks again, so none is left unpainted.
std::atomic<bool> g_repaint_pending{false};

void redraw() {
    if (g_shell.area != nullptr) {
        gtk_widget_queue_draw(g_shell.area);
    }
}

gboolean repaint_now(gpointer) {
    g_repaint_pending.store(false);
    redraw();
    return G_SOURCE_REMOVE;
}

// Runs on the receiver thread; GTK is not thread-safe, so only the idle source crosses over.
void request_repaint() {
    if (!g_repaint_pending.exchange(true)) {
        g_idle_add(repaint_now, nullptr);
    }
}

void paint_board(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer) {
    // Copied as the paint starts: a number accepted later asks for a paint of its own.
    const BoardCopy copy = copy_board(live_board());
    draw_board(cr, width, height, copy);
    schedule_extension_timer();
}

// Either dialog reloaded the whole file, the extensions' fields with it.
void settings_closed(bool) {
    schedule_extension_timer();
}

void service_closed(bool stored) {
    if (stored) {
        redraw();
    }
    schedule_extension_timer();
}

uint32_t tick_ms() {
    return static_cast<uint32_t>(g_get_monotonic_time() / 1000);
}

gboolean pointer_tick_due(gpointer);

// The stillness is counted only while a shown pointer is over the board: an idle board whose
// pointer is hidden or elsewhere runs no timer.
void keep_counting() {
    const bool counting = g_shell.pointer_over_board && !g_shell.pointer.hidden;
    if (counting && g_shell.pointer_timer == 0) {
        g_shell.pointer_timer = g_timeout_add(kPointerTickMs, pointer_tick_due, nullptr);
    } else if (!counting && g_shell.pointer_timer != 0) {
        g_source_remove(g_shell.pointer_timer);
        g_shell.pointer_timer = 0;
    }
}

void apply_pointer(PointerChange change) {
    if (g_shell.area != nullptr && change == PointerChange::kHide) {
        gtk_widget_set_cursor_from_name(g_shell.area, "none");
    } else if (g_shell.area != nullptr && change == PointerChange::kShow) {
        gtk_widget_set_cursor(g_shell.area, nullptr);
    }
    keep_counting();
}

void pointer_entered(GtkEventControllerMotion*, double x, double y, gpointer) {
    g_shell.pointer_over_board = true;
    apply_pointer(
        pointer_moved(&g_shell.pointer, static_cast<int>(x), static_cast<int>(y), tick_ms()));
}

void pointer_motion(GtkEventControllerMotion*, double x, double y, gpointer) {
    apply_pointer(
        pointer_moved(&g_shell.pointer, static_cast<int>(x), static_cast<int>(y), tick_ms()));
}

// Over a dialog the pointer is off the board and stays, as it is being used there.
void pointer_left(GtkEventControllerMotion*, gpointer) {
    g_shell.pointer_over_board = false;
    keep_counting();
}

gboolean pointer_tick_due(gpointer) {
    const PointerChange change =
        pointer_tick(&g_shell.pointer, g_shell.pointer_over_board, tick_ms());
    if (change == PointerChange::kHide) {
        g_shell.pointer_timer = 0;  // removed by returning so
        apply_pointer(change);
        return G_SOURCE_REMOVE;
    }
    apply_pointer(change);
    return G_SOURCE_CONTINUE;
}

void watch_pointer(GtkWidget* area) {
    g_shell.pointer = pointer_idle_start(tick_ms());
    GtkEventController* motion = gtk_event_controller_motion_new();
    g_signal_connect(motion, "enter", G_CALLBACK(pointer_entered), nullptr);
    g_signal_connect(motion, "motion", G_CALLBACK(pointer_motion), nullptr);
    g_signal_connect(motion, "leave", G_CALLBACK(pointer_left), nullptr);
    gtk_widget_add_controller(area, motion);
}

void end_program() {
    g_shell.pointer_over_board = false;
    keep_counting();
    if (g_shell.inhibit_cookie != 0) {
        gtk_application_uninhibit(g_shell.app, g_shell.inhibit_cookie);
        g_shell.inhibit_cookie = 0;
    }
    g_application_quit(G_APPLICATION(g_shell.app));
}

// Keys as the Windows board gets them: Escape ends it, every key that types a character opens
// the dialog, keys that type nothing and Alt combinations (the Windows accelerators) do nothing.
gboolean main_window_key(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state,
                         gpointer) {
    if (settings_dialog_open() || service_dialog_open()) {
        return TRUE;
    }
    // With Alt held Windows sends no character at all, not even Escape's.
    if ((state & GDK_ALT_MASK) != 0) {
        return FALSE;
    }
    if (keyval == GDK_KEY_Escape) {
        end_program();
        return TRUE;
    }
    // F-keys type no character, so F2 takes nothing from the keys below.
    if (keyval == GDK_KEY_F2) {
        open_service_dialog(GTK_WINDOW(g_shell.window), service_closed);
        return TRUE;
    }
    // The keypad's Enter types a carriage return on Windows too; Delete types nothing there.
    const bool types_character = (gdk_keyval_to_unicode(keyval) != 0 && keyval != GDK_KEY_Delete &&
                                  keyval != GDK_KEY_KP_Delete) ||
                                 keyval == GDK_KEY_KP_Enter;
    if (!types_character) {
        return FALSE;
    }
    // Modal; new settings show at the next repaint, which the next number requests.
    open_settings_dialog(GTK_WINDOW(g_shell.window), settings_closed);
    return TRUE;
}

void area_destroyed(GtkWidget*, gpointer) {
    g_shell.area = nullptr;
}

void keep_screen_on(GtkWidget* window, gpointer) {
    // Honoured by desktops with a session manager or portal and by Wayland compositors such as
    // cage; a bare X server has none, and then the cookie is 0.
    g_shell.inhibit_cookie =
        gtk_application_inhibit(g_shell.app, GTK_WINDOW(window),
                                static_cast<GtkApplicationInhibitFlags>(
                                    GTK_APPLICATION_INHIBIT_IDLE | GTK_APPLICATION_INHIBIT_SUSPEND),
                                "Pelivor shows the order numbers");
}

void create_main_window(GtkApplication* app, gpointer) {
    if (g_shell.window != nullptr) {
        return;
    }
    GtkWidget* window = gtk_application_window_new(app);
    gtk_window_set_title(GTK_WINDOW(window), kTitle);
    gtk_window_set_decorated(GTK_WINDOW(window), g_shell.framed);

    GtkWidget* area = gtk_drawing_area_new();
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(area), paint_board, nullptr, nullptr);
    if (!g_shell.framed) {
        watch_pointer(area);
    }
    g_signal_connect(area, "destroy", G_CALLBACK(area_destroyed), nullptr);
    gtk_window_set_child(GTK_WINDOW(window), area);

    GtkEventController* keys = gtk_event_controller_key_new();
    g_signal_connect(keys, "key-pressed", G_CALLBACK(main_window_key), nullptr);
    gtk_widget_add_controller(window, keys);
    g_signal_connect(window, "map", G_CALLBACK(keep_screen_on), nullptr);

    g_shell.window = window;
    g_shell.area = area;
    if (g_shell.framed) {
        gtk_window_maximize(GTK_WINDOW(window));
    } else {
        gtk_window_fullscreen(GTK_WINDOW(window));
    }
    set_extension_redraw(redraw);
    set_repaint_hook(request_repaint);
    set_chime_hook(play_chime);
    gtk_window_present(GTK_WINDOW(window));
}

gboolean stop_on_signal(gpointer) {
    end_program();
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    // Answered on the terminal, with no display and no "setup.dat" written; GTK never sees the
    // command line, so anything else stays ignored.
    for (int i = 1; i < argc; ++i) {
        if (const char* answer = command_line_answer(argv[i])) {
            std::fputs(answer, stdout);
            return 0;
        }
    }
    LiveBoard& board = live_board();
    {
        std::lock_guard<std::mutex> hold(board.lock);
        std::memset(&board.table, 0, sizeof board.table);
    }
    load_settings(board);
    start_receiver();
    g_shell.framed = board.settings.show_frame != 0;  // only this thread writes the settings

    // Non-unique: a second copy is a board of its own (its receiver finds the port taken).
    g_shell.app = gtk_application_new(kAppId, G_APPLICATION_NON_UNIQUE);
    g_signal_connect(g_shell.app, "activate", G_CALLBACK(create_main_window), nullptr);
    // systemd and Ctrl-C stop the board the way Escape does.
    g_unix_signal_add(SIGTERM, stop_on_signal, nullptr);
    g_unix_signal_add(SIGINT, stop_on_signal, nullptr);
    const int status = g_application_run(G_APPLICATION(g_shell.app), 0, nullptr);

    set_repaint_hook(nullptr);
    set_chime_hook(nullptr);
    stop_receiver();
    stop_extension_timer();  // the thread must be joined before the program ends
    g_object_unref(g_shell.app);
    return status;
}
