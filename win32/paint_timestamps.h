// Measuring builds only (CMake option PELIVOR_PAINT_TIMESTAMPS, off by default): every paint of
// the board appends one line to "paint-times.log" in the working directory, for the benchmarks.
#pragma once

#include "live/live_board.h"

// Counts one accepted text (the receiver's repaint hook runs once for each).
void note_accepted_text();

// Appends "<time> <requests> <newest>": the wall-clock time the paint ended, in 100 ns units
// since 1601 (what GetSystemTimePreciseAsFileTime gives), the accepted texts counted so far,
// and the newest text the painted copy held ("-" when the board was empty).
void log_paint(const BoardCopy& copy);
