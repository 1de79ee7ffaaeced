// The extensions' GTK side: a GLib timeout re-armed after every paint and round, and the chime
// played from the program's own resource through GTK's media stream (the GStreamer backend).
#include "gtk/extensions_gtk.h"

#include <gtk/gtk.h>

#include <atomic>
#include <cstdint>

#include "live/live_board.h"

namespace {

constexpr const char kChimeResource[] = "/org/pelivor/Board/chime.wav";

// GTK thread only.
guint g_timer = 0;
void (*g_redraw)() = nullptr;
GtkMediaStream* g_chime = nullptr;

std::atomic<void (*)()> g_chime_player{play_chime_resource};

gboolean timer_fired(gpointer);

void arm_timer(int64_t due) {
    if (g_timer != 0) {
        g_source_remove(g_timer);
        g_timer = 0;
    }
    if (due == kNever) {
        return;
    }
    int64_t wait = due - live_board().clock();
    if (wait < 0) {
        wait = 0;
    }
    // A wait longer than GLib's counter cannot be due: the bounds keep every wait within a day.
    g_timer = g_timeout_add(static_cast<guint>(wait < G_MAXUINT ? wait : G_MAXUINT), timer_fired,
                            nullptr);
}

gboolean timer_fired(gpointer) {
    g_timer = 0;
    const TimerRound round = run_timer_round(live_board());
    if (round.repaint && g_redraw != nullptr) {
        g_redraw();
    }
    arm_timer(round.due);
    return G_SOURCE_REMOVE;
}

gboolean start_chime(gpointer) {
    // A fresh stream each time: one still sounding from a second ago is simply cut short.
    if (g_chime != nullptr) {
        g_object_unref(g_chime);
    }
    g_chime = gtk_media_file_new_for_resource(kChimeResource);
    gtk_media_stream_play(g_chime);
    return G_SOURCE_REMOVE;
}

}  // namespace

void set_extension_redraw(void (*redraw)()) {
    g_redraw = redraw;
}

void schedule_extension_timer() {
    arm_timer(next_timer_round(live_board()));
}

void stop_extension_timer() {
    arm_timer(kNever);
    if (g_chime != nullptr) {
        g_object_unref(g_chime);
        g_chime = nullptr;
    }
}

void play_chime() {
    g_chime_player.load()();
}

void set_chime_player(void (*player)()) {
    g_chime_player.store(player != nullptr ? player : play_chime_resource);
}

void play_chime_resource() {
    // Called on the receiver thread: the stream is made and played on the GTK thread, and GStreamer
    // plays it on threads of its own, so neither waits for the sound.
    g_idle_add(start_chime, nullptr);
}
