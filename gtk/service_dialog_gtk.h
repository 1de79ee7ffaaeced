// The second dialog "Obsluga zamówien" for the GTK board: the extensions' fields of "setup.dat".
// Linux only.
#pragma once

#include <gtk/gtk.h>

#include "gtk/settings_dialog_gtk.h"

// Reloads "setup.dat" and shows its extension fields; OK stores what the entries make of them,
// Escape or closing cancels. Does nothing while one is open.
void open_service_dialog(GtkWindow* owner, DialogClosed closed = nullptr);

bool service_dialog_open();
