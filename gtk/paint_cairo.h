// The board drawn with cairo and Pango, for the GTK board: the same picture as the GDI one, from
// the same draw loop in core/draw.h.
#pragma once

#include <cairo.h>

#include "core/draw.h"

// Draws one board copy into a width x height area whose top-left is the context's origin.
void draw_board(cairo_t* cr, int width, int height, const BoardCopy& copy);
