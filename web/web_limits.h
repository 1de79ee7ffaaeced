// Every bound on what clients can make the web server hold or do, in one table. The defaults are
// the board's; tests shrink or stretch them to reach a bound quickly or to hold many connections.
#pragma once

struct WebLimits {
    // Who may connect. An address past its share, or one already holding reserve_share when only
    // `reserved` slots are left, is closed as soon as it is accepted: one phone or one attacker
    // cannot shut the others out, and a few attackers at their caps still leave room for phones.
    int max_connections = 256;
    int per_address = 16;
    int streams_per_address = 8;  // of those, event streams; past it 429
    int reserved = 32;
    int reserve_share = 4;  // a page, its scripts and its stream fit under it
    // A keep-alive connection's answers; the last says it closes, so no client holds one for ever.
    int requests_per_connection = 100;

    // How much one request may be.
    int header_bytes = 8 * 1024;  // a request's line and headers; past it 431 and closed
    int body_bytes = 1024;        // past it 413 and closed
    int idle_ms = 5000;           // a request not complete in this long is closed
    // After an answer that closes, what the client still sends is read and thrown away (so the
    // answer is not lost to a reset) for this long in all and up to this much; then closed.
    int linger_ms = 1000;
    int linger_bytes = 64 * 1024;

    // Wrong PINs a minute from one address, and from all together, past which changes needing the
    // PIN get 429 (that address's, or everyone's) till the minute passes; and the addresses kept,
    // the stalest going first when more come.
    int wrong_pins = 5;
    int wrong_pins_all = 30;
    int wrong_pin_addresses = 4096;

    // The event fan-out. A stream client may have this many events unsent; past it dropped.
    int stream_queue = 16;
    // The window draws a change before the pages hear of it (their sends would share the processor
    // with its paint). While it keeps drawing, this many pages go after each paint; a window that
    // ends no paint in window_first_ms (hidden, minimised) holds none back.
    int window_first_ms = 20;
    int pages_per_paint = 8;
    // A change reaches up to max_connections pages at once; a flood of changes reaches them at
    // this many sends a second in all, so 200 pages hear of it 5 times a second, one page at once.
    int pages_per_second = 1000;
};
