// What both GTK dialogs are built from: a modal window over the board, left-aligned labels,
// digits-only entries, the keys every dialog box answers alike, and a fixed tab order. Linux only.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

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

// The boxes of the `count` field-table rows from `first`, attached to `grid` from `grid_row` down
// as the Windows templates place them: a digits box right of its caption, the boxes of one group
// side by side in a frame (two groups to a grid row), a check box across the grid. boxes[i] is row
// first + i's; nullptr for a row shown in no dialog. Returns the grid row below them.
int attach_field_boxes(GtkWidget* grid, int grid_row, int first, int count, GtkWidget** boxes);

// The boxes show `entries`: digits, or a check box checked for any but 0. Rows with no box are
// passed over, here and in reading.
void show_field_entries(GtkWidget* const* boxes, int first, int count, const uint32_t* entries);

// What the boxes hold as typed, read as their dialog reads them (box_value); a check box as 1 or 0.
void read_field_entries(GtkWidget* const* boxes, int first, int count, uint32_t* entries);

// The Windows template's tab order into `order` (at most count + 1 widgets): with `ok_first`, OK,
// the check boxes, then the digits boxes, as the settings dialog's template lists them; otherwise
// the boxes in the rows' order, then OK. Returns how many it put there.
int field_tab_order(GtkWidget* const* boxes, int first, int count, GtkWidget* ok, bool ok_first,
                    GtkWidget** order);
