// The pages, script and styles the web side serves, compiled into the program from web/pages/ at
// build time (cmake/EmbedFiles.cmake): nothing is read from disk while it runs.
#pragma once

#include <cstddef>

struct WebPage {
    const char* name;  // the file's name under web/pages/
    const char* type;  // its Content-Type
    const unsigned char* data;
    size_t size;
};

// The embedded file of that name; nullptr when there is none.
const WebPage* find_web_page(const char* name);
