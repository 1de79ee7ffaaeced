// The one translation unit that includes Boost.Beast: every socket, parser and timer of the web
// side lives on one io_context thread, so its own state needs no lock; the board is reached only
// through live/live_board.h, which takes the board's lock for a copy or one change.
#include "web/web_server.h"

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <climits>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

#include "core/web_admission.h"
#include "core/web_api.h"
#include "web/web_pages.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Response = http::response<http::string_body>;

namespace {

constexpr const char* kPagePolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; object-src 'none'; "
    "base-uri 'none'; form-action 'self'; frame-ancestors 'none'";
constexpr int kHeartbeatSeconds = 15;
// A stream client's kernel buffer is kept small, so one that stops reading fills its queue soon.
constexpr int kStreamSendBuffer = 16 * 1024;

std::string_view view(beast::string_view text) {
    return std::string_view(text.data(), text.size());
}

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void raise_to(std::atomic<int>& most, int value) {
    int seen = most.load();
    while (value > seen && !most.compare_exchange_weak(seen, value)) {
    }
}

struct Session;

}  // namespace

struct WebServer {
    WebServer(LiveBoard& live, int32_t staff_pin, WebShell web_shell, const WebLimits& bounds)
        : board(live),
          shell(web_shell),
          limits(bounds),
          pin(staff_pin),
          wrong_pins{bounds.wrong_pins, bounds.wrong_pin_addresses, bounds.wrong_pins_all, {}, {}},
          allowance(bounds.max_connections),
          allowance_at(std::chrono::steady_clock::now()) {}

    LiveBoard& board;
    WebShell shell;
    WebLimits limits;
    std::atomic<int32_t> pin;
    std::atomic<bool> change_pending{false};
    // A fan-out is parked until the window's paint ends, or the window's turn has passed.
    std::atomic<bool> awaiting_paint{false};
    std::atomic<int> connections{0}, streams_open{0}, refused{0}, dropped{0}, events{0},
        largest_queue{0}, window_waits{0}, pace_waits{0};

    // Declared before what uses it, so it outlives the acceptor and timers.
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer heartbeat{io};
    asio::steady_timer accept_retry{io};
    asio::steady_timer fanout_timer{io};
    uint16_t port = 0;
    std::string host_name;  // the machine's, looked up once at start
    std::thread thread;

    // The io thread's alone.
    std::set<Session*> sessions;
    std::set<Session*> streams;
    WrongPins wrong_pins;
    // The board's latest event and the stream clients still to get it.
    std::shared_ptr<const std::string> fanout_event;
    std::vector<std::weak_ptr<Session>> fanout_left;
    bool fanout_parked = false;
    // Sends to pages the pace allows now: a change reaches every page at once, a flood of changes
    // reaches them at limits.pages_per_second sends in all.
    double allowance = 0;
    std::chrono::steady_clock::time_point allowance_at{};

    void accept();
    void broadcast(const std::shared_ptr<const std::string>& event);
    void send_board();
    void fan_out(int at_least);
    void park_fan_out(std::chrono::steady_clock::duration wait, int then_at_least);
    void beat();
};

namespace {

struct Session : std::enable_shared_from_this<Session> {
    Session(WebServer& web, tcp::socket socket)
        : server(web),
          stream(std::move(socket)),
          buffer(static_cast<size_t>(web.limits.header_bytes + web.limits.body_bytes + 1024)) {
        beast::error_code ec;
        const tcp::endpoint peer = stream.socket().remote_endpoint(ec);
        address = !ec && peer.address().is_v4() ? peer.address().to_v4().to_uint() : 0;
        server.sessions.insert(this);
        ++server.connections;
    }
    ~Session() {
        server.sessions.erase(this);
        leave_streams();
        --server.connections;
    }

    WebServer& server;
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::string_body>> parser;
    uint32_t address = 0;
    bool closed = false;
    // An event-stream client's.
    bool streaming = false;
    std::unique_ptr<http::response<http::empty_body>> stream_head;
    std::unique_ptr<http::response_serializer<http::empty_body>> stream_serializer;
    std::deque<std::shared_ptr<const std::string>> queue;
    size_t front_sent = 0;  // bytes of the queue's first event already written
    bool writing = false;
    char probe[64];
    size_t lingered = 0;  // bytes thrown away since the answer that closes

    void read_request();
    void on_request(beast::error_code ec);
    void answer(const http::request<http::string_body>& request);
    void send(std::shared_ptr<Response> response, bool then_close);
    void refuse(http::status status, bool then_close);
    void linger_and_close();
    void drain();
    void start_stream();
    void push(const std::shared_ptr<const std::string>& event);
    void write_next();
    void close();
    void leave_streams() {
        if (streaming) {
            streaming = false;
            server.streams.erase(this);
            --server.streams_open;
        }
    }
};

void common_headers(Response& response) {
    response.set("X-Content-Type-Options", "nosniff");
    response.set(http::field::cache_control, "no-store");
}

std::shared_ptr<Response> json_response(http::status status, std::string body) {
    auto response = std::make_shared<Response>(status, 11);
    common_headers(*response);
    response->set(http::field::content_type, "application/json");
    response->body() = std::move(body);
    response->prepare_payload();
    return response;
}

const char* reason_json(http::status status) {
    switch (status) {
        case http::status::not_found:
            return "{\"error\":\"not found\"}";
        case http::status::payload_too_large:
            return "{\"error\":\"body too large\"}";
        case http::status::too_many_requests:
            return "{\"error\":\"too many wrong PINs\"}";
        case http::status::request_header_fields_too_large:
            return "{\"error\":\"headers too large\"}";
        case http::status::misdirected_request:
            return "{\"error\":\"not this board's name\"}";
        case http::status::forbidden:
            return "{\"error\":\"another site's page\"}";
        default:
            return "{\"error\":\"bad request\"}";
    }
}

void Session::read_request() {
    parser.emplace();
    parser->header_limit(static_cast<std::uint32_t>(server.limits.header_bytes));
    parser->body_limit(static_cast<std::uint64_t>(server.limits.body_bytes));
    stream.expires_after(std::chrono::milliseconds(server.limits.idle_ms));
    http::async_read(
        stream, buffer, *parser,
        [self = shared_from_this()](beast::error_code ec, size_t) { self->on_request(ec); });
}

void Session::on_request(beast::error_code ec) {
    if (closed) {
        return;
    }
    if (ec == http::error::body_limit) {
        refuse(http::status::payload_too_large, true);
    } else if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
        refuse(http::status::request_header_fields_too_large, true);
    } else if (ec == http::error::bad_transfer_encoding) {  // twice, or with a Content-Length
        send(json_response(http::status::not_implemented, error_json(kUnsupportedCoding)), true);
    } else if (ec.category() == beast::error_code(http::error::end_of_stream).category() &&
               ec != http::error::end_of_stream && ec != http::error::partial_message) {
        // Not HTTP; said once, then closed.
        send(json_response(http::status::bad_request, error_json(kMalformedHttp)), true);
    } else if (ec) {
        close();  // the idle time passed, the client went, or the server is stopping
    } else {
        answer(parser->get());
    }
}

void Session::answer(const http::request<http::string_body>& request) {
    const bool keep = request.keep_alive();
    if (!transfer_encoding_readable(static_cast<int>(request.count(http::field::transfer_encoding)),
                                    view(request[http::field::transfer_encoding]))) {
        send(json_response(http::status::not_implemented, error_json(kUnsupportedCoding)), true);
        return;
    }
    // A page of another site whose name was pointed at this address must not reach the board.
    const beast::string_view host = request[http::field::host];
    const int host_refusal =
        host_status(static_cast<int>(request.count(http::field::host)), view(host),
                    request.version() < 11, server.port, server.host_name);
    if (host_refusal == 400) {
        send(json_response(http::status::bad_request, "{\"error\":\"no or malformed Host\"}"),
             true);
        return;
    }
    if (host_refusal != 0) {
        refuse(static_cast<http::status>(host_refusal), !keep);
        return;
    }
    // A browser names the page behind every change it sends; a till or a script names none.
    const size_t origins = request.count(http::field::origin);
    if (method_changes(view(request.method_string())) && origins > 0 &&
        (origins > 1 ||
         !origin_is_ours(view(request[http::field::origin]), view(host), server.port))) {
        refuse(http::status::forbidden, !keep);
        return;
    }
    WebRequest mapped{};
    mapped.method = view(request.method_string());
    mapped.target = view(request.target());
    mapped.authorization = view(request[http::field::authorization]);
    mapped.content_type = view(request[http::field::content_type]);
    mapped.body = request.body();
    const WebAction action = map_web_request(mapped, server.pin.load());
    const int64_t now = now_ms();
    if (action.changes && server.pin.load() != 0 &&
        wrong_pins_block(server.wrong_pins, address, now)) {
        refuse(http::status::too_many_requests, !keep);
        return;
    }
    if (action.wrong_pin) {
        wrong_pin_record(server.wrong_pins, address, now);
    }
    std::shared_ptr<Response> response;
    Outcome outcome{};
    switch (action.route) {
        case WebRoute::kNone:
            response =
                json_response(static_cast<http::status>(action.status), error_json(action.reason));
            if (action.allow != nullptr) {
                response->set(http::field::allow, action.allow);
            }
            if (action.status == 401) {
                response->set(http::field::www_authenticate, "Bearer");
            }
            send(response, !keep);
            return;
        case WebRoute::kPage: {
            const WebPage* page = find_web_page(action.asset);
            if (page == nullptr) {
                refuse(http::status::not_found, !keep);
                return;
            }
            response = std::make_shared<Response>(http::status::ok, 11);
            response->set("X-Content-Type-Options", "nosniff");
            response->set("Content-Security-Policy", kPagePolicy);
            response->set(http::field::cache_control, "no-cache");
            response->set(http::field::content_type, page->type);
            response->body().assign(reinterpret_cast<const char*>(page->data), page->size);
            response->prepare_payload();
            send(response, !keep);
            return;
        }
        case WebRoute::kGetBoard:
            send(json_response(http::status::ok, board_json(copy_board(server.board))), !keep);
            return;
        case WebRoute::kEvents:
            start_stream();
            return;
        case WebRoute::kPutNumber: {
            // The datagram path itself, so the duplicate rule, highlight and chime hold as for UDP.
            char text[kSlotSize + 2] = {};
            const size_t length = strnlen(action.number, kSlotSize);
            memcpy(text, action.number, length);
            outcome = receive_datagram(server.board, text, length);
            break;
        }
        case WebRoute::kRemoveNumber:
            outcome = remove_number(server.board, action.number);
            break;
        case WebRoute::kClearBoard:
            outcome = clear_numbers(server.board);
            break;
    }
    if ((outcome.repaint || outcome.chime) && server.shell.changed != nullptr) {
        server.shell.changed(server.shell.context, outcome);
    }
    if (outcome.repaint) {
        web_server_board_changed(server);
    }
    send(json_response(http::status::ok,
                       outcome.repaint ? "{\"changed\":true}" : "{\"changed\":false}"),
         !keep);
}

void Session::send(std::shared_ptr<Response> response, bool then_close) {
    response->keep_alive(!then_close);
    // HEAD gets the head a GET would: its Content-Length stays, the body goes.
    if (parser->is_header_done() && parser->get().method() == http::verb::head) {
        response->body().clear();
    }
    stream.expires_after(std::chrono::milliseconds(server.limits.idle_ms));
    http::async_write(
        stream, *response,
        [self = shared_from_this(), response, then_close](beast::error_code ec, size_t) {
            if (ec || self->closed) {
                self->close();
            } else if (then_close) {
                self->linger_and_close();
            } else {
                self->read_request();
            }
        });
}

void Session::refuse(http::status status, bool then_close) {
    send(json_response(status, reason_json(status)), then_close);
}

// Closing with the client's unread bytes still in our buffer would reset the connection and could
// discard the answer just sent: say we are done, then read what is left. One deadline for all of
// it, which what arrives never moves, and a cap on the bytes: a client that trickles or floods
// cannot keep an answered connection.
void Session::linger_and_close() {
    beast::error_code ec;
    stream.socket().shutdown(tcp::socket::shutdown_send, ec);
    stream.expires_after(std::chrono::milliseconds(server.limits.linger_ms));
    lingered = 0;
    drain();
}

void Session::drain() {
    stream.async_read_some(
        asio::buffer(probe), [self = shared_from_this()](beast::error_code error, size_t got) {
            self->lingered += got;
            if (error || self->closed ||
                self->lingered >= static_cast<size_t>(self->server.limits.linger_bytes)) {
                self->close();
            } else {
                self->drain();
            }
        });
}

void Session::start_stream() {
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

void Session::close() {
    if (closed) {
        return;
    }
    closed = true;
    leave_streams();
    queue.clear();
    beast::error_code ec;
    stream.socket().shutdown(tcp::socket::shutdown_both, ec);
    stream.close();
}

}  // namespace

void WebServer::accept() {
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open()) {
            return;
        }
        if (ec) {
            // Out of descriptors, say: try again shortly rather than spin.
            accept_retry.expires_after(std::chrono::milliseconds(100));
            accept_retry.async_wait([this](beast::error_code error) {
                if (!error) {
                    accept();
                }
            });
            return;
        }
        if (connections.load() >= limits.max_connections) {
            ++refused;
            beast::error_code ignored;
            socket.close(ignored);
        } else {
            std::make_shared<Session>(*this, std::move(socket))->read_request();
        }
        accept();
    });
}

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
    fanout_event =
        std::make_shared<const std::string>("data: " + board_json(copy_board(board)) + "\n\n");
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

void WebServerDeleter::operator()(WebServer* server) const {
    asio::post(server->io, [server] {
        beast::error_code ec;
        server->acceptor.close(ec);
        server->heartbeat.cancel();
        server->accept_retry.cancel();
        server->fanout_timer.cancel();
        server->fanout_parked = false;
        const std::vector<Session*> open(server->sessions.begin(), server->sessions.end());
        for (Session* session : open) {
            session->close();
        }
    });
    server->thread.join();
    delete server;
}

WebServerHandle web_server_start(LiveBoard& board, uint16_t port, int32_t pin, WebShell shell,
                                 std::string* error, const WebLimits& limits) {
    std::unique_ptr<WebServer> server(new WebServer(board, pin, shell, limits));
    beast::error_code ec;
    const tcp::endpoint endpoint(asio::ip::address_v4::any(), port);
    server->acceptor.open(endpoint.protocol(), ec);
#ifndef _WIN32
    // On Windows this option would let another program take the port from under the board.
    if (!ec) {
        server->acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    }
#endif
    if (!ec) {
        server->acceptor.bind(endpoint, ec);
    }
    if (!ec) {
        server->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (!ec) {
        server->port = server->acceptor.local_endpoint(ec).port();
    }
    if (!ec) {
        // Asio's own gethostname, after its io_context has started Winsock; none leaves it empty.
        beast::error_code unnamed;
        server->host_name = asio::ip::host_name(unnamed);
    }
    if (ec) {
        if (error != nullptr) {
            *error = ec.message();
        }
        return nullptr;
    }
    server->accept();
    server->beat();
    WebServer* raw = server.get();
    server->thread = std::thread([raw] { raw->io.run(); });
    return WebServerHandle(server.release());
}

uint16_t web_server_port(const WebServer& server) {
    return server.port;
}

void web_server_set_pin(WebServer& server, int32_t pin) {
    server.pin.store(pin);
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

WebServerStats web_server_stats(const WebServer& server) {
    WebServerStats stats{};
    stats.connections = server.connections.load();
    stats.streams = server.streams_open.load();
    stats.refused = server.refused.load();
    stats.dropped_streams = server.dropped.load();
    stats.events_sent = server.events.load();
    stats.largest_queue = server.largest_queue.load();
    stats.window_waits = server.window_waits.load();
    stats.pace_waits = server.pace_waits.load();
    return stats;
}
