// The web server on real sockets over the loopback address, with a board of the test's own: every
// status the API gives, a number put up reaching the board and the event stream, and each bound
// held against a hostile client with the server answering afterwards.
#include "web/web_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void close_socket(Socket s) {
    closesocket(s);
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
constexpr Socket kNoSocket = -1;
void close_socket(Socket s) {
    close(s);
}
#endif

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr int kWaitSeconds = 30;

// A blocking TCP client whose reads give up after `wait_seconds`, optionally from another
// loopback address and with a small receive buffer.
Socket connect_to(uint16_t port, uint32_t from = 0, int receive_buffer = 0) {
    Socket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSocket) {
        return s;
    }
#ifdef _WIN32
    const DWORD wait = kWaitSeconds * 1000;
#else
    const timeval wait{kWaitSeconds, 0};
#endif
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
    if (receive_buffer > 0) {
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receive_buffer),
                   sizeof receive_buffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (from != 0) {
        address.sin_addr.s_addr = htonl(from);
        if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            close_socket(s);
            return kNoSocket;
        }
    }
    address.sin_addr.s_addr = htonl(kLoopback);
    address.sin_port = htons(port);
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close_socket(s);
        return kNoSocket;
    }
    return s;
}

bool send_all(Socket s, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads until `done` holds of what came, the peer closes (`closed` set) or the wait runs out (the
// stream's heartbeats must not stretch it for ever).
template <typename Done>
std::string read_until(Socket s, Done done, bool* closed = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kWaitSeconds);
    std::string got;
    char chunk[4096];
    while (!done(got) && std::chrono::steady_clock::now() < deadline) {
        const int n = recv(s, chunk, sizeof chunk, 0);
        if (n <= 0) {
            if (closed != nullptr) {
                *closed = n == 0;
            }
            break;
        }
        got.append(chunk, static_cast<size_t>(n));
    }
    return got;
}

std::string read_to_close(Socket s, bool* closed = nullptr) {
    return read_until(
        s, [](const std::string&) { return false; }, closed);
}

struct Reply {
    int status = 0;
    std::string head;
    std::string body;
    std::string header(const std::string& name) const {
        const size_t at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos) {
            return "<none>";
        }
        const size_t start = at + name.size() + 4;
        return head.substr(start, head.find("\r\n", start) - start);
    }
};

Reply parse(const std::string& raw) {
    Reply reply;
    const size_t end = raw.find("\r\n\r\n");
    if (raw.compare(0, 9, "HTTP/1.1 ") != 0 || end == std::string::npos) {
        return reply;
    }
    reply.status = std::stoi(raw.substr(9, 3));
    reply.head = raw.substr(0, end + 2);
    reply.body = raw.substr(end + 4);
    return reply;
}

// One request on a connection of its own, answered and closed.
Reply exchange(uint16_t port, const std::string& method, const std::string& target,
               const std::string& body = "", const std::string& extra_headers = "",
               uint32_t from = 0) {
    const Socket s = connect_to(port, from);
    if (s == kNoSocket) {
        return Reply{};
    }
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: board\r\n" + extra_headers +
                          "Connection: close\r\n";
    if (!body.empty() || method == "POST") {
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    send_all(s, request + "\r\n" + body);
    const Reply reply = parse(read_to_close(s));
    close_socket(s);
    return reply;
}

std::vector<std::string> numbers_on(LiveBoard& board) {
    const BoardCopy copy = copy_board(board);
    std::vector<std::string> texts;
    for (int k = 0; k < active_count(copy.settings.rows, copy.settings.columns); ++k) {
        if (copy.table.slots[k][0] != '\0') {
            texts.emplace_back(copy.table.slots[k]);
        }
    }
    return texts;
}

template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kWaitSeconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::atomic<int> repaints{0};
std::atomic<int> chimes{0};

void count_change(void*, Outcome outcome) {
    repaints += outcome.repaint ? 1 : 0;
    chimes += outcome.chime ? 1 : 0;
}

class WebServerTest : public testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        board.settings = BoardSettings{4, 2, 50, 150, 240, 240, 240, 240, 0};
        board.extensions.chime = true;
        repaints = 0;
        chimes = 0;
    }
    void TearDown() override {
        server.reset();
#ifdef _WIN32
        WSACleanup();
#endif
    }

    void start(int32_t pin = 0, const WebLimits& limits = WebLimits{}) {
        std::string error;
        server = web_server_start(board, 0, pin, WebShell{nullptr, count_change}, &error, limits);
        ASSERT_NE(server, nullptr) << error;
        port = web_server_port(*server);
    }

    bool still_answering() {
        return exchange(port, "GET", "/api/board").status == 200;
    }

    LiveBoard board;
    WebServerHandle server;
    uint16_t port = 0;
};

TEST_F(WebServerTest, AnswersEveryRouteWithItsStatusAndHeaders) {
    start();
    const Reply page = exchange(port, "GET", "/");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(page.header("X-Content-Type-Options"), "nosniff");
    EXPECT_NE(page.header("Content-Security-Policy").find("default-src 'self'"), std::string::npos);
    EXPECT_EQ(page.header("Content-Security-Policy").find("unsafe-inline"), std::string::npos);
    EXPECT_NE(page.body.find("<script src=\"/board.js\""), std::string::npos);
    const Reply staff = exchange(port, "GET", "/staff");
    EXPECT_NE(staff.body.find("Wyczyść tablicę"), std::string::npos);
    EXPECT_EQ(exchange(port, "GET", "/board.js").header("Content-Type"),
              "text/javascript; charset=utf-8");
    EXPECT_EQ(exchange(port, "GET", "/style.css").status, 200);
    EXPECT_EQ(exchange(port, "GET", "/favicon.ico").header("Content-Type"), "image/svg+xml");

    const Reply put = exchange(port, "POST", "/api/numbers", "57", "Content-Type: text/plain\r\n");
    EXPECT_EQ(put.status, 200);
    EXPECT_EQ(put.body, "{\"changed\":true}");
    EXPECT_EQ(put.header("Cache-Control"), "no-store");
    EXPECT_EQ(numbers_on(board), std::vector<std::string>{"57"});
    EXPECT_EQ(repaints.load(), 1);
    EXPECT_EQ(chimes.load(), 1);  // the datagram path's chime, told to the shell
    // The duplicate rule holds as for a datagram.
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "\"57\"").body, "{\"changed\":false}");
    EXPECT_EQ(
        exchange(port, "POST", "/api/numbers", "\"#58\"", "Content-Type: application/json\r\n")
            .status,
        200);
    const Reply state = exchange(port, "GET", "/api/board");
    EXPECT_EQ(state.header("Content-Type"), "application/json");
    EXPECT_NE(state.body.find("\"numbers\":[\"57\",\"#58\"]"), std::string::npos) << state.body;

    // Removal and clearing work with datagram commands off.
    ASSERT_FALSE(board.extensions.commands);
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers/%2358").status, 200);
    EXPECT_EQ(numbers_on(board), std::vector<std::string>{"57"});
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers").status, 200);
    EXPECT_TRUE(numbers_on(board).empty());

    EXPECT_EQ(exchange(port, "GET", "/setup.dat").status, 404);
    const Reply wrong_method = exchange(port, "PUT", "/api/numbers", "57");
    EXPECT_EQ(wrong_method.status, 405);
    EXPECT_EQ(wrong_method.header("Allow"), "POST, DELETE");
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "no number").status, 400);
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", std::string(2048, '7')).status, 413);
    const Reply huge_header =
        exchange(port, "GET", "/api/board", "", "X-Filler: " + std::string(9 * 1024, 'x') + "\r\n");
    EXPECT_EQ(huge_header.status, 431);
    const Socket junk = connect_to(port);
    send_all(junk, "\x16\x03\x01 not http\r\n\r\n");
    EXPECT_EQ(parse(read_to_close(junk)).status, 400);
    close_socket(junk);
    EXPECT_TRUE(numbers_on(board).empty());
    EXPECT_TRUE(still_answering());
}

TEST_F(WebServerTest, WithAPinChangesNeedItAndRepeatedWrongOnesAreRefused) {
    WebLimits limits;
    limits.wrong_pins = 5;
    start(4711, limits);
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "57").status, 401);
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "57", "Authorization: Bearer 4711\r\n").status,
              200);
    EXPECT_EQ(numbers_on(board), std::vector<std::string>{"57"});
    for (int attempt = 1; attempt <= 5; ++attempt) {
        EXPECT_EQ(
            exchange(port, "DELETE", "/api/numbers", "", "Authorization: Bearer 1111\r\n").status,
            401)
            << attempt;
    }
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers", "", "Authorization: Bearer 1111\r\n").status,
              429);
    // Now the right PIN from that address waits too, or guessing would go on; reading does not.
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers", "", "Authorization: Bearer 4711\r\n").status,
              429);
    EXPECT_EQ(numbers_on(board), std::vector<std::string>{"57"});
    EXPECT_TRUE(still_answering());
    // Another address is not held back by this one's guesses.
    const Reply other =
        exchange(port, "DELETE", "/api/numbers", "", "Authorization: Bearer 4711\r\n", 0x7F000002);
    if (other.status != 0) {  // a loopback alias some platforms do not route
        EXPECT_EQ(other.status, 200);
        EXPECT_TRUE(numbers_on(board).empty());
    }
    // A PIN changed while running holds for the next request.
    web_server_set_pin(*server, 0);
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "58").status, 200);
}

TEST_F(WebServerTest, StreamSendsTheBoardAndEveryChange) {
    start();
    const Socket s = connect_to(port);
    ASSERT_NE(s, kNoSocket);
    send_all(s, "GET /api/events HTTP/1.1\r\nHost: board\r\n\r\n");
    const auto has = [](const std::string& what) {
        return [what](const std::string& got) { return got.find(what) != std::string::npos; };
    };
    const std::string start_of_stream = read_until(s, has("\"numbers\":[]"));
    EXPECT_NE(start_of_stream.find("Content-Type: text/event-stream"), std::string::npos);
    EXPECT_NE(start_of_stream.find("data: {\"rows\":4"), std::string::npos) << start_of_stream;
    EXPECT_TRUE(eventually([&] { return web_server_stats(*server).streams == 1; }));

    // A datagram: the shell tells the server, which sends the board once.
    char datagram[] = "61";
    receive_datagram(board, datagram, 2);
    web_server_board_changed(*server);
    EXPECT_NE(read_until(s, has("\"numbers\":[\"61\"]")).find("\"numbers\":[\"61\"]"),
              std::string::npos);
    // A change through the API reaches the stream without the shell's word.
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "62").status, 200);
    EXPECT_NE(read_until(s, has("[\"61\",\"62\"]")).find("[\"61\",\"62\"]"), std::string::npos);
    close_socket(s);
    EXPECT_TRUE(eventually([&] { return web_server_stats(*server).streams == 0; }));
}

// The pages hear of a change once the window has drawn it; while the window keeps drawing, they
// go a few at a time between its paints, every one in its turn; a window that draws nothing holds
// them back no longer than its turn.
TEST_F(WebServerTest, TheWindowDrawsAChangeBeforeThePagesHearOfIt) {
    WebLimits limits;
    limits.window_first_ms = 10 * 60 * 1000;
    limits.pages_per_paint = 1;
    start(0, limits);
    const auto has = [](const std::string& what) {
        return [what](const std::string& got) { return got.find(what) != std::string::npos; };
    };
    std::vector<Socket> pages;
    for (int k = 0; k < 3; ++k) {
        pages.push_back(connect_to(port));
        ASSERT_NE(pages.back(), kNoSocket);
        send_all(pages.back(), "GET /api/events HTTP/1.1\r\nHost: board\r\n\r\n");
        read_until(pages.back(), has("\"numbers\":[]"));
    }
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).streams == 3; }));
    const int sent_before = web_server_stats(*server).events_sent;

    // A number the window is drawing: the pages wait for the paint's end.
    char datagram[] = "61";
    receive_datagram(board, datagram, 2);
    ASSERT_TRUE(repaint_needed(board));
    repaint_begun(board);
    web_server_board_changed(*server);
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).window_waits == 1; }));
    EXPECT_EQ(web_server_stats(*server).events_sent, sent_before);
    repaint_ended(board);
    web_server_window_painted(*server);
    for (const Socket page : pages) {
        EXPECT_NE(read_until(page, has("[\"61\"]")).find("[\"61\"]"), std::string::npos);
    }

    // A flood: the window always has the next number to draw, and each of its paints lets one
    // page through. Taken in turns, every page hears of the flood, not the same one each time.
    std::vector<int> heard(pages.size(), 0);
    for (int k = 0; k < 9; ++k) {
        std::string text = std::to_string(70 + k);
        receive_datagram(board, text.data(), text.size());
        repaint_needed(board);
        const int waits = web_server_stats(*server).window_waits;
        web_server_board_changed(*server);
        if (k == 0) {
            ASSERT_TRUE(eventually([&] { return web_server_stats(*server).window_waits > waits; }));
        }
        const int sent = web_server_stats(*server).events_sent;
        const int parked = web_server_stats(*server).window_waits;
        web_server_window_painted(*server);
        ASSERT_TRUE(eventually([&] {
            const WebServerStats now = web_server_stats(*server);
            return now.events_sent == sent + 1 && now.window_waits == parked + 1;
        }));
    }
    for (size_t k = 0; k < pages.size(); ++k) {
        EXPECT_NE(read_until(pages[k], has("data: ")).find("\"70\""), std::string::npos)
            << "page " << k << " never heard of the flood";
        close_socket(pages[k]);
    }

    // A window that draws nothing (hidden, minimised) holds the pages back only for its turn.
    server.reset();
    limits.window_first_ms = 50;
    start(0, limits);
    const Socket page = connect_to(port);
    ASSERT_NE(page, kNoSocket);
    send_all(page, "GET /api/events HTTP/1.1\r\nHost: board\r\n\r\n");
    read_until(page, has("\"78\""));
    repaint_needed(board);
    char later[] = "99";
    receive_datagram(board, later, 2);
    web_server_board_changed(*server);
    EXPECT_NE(read_until(page, has("\"99\"")).find("\"99\""), std::string::npos);
    close_socket(page);
}

// A change reaches every page at once; a flood of changes reaches them at a bounded pace.
TEST_F(WebServerTest, AFloodOfChangesReachesThePagesAtABoundedPace) {
    WebLimits limits;
    limits.max_connections = 3;
    limits.pages_per_second = 2;
    limits.pages_per_paint = 3;
    start(0, limits);
    std::vector<Socket> pages;
    for (int k = 0; k < 3; ++k) {
        pages.push_back(connect_to(port));
        ASSERT_NE(pages.back(), kNoSocket);
        send_all(pages.back(), "GET /api/events HTTP/1.1\r\nHost: board\r\n\r\n");
        read_until(pages.back(), [](const std::string& got) {
            return got.find("\"numbers\"") != std::string::npos;
        });
    }
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).streams == 3; }));
    const int sent_before = web_server_stats(*server).events_sent;
    char first[] = "61";
    receive_datagram(board, first, 2);
    web_server_board_changed(*server);
    ASSERT_TRUE(
        eventually([&] { return web_server_stats(*server).events_sent == sent_before + 3; }));
    EXPECT_EQ(web_server_stats(*server).pace_waits, 0);

    char second[] = "62";
    receive_datagram(board, second, 2);
    web_server_board_changed(*server);
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).pace_waits > 0; }));
    EXPECT_EQ(web_server_stats(*server).events_sent, sent_before + 3);
    for (const Socket page : pages) {
        const std::string got = read_until(
            page, [](const std::string& so_far) { return so_far.find("62") != std::string::npos; });
        EXPECT_NE(got.find("\"61\",\"62\""), std::string::npos) << got;
        close_socket(page);
    }
}

// Most events go out at once; one a full buffer takes only part of goes on where it was cut.
TEST_F(WebServerTest, AnEventCutByAFullBufferArrivesWhole) {
    start();
    board.settings.rows = 10;
    board.settings.columns = 10;
    for (int k = 0; k < 100; ++k) {
        std::string text = "#" + std::to_string(10000000 + k);
        receive_datagram(board, text.data(), text.size());
    }
    const Socket slow = connect_to(port, 0, 1024);
    ASSERT_NE(slow, kNoSocket);
    send_all(slow, "GET /api/events HTTP/1.1\r\nHost: board\r\n\r\n");
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).streams == 1; }));
    for (int k = 0; k < 12; ++k) {
        std::string text = "#" + std::to_string(20000000 + k);
        receive_datagram(board, text.data(), text.size());
        web_server_board_changed(*server);
        const int sent = web_server_stats(*server).events_sent;
        ASSERT_TRUE(eventually([&] { return web_server_stats(*server).events_sent > sent; }));
    }
    const std::string got = read_until(slow, [](const std::string& so_far) {
        const size_t last = so_far.find("20000011");
        return last != std::string::npos && so_far.find("\n\n", last) != std::string::npos;
    });
    close_socket(slow);
    size_t events = 0;
    for (size_t at = got.find("data: "); at != std::string::npos; at = got.find("data: ", at)) {
        const size_t end = got.find("\n\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string event = got.substr(at, end - at);
        EXPECT_EQ(event.find("data: ", 1), std::string::npos) << "two events run together";
        EXPECT_EQ(event.back(), '}') << event;
        at = end;
        ++events;
    }
    EXPECT_GE(events, 12u);
    EXPECT_EQ(web_server_stats(*server).dropped_streams, 0);
}

TEST_F(WebServerTest, AStreamClientThatStopsReadingIsDroppedAtItsQueueBound) {
    WebLimits limits;
    start(0, limits);
    // Every slot full, so each event is long and the kernel's buffers fill in a few.
    board.settings.rows = 10;
    board.settings.columns = 10;
    for (int k = 0; k < 100; ++k) {
        std::string text = "#" + std::to_string(10000000 + k);
        receive_datagram(board, text.data(), text.size());
    }
    const Socket sleeper = connect_to(port, 0, 1024);
    ASSERT_NE(sleeper, kNoSocket);
    send_all(sleeper, "GET /api/events HTTP/1.1\r\nHost: board\r\n\r\n");
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).streams == 1; }));
    int k = 0;
    EXPECT_TRUE(eventually([&] {
        std::string text = std::to_string(20000000 + k++ % 2);
        receive_datagram(board, text.data(), text.size());
        web_server_board_changed(*server);
        return web_server_stats(*server).dropped_streams == 1;
    }));
    const WebServerStats stats = web_server_stats(*server);
    EXPECT_EQ(stats.streams, 0);
    EXPECT_LE(stats.largest_queue, limits.stream_queue);
    EXPECT_TRUE(still_answering());
    close_socket(sleeper);
}

TEST_F(WebServerTest, ConnectionsPastTheLimitAreClosedAtOnce) {
    WebLimits limits;
    limits.idle_ms = 10 * 60 * 1000;  // the held connections must not time out meanwhile
    start(0, limits);
    std::vector<Socket> held;
    for (int k = 0; k < limits.max_connections; ++k) {
        held.push_back(connect_to(port));
        ASSERT_NE(held.back(), kNoSocket) << k;
    }
    ASSERT_TRUE(eventually(
        [&] { return web_server_stats(*server).connections == limits.max_connections; }));
    const Socket extra = connect_to(port);
    ASSERT_NE(extra, kNoSocket);
    bool closed = false;
    read_to_close(extra, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(web_server_stats(*server).refused, 1);
    close_socket(extra);
    // The held ones still work, and once they go others are served again.
    send_all(held[0], "GET /api/board HTTP/1.1\r\nHost: board\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(parse(read_to_close(held[0])).status, 200);
    for (const Socket s : held) {
        close_socket(s);
    }
    EXPECT_TRUE(eventually([&] { return web_server_stats(*server).connections == 0; }));
    EXPECT_TRUE(still_answering());
}

TEST_F(WebServerTest, AnIdleRequestIsClosed) {
    WebLimits limits;
    limits.idle_ms = 500;
    start(0, limits);
    const Socket slow = connect_to(port);
    ASSERT_NE(slow, kNoSocket);
    send_all(slow, "GET /api/board HTTP/1.1\r\nHost: bo");
    bool closed = false;
    EXPECT_EQ(read_to_close(slow, &closed), "");
    EXPECT_TRUE(closed);
    close_socket(slow);
    EXPECT_TRUE(still_answering());
}

TEST_F(WebServerTest, StopsFreesItsPortAndReportsABindFailure) {
    start();
    std::string error;
    const WebServerHandle second =
        web_server_start(board, port, 0, WebShell{nullptr, nullptr}, &error);
    EXPECT_EQ(second, nullptr);
    EXPECT_FALSE(error.empty());
    // A stream open while stopping does not hold the stop up.
    const Socket s = connect_to(port);
    send_all(s, "GET /api/events HTTP/1.1\r\nHost: board\r\n\r\n");
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).streams == 1; }));
    server.reset();
    close_socket(s);
    server = web_server_start(board, port, 0, WebShell{nullptr, nullptr}, &error);
    ASSERT_NE(server, nullptr) << error;
    EXPECT_TRUE(still_answering());
}

}  // namespace
