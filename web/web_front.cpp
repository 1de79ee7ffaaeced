// The one server of the process behind the controller's WebOps.
#include "web/web_front.h"

#include <atomic>
#include <mutex>
#include <string>

#include "web/web_server.h"

namespace {

struct Front {
    Controller* controller = nullptr;
    WebLimits limits;
    // Guards the handle against the threads that report changes while the shell's thread starts
    // or stops the server. Never held while a server stops: its thread may be reporting a change.
    std::mutex lock;
    WebServerHandle server;
    // Whether a server is held: with the web side off, a datagram's report of a change costs one
    // atomic read and takes no lock. A server started meanwhile sends the board to each new page.
    std::atomic<bool> serving{false};
};

Front g_front;

void window_painted() {
    if (!g_front.serving.load()) {
        return;
    }
    std::lock_guard<std::mutex> hold(g_front.lock);
    if (g_front.server) {
        web_server_window_painted(*g_front.server);
    }
}

void changed(void* context, Outcome outcome) {
    controller_web_changed(*static_cast<Controller*>(context), outcome);
}

bool start(void*, uint16_t port, int32_t pin) {
    std::string error;
    WebServerHandle started =
        web_server_start(*g_front.controller->board, port, pin,
                         WebShell{g_front.controller, changed}, &error, g_front.limits);
    if (!started) {
        return false;
    }
    std::lock_guard<std::mutex> hold(g_front.lock);
    g_front.server = std::move(started);
    g_front.serving.store(true);
    g_front.controller->board->paint_ended_hook.store(window_painted);
    return true;
}

void stop(void*) {
    WebServerHandle stopping;
    {
        std::lock_guard<std::mutex> hold(g_front.lock);
        stopping = std::move(g_front.server);
        g_front.serving.store(false);
    }
    stopping.reset();
}

void set_pin(void*, int32_t pin) {
    std::lock_guard<std::mutex> hold(g_front.lock);
    if (g_front.server) {
        web_server_set_pin(*g_front.server, pin);
    }
}

void board_changed(void*) {
    if (!g_front.serving.load()) {
        return;
    }
    std::lock_guard<std::mutex> hold(g_front.lock);
    if (g_front.server) {
        web_server_board_changed(*g_front.server);
    }
}

const WebOps kWebOps = {start, stop, set_pin, board_changed, nullptr};

}  // namespace

const WebOps* web_front_ops(Controller& controller, const WebLimits& limits) {
    g_front.controller = &controller;
    g_front.limits = limits;
    return &kWebOps;
}

bool web_front_stats(WebServerStats* stats) {
    std::lock_guard<std::mutex> hold(g_front.lock);
    if (!g_front.server) {
        return false;
    }
    *stats = web_server_stats(*g_front.server);
    return true;
}
