// The server's state and one connection's, shared by the three parts of the server: who may
// connect (web_server.cpp), one request and its answer (web_request.cpp) and the event fan-out
// (web_events.cpp). All of it but the atomics belongs to the one io_context thread, so it needs no
// lock; the board is reached only through live/live_board.h. Included by those three alone.
#pragma once

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/web_admission.h"
#include "web/web_server.h"

namespace web_detail {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

struct Session;

}  // namespace web_detail

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
    web_detail::asio::io_context io{1};
    web_detail::tcp::acceptor acceptor{io};
    web_detail::asio::steady_timer heartbeat{io};
    web_detail::asio::steady_timer accept_retry{io};
    web_detail::asio::steady_timer fanout_timer{io};
    uint16_t port = 0;
    std::string host_name;  // the machine's, looked up once at start
    std::thread thread;

    // The io thread's alone.
    std::set<web_detail::Session*> sessions;
    std::set<web_detail::Session*> streams;
    // What each address holds now; an address holding nothing has no entry.
    struct AddressUse {
        int connections = 0;
        int streams = 0;
    };
    std::map<uint32_t, AddressUse> addresses;
    WrongPins wrong_pins;
    // The board's latest event and the stream clients still to get it.
    std::shared_ptr<const std::string> fanout_event;
    std::vector<std::weak_ptr<web_detail::Session>> fanout_left;
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

namespace web_detail {

using Response = http::response<http::string_body>;

inline std::string_view view(beast::string_view text) {
    return std::string_view(text.data(), text.size());
}

// A JSON answer with the headers every API answer carries.
std::shared_ptr<Response> json_response(http::status status, std::string body);

struct Session : std::enable_shared_from_this<Session> {
    Session(WebServer& web, tcp::socket socket);
    ~Session();

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
    int answered = 0;     // answers sent on this connection

    // web_request.cpp
    void read_request();
    void on_request(beast::error_code ec);
    void answer(const http::request<http::string_body>& request);
    void send(std::shared_ptr<Response> response, bool then_close);
    void refuse(http::status status, bool then_close);
    void linger_and_close();
    void drain();
    void close();
    // web_events.cpp
    void start_stream();
    void push(const std::shared_ptr<const std::string>& event);
    void write_next();
    void leave_streams();
};

}  // namespace web_detail
