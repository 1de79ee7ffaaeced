// Drawing the board with GDI: the main window's paint handler, and the drawing itself into any
// device context, which the tests point at a bitmap they can read back.
#pragma once

#include <windows.h>

#include "live/live_board.h"

// Paints the whole client area from a copy of the live board taken under its lock.
void paint_board(HWND window);

// Draws the board into a context of width x height pixels, origin top-left. Creates and deletes
// its own brush and font and leaves the context's selected objects as it found them.
void draw_board(HDC dc, int width, int height, const BoardCopy& copy);
