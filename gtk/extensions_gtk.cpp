// The chime through GTK's media stream (the GStreamer backend).
#include "gtk/extensions_gtk.h"

#include <gtk/gtk.h>

#include <atomic>

namespace {

constexpr const char kChimeResource[] = "/org/pelivor/Board/chime.wav";

GtkMediaStream* g_chime = nullptr;  // GTK thread only

std::atomic<void (*)()> g_chime_player{play_chime_resource};

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

void play_chime() {
    g_chime_player.load()();
}

void stop_chime() {
    if (g_chime != nullptr) {
        g_object_unref(g_chime);
        g_chime = nullptr;
    }
}

void set_chime_player(void (*player)()) {
    g_chime_player.store(player != nullptr ? player : play_chime_resource);
}

void play_chime_resource() {
    // Called on the receiver thread: the stream is made and played on the GTK thread, and GStreamer
    // plays it on threads of its own, so neither waits for the sound.
    g_idle_add(start_chime, nullptr);
}
