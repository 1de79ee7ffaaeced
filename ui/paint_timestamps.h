// Measuring builds only (CMake option PELIVOR_PAINT_TIMESTAMPS, off by default): every paint of
// the board appends one line to "paint-times.log" in the working directory, for the benchmarks.
#pragma once

#include "board/live_board.h"

// Counts one repaint request, that is one accepted text.
void note_repaint_request();

// Appends "<time> <requests> <newest>": the wall-clock time the paint ended, in 100 ns units
// since 1601 (what GetSystemTimePreciseAsFileTime gives), the repaint requests counted so far,
// and the newest text the painted copy held ("-" when the board was empty).
void log_paint(const BoardCopy& copy);
