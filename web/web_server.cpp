// Who may connect and how much: the listening socket, admission at accept, the server's start,
// stop and counters. The one place a connection is counted in and out.
#include <boost/asio.hpp>

#include "web/web_server_state.h"

using namespace web_detail;

namespace web_detail {

namespace {

uint32_t peer_address(const tcp::socket& socket) {
    beast::error_code ec;
    const tcp::endpoint peer = socket.remote_endpoint(ec);
    return !ec && peer.address().is_v4() ? peer.address().to_v4().to_uint() : 0;
}

}  // namespace

Session::Session(WebServer& web, tcp::socket socket)
    : server(web),
      stream(std::move(socket)),
      buffer(static_cast<size_t>(web.limits.header_bytes + web.limits.body_bytes + 1024)),
      address(peer_address(stream.socket())) {
    server.sessions.insert(this);
    ++server.addresses[address].connections;
    ++server.connections;
}

Session::~Session() {
    server.sessions.erase(this);
    leave_streams();
    const auto use = server.addresses.find(address);
    if (use != server.addresses.end() && --use->second.connections <= 0) {
        server.addresses.erase(use);
    }
    --server.connections;
}

}  // namespace web_detail

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
        const auto use = addresses.find(peer_address(socket));
        const int held = use == addresses.end() ? 0 : use->second.connections;
        if (!connection_admitted(connections.load(), held,
                                 {limits.max_connections, limits.per_address, limits.reserved,
                                  limits.reserve_share})) {
            ++refused;
            beast::error_code ignored;
            socket.close(ignored);
        } else {
            std::make_shared<Session>(*this, std::move(socket))->read_request();
        }
        accept();
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
