// One request and its answer: read within the limits, admitted by Host and Origin, mapped by
// core/web_api.h, answered, and the connection kept, or closed without losing the answer.
#include <cstring>

#include "core/voice_clips.h"
#include "core/web_api.h"
#include "web/web_pages.h"
#include "web/web_server_state.h"

namespace web_detail {

namespace {

constexpr const char* kPagePolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; object-src 'none'; "
    "base-uri 'none'; form-action 'self'; frame-ancestors 'none'";

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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

void common_headers(Response& response) {
    response.set("X-Content-Type-Options", "nosniff");
    response.set(http::field::cache_control, "no-store");
}

}  // namespace

std::shared_ptr<Response> json_response(http::status status, std::string body) {
    auto response = std::make_shared<Response>(status, 11);
    common_headers(*response);
    response->set(http::field::content_type, "application/json");
    response->body() = std::move(body);
    response->prepare_payload();
    return response;
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
    if (mapped.target.substr(0, kVoicePath.size()) ==
        kVoicePath) {  // the lock only when it matters
        std::lock_guard<std::mutex> hold(server.board.lock);
        mapped.voice = server.board.extensions.voice;
    }
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
        case WebRoute::kVoiceClip: {
            const VoiceClip* clip = find_voice_clip(action.asset);
            if (clip == nullptr) {  // a build that recorded no such word
                refuse(http::status::not_found, !keep);
                return;
            }
            response = std::make_shared<Response>(http::status::ok, 11);
            response->set("X-Content-Type-Options", "nosniff");
            // A clip changes only with a new build, and then says the same word.
            response->set(http::field::cache_control, "public, max-age=31536000, immutable");
            response->set(http::field::content_type, "audio/wav");
            response->body().assign(reinterpret_cast<const char*>(clip->bytes), clip->size);
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
            if (action.preparing) {
                if (!prepare_number(server.board, action.number, &outcome)) {
                    send(json_response(http::status::conflict,
                                       error_json("the board shows no preparing zone")),
                         !keep);
                    return;
                }
                break;
            }
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
        case WebRoute::kUndo:
            outcome = undo_removal(server.board);
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
    // Connections are few: one client's is given back now and then, however busy it keeps it.
    if (++answered >= server.limits.requests_per_connection) {
        then_close = true;
    }
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

}  // namespace web_detail
