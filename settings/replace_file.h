// The two file-system steps of an atomic save that differ between platforms.
#pragma once

#include <cstdio>

// Pushes a written, flushed file's data to the disk, so a rename cannot outrun the data.
bool flush_to_disk(std::FILE* file);

// Renames `from` over `to`, replacing `to` in one step.
bool replace_file(const char* from, const char* to);
