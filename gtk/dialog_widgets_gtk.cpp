// The pieces both GTK dialogs share. The tab order is the Windows dialogs' own, not the one GTK
// derives from positions.
#include "gtk/dialog_widgets_gtk.h"

#include <cstring>
#include <string>

#include "core/dialog_entries.h"

namespace {

void keep_digits(GtkEditable* editable, const char* text, int length, int* position, gpointer) {
    const size_t size = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    std::string digits;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits.push_back(text[i]);
        }
    }
    if (digits.size() == size) {
        return;
    }
    g_signal_handlers_block_by_func(editable, reinterpret_cast<gpointer>(keep_digits), nullptr);
    gtk_editable_insert_text(editable, digits.c_str(), static_cast<int>(digits.size()), position);
    g_signal_handlers_unblock_by_func(editable, reinterpret_cast<gpointer>(keep_digits), nullptr);
    g_signal_stop_emission_by_name(editable, "insert-text");
}

void move_focus(GtkWidget* window, const DialogKeys& keys, bool forward) {
    GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window));
    int at = -1;
    for (int i = 0; i < keys.count && at < 0; ++i) {
        // The focus sits on an entry's inner text widget, a descendant of the entry.
        if (focus != nullptr &&
            (focus == keys.order[i] || gtk_widget_is_ancestor(focus, keys.order[i]))) {
            at = i;
        }
    }
    const int next = at < 0 ? 0 : (at + (forward ? 1 : keys.count - 1)) % keys.count;
    gtk_widget_grab_focus(keys.order[next]);
}

gboolean dialog_key(GtkEventControllerKey* controller, guint keyval, guint, GdkModifierType state,
                    gpointer data) {
    const DialogKeys& keys = *static_cast<const DialogKeys*>(data);
    switch (keyval) {
        case GDK_KEY_Escape:
            keys.cancel(keys.data);
            return TRUE;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            keys.confirm(keys.data);
            return TRUE;
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            move_focus(gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(controller)), keys,
                       keyval == GDK_KEY_Tab && (state & GDK_SHIFT_MASK) == 0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

GtkWidget* dialog_window(GtkWindow* owner, const char* title) {
    GtkWidget* window = gtk_window_new();
    gtk_window_set_title(GTK_WINDOW(window), title);
    gtk_window_set_transient_for(GTK_WINDOW(window), owner);
    gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(window), TRUE);
    return window;
}

GtkWidget* dialog_label(const char* text) {
    GtkWidget* widget = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
    return widget;
}

GtkWidget* dialog_grid() {
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    gtk_widget_set_margin_start(grid, 16);
    gtk_widget_set_margin_end(grid, 16);
    gtk_widget_set_margin_top(grid, 12);
    gtk_widget_set_margin_bottom(grid, 12);
    return grid;
}

GtkWidget* ok_button() {
    GtkWidget* ok = gtk_button_new_with_label("OK");
    gtk_widget_set_halign(ok, GTK_ALIGN_CENTER);
    gtk_widget_set_size_request(ok, 90, -1);
    return ok;
}

GtkWidget* digit_box(int width_chars) {
    GtkWidget* box = gtk_entry_new();
    gtk_editable_set_width_chars(GTK_EDITABLE(box), width_chars);
    gtk_entry_set_input_purpose(GTK_ENTRY(box), GTK_INPUT_PURPOSE_DIGITS);
    // The entry's own insert-text is not where typed text arrives: its inner text widget is.
    g_signal_connect(gtk_editable_get_delegate(GTK_EDITABLE(box)), "insert-text",
                     G_CALLBACK(keep_digits), nullptr);
    return box;
}

void answer_dialog_keys(GtkWidget* window, const DialogKeys* keys) {
    GtkEventController* controller = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(controller, GTK_PHASE_CAPTURE);
    g_signal_connect(controller, "key-pressed", G_CALLBACK(dialog_key),
                     const_cast<DialogKeys*>(keys));
    gtk_widget_add_controller(window, controller);
}

int attach_field_boxes(GtkWidget* grid, int grid_row, int first, int count, GtkWidget** boxes) {
    int group_column = 0;  // groups stand side by side; 0: no row of groups open
    GtkWidget* group_row = nullptr;
    for (int i = 0; i < count; ++i) {
        const SettingField& row = kSettingFields[first + i];
        if (!shown_in_dialog(row)) {
            boxes[i] = nullptr;
            continue;
        }
        if (row.group != nullptr) {
            if (i == 0 || kSettingFields[first + i - 1].group == nullptr ||
                std::strcmp(kSettingFields[first + i - 1].group, row.group) != 0) {
                GtkWidget* frame = gtk_frame_new(row.group);
                group_row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
                gtk_widget_set_margin_start(group_row, 6);
                gtk_widget_set_margin_end(group_row, 6);
                gtk_widget_set_margin_top(group_row, 4);
                gtk_widget_set_margin_bottom(group_row, 6);
                gtk_frame_set_child(GTK_FRAME(frame), group_row);
                if (group_column == 2) {
                    ++grid_row;
                    group_column = 0;
                }
                gtk_grid_attach(GTK_GRID(grid), frame, group_column++, grid_row, 1, 1);
            }
            boxes[i] = digit_box(3);
            gtk_box_append(GTK_BOX(group_row), boxes[i]);
            continue;
        }
        if (group_column > 0) {
            ++grid_row;
            group_column = 0;
        }
        if (row.box == FieldBox::kCheck) {
            boxes[i] = gtk_check_button_new_with_label(row.caption);
            gtk_grid_attach(GTK_GRID(grid), boxes[i], 0, grid_row++, 2, 1);
        } else {
            boxes[i] = digit_box(5);
            gtk_grid_attach(GTK_GRID(grid), dialog_label(row.caption), 0, grid_row, 1, 1);
            gtk_grid_attach(GTK_GRID(grid), boxes[i], 1, grid_row++, 1, 1);
        }
    }
    return group_column > 0 ? grid_row + 1 : grid_row;
}

void show_field_entries(GtkWidget* const* boxes, int first, int count, const uint32_t* entries) {
    for (int i = 0; i < count; ++i) {
        if (!shown_in_dialog(kSettingFields[first + i])) {
            continue;
        }
        if (kSettingFields[first + i].box == FieldBox::kCheck) {
            gtk_check_button_set_active(GTK_CHECK_BUTTON(boxes[i]), entries[i] != 0);
        } else {
            gtk_editable_set_text(GTK_EDITABLE(boxes[i]), std::to_string(entries[i]).c_str());
        }
    }
}

void read_field_entries(GtkWidget* const* boxes, int first, int count, uint32_t* entries) {
    for (int i = 0; i < count; ++i) {
        if (!shown_in_dialog(kSettingFields[first + i])) {
            continue;
        }
        if (kSettingFields[first + i].box == FieldBox::kCheck) {
            entries[i] = gtk_check_button_get_active(GTK_CHECK_BUTTON(boxes[i])) ? 1 : 0;
        } else {
            entries[i] = box_value(first + i, gtk_editable_get_text(GTK_EDITABLE(boxes[i])));
        }
    }
}

int field_tab_order(GtkWidget* const* boxes, int first, int count, GtkWidget* ok, bool ok_first,
                    GtkWidget** order) {
    int at = 0;
    if (ok_first) {
        order[at++] = ok;
        for (FieldBox kind : {FieldBox::kCheck, FieldBox::kDigits}) {
            for (int i = 0; i < count; ++i) {
                if (kSettingFields[first + i].box == kind) {
                    order[at++] = boxes[i];
                }
            }
        }
        return at;
    }
    for (int i = 0; i < count; ++i) {
        if (boxes[i] != nullptr) {
            order[at++] = boxes[i];
        }
    }
    order[at++] = ok;
    return at;
}
