// The event fan-out: each page's stream, the board's latest state sent to every stream when it
// changes (after the window's paint, at a bounded pace), and the heartbeat.
#include <algorithm>
#include <climits>

#include "core/web_api.h"
#include "web/web_server_state.h"

namespace web_detail {

namespace {

constexpr int kHeartbeatSeconds = 15;
// A stream client's kernel buffer is kept small, so one that stops reading fills its queue soon.
constexpr int kStreamSendBuffer = 16 * 1024;

void raise_to(std::atomic<int>& most, int value) {
    int seen = most.load();
    while (value > seen && !most.compare_exchange_weak(seen, value)) {
    }
}

}  // namespace

void Session::start_stream() {
    // A stream is held for as long as the page stays open: one address gets a few, not all.
    if (server.addresses[address].streams >= server.limits.streams_per_address) {
        send(json_response(http::status::too_many_requests,
                           "{\"error\":\"too many event streams from this address\"}"),
             true);
        return;
    }
    ++server.addresses[address].streams;
    streaming = true;
    server.streams.insert(this);
    ++server.streams_open;
    stream.expires_never();
    beast::error_code ec;
    stream.socket().set_option(asio::socket_base::send_buffer_size(kStreamSendBuffer), ec);
    stream.socket().non_blocking(true, ec);
    stream_head = std::make_unique<http::response<http::empty_body>>(http::status::ok, 11);
    stream_head->set(http::field::content_type, "text/event-stream");
    stream_head->set(http::field::cache_control, "no-store");
    stream_head->set("X-Content-Type-Options", "nosniff");
    stream_head->keep_alive(false);
    stream_serializer = std::make_unique<http::response_serializer<http::empty_body>>(*stream_head);
    writing = true;
    http::async_write_header(stream, *stream_serializer,
                             [self = shared_from_this()](beast::error_code error, size_t) {
                                 self->writing = false;
                                 if (error || self->closed) {
                                     self->close();
                                 } else if (!self->queue.empty()) {
                                     self->write_next();
                                 }
                             });
    // The page reconnects by itself two seconds after a break, and starts from the board now.
    push(std::make_shared<const std::string>("retry: 2000\n\n"));
    push(std::make_shared<const std::string>("data: " + board_json(copy_board(server.board)) +
                                             "\n\n"));
    // A stream client says nothing more: anything it sends, or its going, ends the stream.
    stream.async_read_some(asio::buffer(probe), [self = shared_from_this()](
                                                    beast::error_code, size_t) { self->close(); });
}

void Session::push(const std::shared_ptr<const std::string>& event) {
    if (closed || !streaming) {
        return;
    }
    if (static_cast<int>(queue.size()) >= server.limits.stream_queue) {
        ++server.dropped;
        close();
        return;
    }
    queue.push_back(event);
    ++server.events;
    raise_to(server.largest_queue, static_cast<int>(queue.size()));
    if (!writing) {
        write_next();
    }
}

void Session::write_next() {
    // An event is small and a reading client's buffer has room: a plain send that cannot block
    // finishes it at once, costing no completion, which under Wine is a round trip through its
    // server per client and event. Only what does not fit waits for the socket.
    while (!queue.empty()) {
        const std::string& event = *queue.front();
        beast::error_code ec;
        const size_t wrote = stream.socket().write_some(
            asio::buffer(event.data() + front_sent, event.size() - front_sent), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            break;
        }
        if (ec) {
            close();
            return;
        }
        front_sent += wrote;
        if (front_sent < event.size()) {
            break;
        }
        front_sent = 0;
        queue.pop_front();
    }
    if (queue.empty()) {
        return;
    }
    writing = true;
    const std::string& event = *queue.front();
    asio::async_write(stream, asio::buffer(event.data() + front_sent, event.size() - front_sent),
                      [self = shared_from_this()](beast::error_code ec, size_t) {
                          self->writing = false;
                          if (ec || self->closed) {
                              self->close();
                              return;
                          }
                          self->front_sent = 0;
                          self->queue.pop_front();
                          if (!self->queue.empty()) {
                              self->write_next();
                          }
                      });
}

void Session::leave_streams() {
    if (streaming) {
        streaming = false;
        server.streams.erase(this);
        --server.streams_open;
        --server.addresses[address].streams;
    }
}

}  // namespace web_detail

using namespace web_detail;

void WebServer::broadcast(const std::shared_ptr<const std::string>& event) {
    const std::vector<Session*> now(streams.begin(), streams.end());
    for (Session* session : now) {
        session->push(event);
    }
}

void WebServer::send_board() {
    // Cleared before the copy: a change made after it posts again and is not lost.
    change_pending.store(false);
    if (streams.empty()) {
        return;
    }
    const BoardCopy copy = copy_board(board);
    if (shell.copied != nullptr) {
        shell.copied(shell.context);
    }
    fanout_event = std::make_shared<const std::string>("data: " + board_json(copy) + "\n\n");
    // Those still waiting keep their places; those already sent an older board go after them,
    // so a flood of changes cannot keep the same clients waiting for ever.
    std::set<const Session*> waiting;
    for (const std::weak_ptr<Session>& left : fanout_left) {
        if (const std::shared_ptr<Session> session = left.lock()) {
            waiting.insert(session.get());
        }
    }
    std::vector<std::weak_ptr<Session>> order;
    for (Session* session : streams) {
        if (waiting.count(session) == 0) {
            order.push_back(session->weak_from_this());
        }
    }
    order.insert(order.end(), fanout_left.begin(), fanout_left.end());
    fanout_left = std::move(order);
    if (!fanout_parked) {
        fan_out(0);
    }
}

// Each send is a round trip through Wine's server and wakes a reader: done during the window's
// paint, they would share the processor with it, and a flood of numbers would make them many.
void WebServer::fan_out(int at_least) {
    using namespace std::chrono;
    fanout_parked = false;
    int sent = 0;
    while (!fanout_left.empty()) {
        const steady_clock::time_point now = steady_clock::now();
        allowance = std::min<double>(
            limits.max_connections,
            allowance + duration<double>(now - allowance_at).count() * limits.pages_per_second);
        allowance_at = now;
        if (allowance < 1 && limits.pages_per_second > 0) {
            ++pace_waits;
            // Enough for a few pages at once: each wake-up costs too.
            const double short_by = std::max(1, limits.pages_per_paint) - allowance;
            park_fan_out(duration_cast<steady_clock::duration>(
                             duration<double>(short_by / limits.pages_per_second)),
                         0);
            return;
        }
        if (sent >= at_least && window_behind(board)) {
            awaiting_paint.store(true);
            // Looked at again once the flag is up, so a paint ending in between is not missed.
            if (window_behind(board)) {
                ++window_waits;
                park_fan_out(milliseconds(limits.window_first_ms), INT_MAX);
                return;
            }
            awaiting_paint.store(false);
        }
        const std::shared_ptr<Session> session = fanout_left.back().lock();
        fanout_left.pop_back();
        if (session) {
            session->push(fanout_event);
            allowance -= 1;
            ++sent;
        }
    }
    fanout_event.reset();
}

// Goes on after `wait`, or sooner at the end of a paint the fan-out waits for.
void WebServer::park_fan_out(std::chrono::steady_clock::duration wait, int then_at_least) {
    fanout_parked = true;
    fanout_timer.expires_after(wait);
    fanout_timer.async_wait([this, then_at_least](beast::error_code ec) {
        if (!ec && fanout_parked) {
            awaiting_paint.store(false);
            fan_out(then_at_least);
        }
    });
}

// A named event now and then: a client gone without a word is found by the failed write, and a
// page that hears nothing for two periods knows the board is gone (a comment no script sees).
void WebServer::beat() {
    heartbeat.expires_after(std::chrono::seconds(kHeartbeatSeconds));
    heartbeat.async_wait([this](beast::error_code ec) {
        if (ec) {
            return;
        }
        broadcast(std::make_shared<const std::string>("event: beat\ndata:\n\n"));
        beat();
    });
}

void web_server_board_changed(WebServer& server) {
    if (!server.change_pending.exchange(true)) {
        asio::post(server.io, [&server] { server.send_board(); });
    }
}

void web_server_window_painted(WebServer& server) {
    if (server.awaiting_paint.exchange(false)) {
        asio::post(server.io, [&server] {
            if (server.fanout_parked) {
                server.fanout_timer.cancel();
                server.fan_out(server.limits.pages_per_paint);
            }
        });
    }
}
