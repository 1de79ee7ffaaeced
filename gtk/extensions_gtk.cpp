// The chime and the voice through GTK's media stream (the GStreamer backend).
#include "gtk/extensions_gtk.h"

#include <glib/gstdio.h>
#include <gtk/gtk.h>

#include <atomic>
#include <vector>

#include "core/voice_clips.h"

namespace {

constexpr const char kChimeResource[] = "/org/pelivor/Board/chime.wav";

GtkMediaStream* g_chime = nullptr;  // GTK thread only

std::atomic<void (*)()> g_chime_player{play_chime_resource};
std::atomic<int64_t (*)(const Phrase&)> g_voice_player{say_phrase_clips};

GtkMediaStream* g_phrase = nullptr;  // GTK thread only
// GTK's media backend plays files and resources, not memory: each phrase is written to one of two
// files in a private folder, made at the first phrase. The speaker's thread writes them; the exit
// removes them after that thread is joined.
gchar* g_phrase_dir = nullptr;
int g_phrase_turn = 0;

gchar* phrase_path(int turn) {
    return g_strdup_printf("%s/phrase-%d.wav", g_phrase_dir, turn);
}

gboolean start_phrase(gpointer path) {
    if (g_phrase != nullptr) {
        g_object_unref(g_phrase);
    }
    g_phrase = gtk_media_file_new_for_filename(static_cast<const char*>(path));
    gtk_media_stream_play(g_phrase);
    g_free(path);
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

void play_chime() {
    g_chime_player.load()();
}

void stop_chime() {
    if (g_chime != nullptr) {
        g_object_unref(g_chime);
        g_chime = nullptr;
    }
    if (g_phrase != nullptr) {
        g_object_unref(g_phrase);
        g_phrase = nullptr;
    }
    if (g_phrase_dir != nullptr) {
        for (int turn = 0; turn < 2; ++turn) {
            gchar* path = phrase_path(turn);
            g_remove(path);
            g_free(path);
        }
        g_rmdir(g_phrase_dir);
        g_free(g_phrase_dir);
        g_phrase_dir = nullptr;
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

int64_t say_phrase(const Phrase& phrase) {
    return g_voice_player.load()(phrase);
}

void set_voice_player(int64_t (*player)(const Phrase& phrase)) {
    g_voice_player.store(player != nullptr ? player : say_phrase_clips);
}

int64_t say_phrase_clips(const Phrase& phrase) {
    const std::vector<unsigned char> wave = joined_phrase(phrase);
    if (g_phrase_dir == nullptr) {
        g_phrase_dir = g_dir_make_tmp("pelivor-voice-XXXXXX", nullptr);
    }
    if (wave.empty() || g_phrase_dir == nullptr) {
        return 0;
    }
    // The other file may still be read by the stream before; this one's stream has ended.
    g_phrase_turn = 1 - g_phrase_turn;
    gchar* path = phrase_path(g_phrase_turn);
    if (!g_file_set_contents(path, reinterpret_cast<const gchar*>(wave.data()),
                             static_cast<gssize>(wave.size()), nullptr)) {
        g_free(path);
        return 0;
    }
    g_idle_add(start_phrase, path);
    return wave_ms(wave);
}
