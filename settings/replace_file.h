// Replacing the whole contents of a file, the way the settings are saved. Each platform has its
// own file beside this one.
#pragma once

#include <cstddef>

// Makes `path` hold exactly these bytes, so that a kill at any moment leaves either the old
// contents or the new ones. The new bytes go to "<path>.new", made afresh (never through a link,
// never reusing whatever stands there), and take the old file's place in one step, keeping the
// old file's permissions and attributes. Like a plain write, it fails on a file that refuses
// writing and writes through a link to the file behind it; where no file may be created beside
// it, it writes the file in place. False on failure, with the old file as it was.
bool replace_file_contents(const char* path, const unsigned char* bytes, size_t size);
