// The settings dialog "Parametry" for the GTK board: a modal window over the board. Linux only.
#pragma once

#include <gtk/gtk.h>

// Called on the GTK thread once a dialog has gone; `stored` after an OK that saved.
using DialogClosed = void (*)(bool stored);

// Reloads "setup.dat" and shows it; OK stores the reduced entries in the live record and the file
// unless the grid would be empty, Escape or closing cancels. Does nothing while one is open.
void open_settings_dialog(GtkWindow* owner, DialogClosed closed = nullptr);

// While it is open the board takes no keys, as a Windows owner of a modal dialog takes none.
bool settings_dialog_open();
