// What both GTK dialogs are built from: a modal window over the board, left-aligned labels,
// digits-only entries, the keys every dialog box answers alike, and a fixed tab order. Linux only.
#pragma once

#include <gtk/gtk.h>

// A modal, fixed-size window titled `title` over `owner`, destroyed with it.
GtkWidget* dialog_window(GtkWindow* owner, const char* title);

GtkWidget* dialog_label(const char* text);

// The grid a dialog's widgets stand in, with the margins and spacing both dialogs use.
GtkWidget* dialog_grid();

// The centred "OK" button.
GtkWidget* ok_button();

// An entry that lets only the digits of whatever is typed or pasted into it.
GtkWidget* digit_box(int width_chars);

// What the keys of a dialog box do: Enter confirms, Escape cancels, Tab and Shift+Tab walk
// `order` (count widgets). Handlers get `data`.
struct DialogKeys {
    void (*confirm)(void* data);
    void (*cancel)(void* data);
    GtkWidget* const* order;
    int count;
    void* data;
};

// Caught before the focused widget sees them, so they mean the same in every box. `keys` must
// live as long as the window.
void answer_dialog_keys(GtkWidget* window, const DialogKeys* keys);
