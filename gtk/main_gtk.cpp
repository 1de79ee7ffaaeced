// The Linux board's entry: the controller's shell table over GTK, one window that draws the board
// and hands its keys and pointer to the controller, and the way out.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cstdio>

#include "core/command_line.h"
#include "gtk/extensions_gtk.h"
#include "gtk/paint_cairo.h"
#include "gtk/service_dialog_gtk.h"
#include "gtk/settings_dialog_gtk.h"
#include "live/controller.h"
#include "live/speaker.h"
#include "web/web_front.h"

namespace {

constexpr const char kAppId[] = "org.pelivor.Board";
constexpr const char kTitle[] = "Pelivor";

// GTK-thread state: the window, its drawing area, the idle inhibition it holds and its timers.
struct Shell {
    GtkApplication* app = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    guint inhibit_cookie = 0;
    bool framed = false;
    guint timers[2] = {};  // by ShellTimer
};

Shell g_shell;

gboolean repaint_now(gpointer) {
    if (g_shell.area != nullptr) {
        gtk_widget_queue_draw(g_shell.area);
    }
    return G_SOURCE_REMOVE;
}

// The shell table. A repaint may be asked for on the receiver thread; GTK is not thread-safe, so
// only the idle source crosses over.
void request_repaint(void*) {
    g_idle_add(repaint_now, nullptr);
}

gboolean timer_due(gpointer data) {
    const auto timer = static_cast<ShellTimer>(GPOINTER_TO_INT(data));
    guint& id = g_shell.timers[static_cast<int>(timer)];
    const guint firing = id;
    controller_timer_fired(board_controller(), timer);
    // Armed again or cancelled meanwhile: this source is gone already.
    return id == firing ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void cancel_timer(void*, ShellTimer timer) {
    guint& id = g_shell.timers[static_cast<int>(timer)];
    if (id != 0) {
        g_source_remove(id);
        id = 0;
    }
}

void arm_timer(void*, ShellTimer timer, uint32_t wait_ms) {
    cancel_timer(nullptr, timer);
    g_shell.timers[static_cast<int>(timer)] =
        g_timeout_add(wait_ms, timer_due, GINT_TO_POINTER(static_cast<int>(timer)));
}

void chime(void*) {
    play_chime();
}

void settings_closed(bool stored) {
    controller_dialog_closed(board_controller(), DialogKind::kSettings, stored);
}

void service_closed(bool stored) {
    controller_dialog_closed(board_controller(), DialogKind::kService, stored);
}

void open_dialog(void*, DialogKind kind) {
    if (kind == DialogKind::kSettings) {
        open_settings_dialog(GTK_WINDOW(g_shell.window), settings_closed);
    } else {
        open_service_dialog(GTK_WINDOW(g_shell.window), service_closed);
    }
}

void quit(void*) {
    if (g_shell.inhibit_cookie != 0) {
        gtk_application_uninhibit(g_shell.app, g_shell.inhibit_cookie);
        g_shell.inhibit_cookie = 0;
    }
    g_application_quit(G_APPLICATION(g_shell.app));
}

void show_pointer(void*, bool shown) {
    if (g_shell.area == nullptr) {
        return;
    }
    if (shown) {
        gtk_widget_set_cursor(g_shell.area, nullptr);
    } else {
        gtk_widget_set_cursor_from_name(g_shell.area, "none");
    }
}

const ShellOps kShellOps = {request_repaint, arm_timer, cancel_timer, chime,
                            open_dialog,     quit,      show_pointer};

void paint_board(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer) {
    const BoardCopy copy = controller_paint_begun(board_controller());
    draw_board(cr, width, height, copy);
    controller_painted(board_controller());
}

void pointer_motion(GtkEventControllerMotion*, double x, double y, gpointer) {
    controller_pointer_moved(board_controller(), static_cast<int>(x), static_cast<int>(y));
}

// Over a dialog the pointer is off the board and stays, as it is being used there.
void pointer_left(GtkEventControllerMotion*, gpointer) {
    controller_pointer_over(board_controller(), false);
}

void watch_pointer(GtkWidget* area) {
    GtkEventController* motion = gtk_event_controller_motion_new();
    g_signal_connect(motion, "enter", G_CALLBACK(pointer_motion), nullptr);
    g_signal_connect(motion, "motion", G_CALLBACK(pointer_motion), nullptr);
    g_signal_connect(motion, "leave", G_CALLBACK(pointer_left), nullptr);
    gtk_widget_add_controller(area, motion);
}

// Keys as the Windows board gets them: Escape types 27, and keys that type nothing there type
// nothing here.
gboolean main_window_key(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state,
                         gpointer) {
    BoardKey key{};
    key.alt = (state & GDK_ALT_MASK) != 0;
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F35) {
        key.function_key = static_cast<int>(keyval - GDK_KEY_F1) + 1;
    }
    key.character = keyval == GDK_KEY_Escape ? kEscapeCharacter : gdk_keyval_to_unicode(keyval);
    // The keypad's Enter types a carriage return on Windows too; Delete types nothing there.
    key.typed = keyval == GDK_KEY_Escape ||
                (key.character != 0 && keyval != GDK_KEY_Delete && keyval != GDK_KEY_KP_Delete) ||
                keyval == GDK_KEY_KP_Enter;
    return controller_key(board_controller(), key);
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
    controller_window_ready(board_controller());
    gtk_window_present(GTK_WINDOW(window));
}

gboolean stop_on_signal(gpointer) {
    quit(nullptr);
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
    Controller& controller = board_controller();
    controller.ops = &kShellOps;
    controller.speaker->say = say_phrase;
    controller.web = web_front_ops(controller);
    g_shell.framed = controller_start(controller);

    // Non-unique: a second copy is a board of its own (its receiver finds the port taken).
    g_shell.app = gtk_application_new(kAppId, G_APPLICATION_NON_UNIQUE);
    g_signal_connect(g_shell.app, "activate", G_CALLBACK(create_main_window), nullptr);
    // systemd and Ctrl-C stop the board the way Escape does.
    g_unix_signal_add(SIGTERM, stop_on_signal, nullptr);
    g_unix_signal_add(SIGINT, stop_on_signal, nullptr);
    const int status = g_application_run(G_APPLICATION(g_shell.app), 0, nullptr);

    controller_stop(controller);
    stop_chime();
    g_object_unref(g_shell.app);
    return status;
}
