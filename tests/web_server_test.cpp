// The web server on real sockets over the loopback address, with a board of the test's own: every
// status the API gives, a number put up reaching the board and the event stream, and each bound
// held against a hostile client with the server answering afterwards.
#include "web/web_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "core/voice_clips.h"
#include "live/controller.h"
#include "web/web_front.h"

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

// A blocking TCP client whose reads and writes give up after kWaitSeconds, optionally from another
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
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
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

// False once the server has closed (never a signal: that would end the test program).
bool send_all(Socket s, const std::string& bytes) {
#ifdef MSG_NOSIGNAL
    constexpr int kFlags = MSG_NOSIGNAL;
#else
    constexpr int kFlags = 0;
#endif
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), kFlags);
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

// The Host a browser on the board's own machine sends.
std::string host_line(uint16_t port) {
    return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
}

std::string events_request(uint16_t port) {
    return "GET /api/events HTTP/1.1\r\n" + host_line(port) + "\r\n";
}

// Bytes sent on a connection of their own, and the answer read until the server closes.
Reply raw_exchange(uint16_t port, const std::string& request, uint32_t from = 0) {
    const Socket s = connect_to(port, from);
    if (s == kNoSocket) {
        return Reply{};
    }
    send_all(s, request);
    const Reply reply = parse(read_to_close(s));
    close_socket(s);
    return reply;
}

// One request on a connection of its own, answered and closed; `head` is the request's Host line
// (and any others) when not the usual one.
Reply exchange(uint16_t port, const std::string& method, const std::string& target,
               const std::string& body = "", const std::string& extra_headers = "",
               uint32_t from = 0, const std::string& head = "") {
    std::string request = method + " " + target + " HTTP/1.1\r\n" +
                          (head.empty() ? host_line(port) : head) + extra_headers +
                          "Connection: close\r\n";
    if (!body.empty() || method == "POST") {
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    return raw_exchange(port, request + "\r\n" + body, from);
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
    // A clear by mistake is put back; a preparing number needs the zones on.
    EXPECT_EQ(exchange(port, "POST", "/api/undo").body, "{\"changed\":true}");
    EXPECT_EQ(numbers_on(board), std::vector<std::string>{"57"});
    const std::string preparing = "{\"number\":\"60\",\"state\":\"preparing\"}";
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", preparing).status, 409);
    {
        std::lock_guard<std::mutex> hold(board.lock);
        board.tail.present = board.tail.web_present = board.tail.zones_present = true;
        board.tail.fields.zones = 1;
        board.extensions = extensions_of(board.tail);
    }
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", preparing).body, "{\"changed\":true}");
    EXPECT_NE(exchange(port, "GET", "/api/board").body.find("\"preparing\":[\"60\"]"),
              std::string::npos);
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers").status, 200);

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
    const Reply not_http = parse(read_to_close(junk));
    EXPECT_EQ(not_http.status, 400);
    EXPECT_EQ(not_http.body, "{\"error\":\"malformed HTTP request\"}");
    close_socket(junk);
    EXPECT_TRUE(numbers_on(board).empty());
    EXPECT_TRUE(still_answering());
}

// A clip is its recorded WAVE file, kept by the browser for good; with the voice off its path is
// unknown, as it was before the voice.
TEST_F(WebServerTest, AClipIsAnsweredAsItsWaveOnlyWhileTheVoiceIsOn) {
    start();
    const Reply unknown = exchange(port, "GET", "/nothing");
    const Reply off = exchange(port, "GET", "/voice/siedem.wav");
    EXPECT_EQ(off.status, 404);
    EXPECT_EQ(off.body, unknown.body);
    EXPECT_EQ(off.header("Cache-Control"), "no-store");
    {
        std::lock_guard<std::mutex> hold(board.lock);
        board.extensions.voice = true;
    }
    const VoiceClip* clip = find_voice_clip("siedem");
    ASSERT_NE(clip, nullptr);
    const Reply get = exchange(port, "GET", "/voice/siedem.wav");
    EXPECT_EQ(get.status, 200);
    EXPECT_EQ(get.header("Content-Type"), "audio/wav");
    EXPECT_EQ(get.header("Cache-Control"), "public, max-age=31536000, immutable");
    EXPECT_EQ(get.header("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(get.body.size(), clip->size);
    EXPECT_TRUE(get.body == std::string(reinterpret_cast<const char*>(clip->bytes), clip->size))
        << "the clip's bytes, each as built";
    const Reply head = exchange(port, "HEAD", "/voice/siedem.wav");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length"), std::to_string(clip->size));
    EXPECT_EQ(head.body, "");
    EXPECT_EQ(exchange(port, "POST", "/voice/siedem.wav").header("Allow"), "GET, HEAD");
    EXPECT_EQ(exchange(port, "GET", "/voice/nic.wav").status, 404);
    // The calls the page plays come with the board.
    char datagram[] = "57";
    receive_datagram(board, datagram, 2);
    EXPECT_NE(exchange(port, "GET", "/api/board")
                  .body.find(",\"voice\":true,\"calls\":[{\"seq\":1,\"number\":\"57\","),
              std::string::npos);
}

// An uptime check's HEAD: a GET's status and headers, the length of its body, and no body.
TEST_F(WebServerTest, AHeadIsAnsweredWithTheHeadOfAGetAlone) {
    start();
    char datagram[] = "57";
    receive_datagram(board, datagram, 2);
    for (const char* target : {"/", "/staff", "/favicon.ico", "/api/board"}) {
        const Reply get = exchange(port, "GET", target);
        const Reply head = exchange(port, "HEAD", target);
        EXPECT_EQ(head.status, 200) << target;
        EXPECT_EQ(head.header("Content-Length"), std::to_string(get.body.size())) << target;
        EXPECT_EQ(head.header("Content-Type"), get.header("Content-Type")) << target;
        EXPECT_EQ(head.header("Cache-Control"), get.header("Cache-Control")) << target;
        EXPECT_EQ(head.body, "") << target;
    }
    const Reply stream = exchange(port, "HEAD", "/api/events");
    EXPECT_EQ(stream.status, 405);
    EXPECT_EQ(stream.header("Allow"), "GET");
    EXPECT_EQ(stream.body, "");
    EXPECT_EQ(exchange(port, "POST", "/").header("Allow"), "GET, HEAD");
    EXPECT_EQ(exchange(port, "HEAD", "/nothing").body, "");
    // Kept alive, the next answer follows the head at once: no body came between.
    const Socket s = connect_to(port);
    ASSERT_NE(s, kNoSocket);
    send_all(s, "HEAD /api/board HTTP/1.1\r\n" + host_line(port) +
                    "\r\nGET /api/board HTTP/1.1\r\n" + host_line(port) +
                    "Connection: close\r\n\r\n");
    const std::string both = read_to_close(s);
    close_socket(s);
    const size_t second = both.find("\r\n\r\n") + 4;
    EXPECT_EQ(both.compare(second, 9, "HTTP/1.1 "), 0) << both;
    EXPECT_NE(parse(both.substr(second)).body.find("\"numbers\":[\"57\"]"), std::string::npos);
}

// A body in a coding the server cannot read may hide a second request: one answer, then closed.
TEST_F(WebServerTest, ABodyInACodingOtherThanChunkedIsRefusedAndTheConnectionClosed) {
    start();
    const std::string smuggled =
        "POST /api/numbers HTTP/1.1\r\n" + host_line(port) + "Content-Length: 2\r\n\r\n99";
    const std::string chunk = "2\r\n57\r\n0\r\n\r\n";
    for (const std::string& framing : std::vector<std::string>{
             "Transfer-Encoding: gzip, chunked\r\n\r\n" + chunk,
             "Transfer-Encoding: identity\r\nContent-Length: 2\r\n\r\n57",
             "Content-Length: 2\r\nTransfer-Encoding: identity\r\n\r\n57",
             "Transfer-Encoding: foo\r\n\r\n57",
             "Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" + chunk,
             "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n" + chunk}) {
        const Socket s = connect_to(port);
        ASSERT_NE(s, kNoSocket);
        send_all(s, "POST /api/numbers HTTP/1.1\r\n" + host_line(port) + framing + smuggled);
        shutdown(s, 1);  // SHUT_WR / SD_SEND: all sent
        const std::string answers = read_to_close(s);
        close_socket(s);
        const Reply refused = parse(answers);
        EXPECT_EQ(refused.status, 501) << framing;
        EXPECT_EQ(refused.body, "{\"error\":\"Transfer-Encoding other than chunked\"}") << framing;
        EXPECT_EQ(refused.header("Connection"), "close") << framing;
        EXPECT_EQ(answers.find("HTTP/1.1", 1), std::string::npos) << answers;
    }
    EXPECT_TRUE(numbers_on(board).empty());
    EXPECT_EQ(
        raw_exchange(port, "POST /api/numbers HTTP/1.1\r\n" + host_line(port) +
                               "Transfer-Encoding: Chunked\r\nConnection: close\r\n\r\n" + chunk)
            .status,
        200);
    EXPECT_EQ(numbers_on(board), std::vector<std::string>{"57"});
}

TEST_F(WebServerTest, WithAPinChangesNeedItAndRepeatedWrongOnesAreRefused) {
    WebLimits limits;
    limits.wrong_pins = 5;
    start(4711, limits);
    const Reply asked = exchange(port, "POST", "/api/numbers", "57");
    EXPECT_EQ(asked.status, 401);
    EXPECT_EQ(asked.header("WWW-Authenticate"), "Bearer");  // a 401 must say how to authenticate
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

// A page of another site whose name the attacker points at the board's address (DNS rebinding)
// sends its own name as the Host: refused on every route, the stream included, changing nothing.
TEST_F(WebServerTest, OnlyRequestsNamingThisMachineAreAnswered) {
    start();
    const std::string foreign = "Host: attacker.example:" + std::to_string(port) + "\r\n";
    for (const char* target : {"/", "/staff", "/board.js", "/api/board", "/api/events"}) {
        EXPECT_EQ(exchange(port, "GET", target, "", "", 0, foreign).status, 421) << target;
    }
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "57", "", 0, foreign).status, 421);
    EXPECT_EQ(
        raw_exchange(port, "POST /api/numbers HTTP/1.1\r\nContent-Length: 2\r\n\r\n57").status,
        400);
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "57", "", 0,
                       host_line(port) + "Host: attacker.example\r\n")
                  .status,
              400);
    EXPECT_TRUE(numbers_on(board).empty());
    EXPECT_EQ(web_server_stats(*server).streams, 0);

    EXPECT_EQ(raw_exchange(port, "GET /api/board HTTP/1.0\r\n\r\n").status, 200);
    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    for (const std::string& ours :
         {std::string("localhost:") + std::to_string(port), std::string("127.0.0.1"),
          std::string(name) + ":" + std::to_string(port)}) {
        EXPECT_EQ(exchange(port, "GET", "/api/board", "", "", 0, "Host: " + ours + "\r\n").status,
                  200)
            << ours;
    }
    EXPECT_EQ(exchange(port, "GET", "/api/board", "", "", 0,
                       "Host: 127.0.0.1:" + std::to_string(port + 1) + "\r\n")
                  .status,
              421);
}

// A form, a no-cors fetch or a beacon from another site's page carries that page's Origin; a
// till, curl or PowerShell sends none and is served as ever.
TEST_F(WebServerTest, AChangeFromAnotherSitesPageIsRefused) {
    start();
    const std::string plain = "Content-Type: text/plain\r\n";
    for (const char* origin : {"http://attacker.example", "null", "https://127.0.0.1"}) {
        const std::string line = std::string("Origin: ") + origin + "\r\n";
        EXPECT_EQ(exchange(port, "POST", "/api/numbers", "57", plain + line).status, 403) << origin;
    }
    EXPECT_TRUE(numbers_on(board).empty());
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "57", plain).status, 200);
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers/57", "", "Origin: http://attacker.example\r\n")
                  .status,
              403);
    EXPECT_EQ(numbers_on(board), std::vector<std::string>{"57"});
    const std::string own = "Origin: http://127.0.0.1:" + std::to_string(port) + "\r\n";
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers/57", "", own).status, 200);
    EXPECT_TRUE(numbers_on(board).empty());
    // Reading is not a change.
    EXPECT_EQ(exchange(port, "GET", "/api/board", "", "Origin: http://attacker.example\r\n").status,
              200);
    // The PIN does not make another site's page ours.
    web_server_set_pin(*server, 4711);
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "58",
                       "Authorization: Bearer 4711\r\nOrigin: http://attacker.example\r\n")
                  .status,
              403);
    EXPECT_TRUE(numbers_on(board).empty());
}

// The lock holds however many addresses guess: past a full table the stalest records go, never the
// fresh ones, and the wrong PINs of all addresses together lock every change that needs the PIN.
TEST_F(WebServerTest, TheWrongPinLockHoldsPastAFullTableAndAcrossAddresses) {
    WebLimits limits;
    limits.wrong_pins = 2;
    limits.wrong_pin_addresses = 4;
    limits.wrong_pins_all = 9;
    start(4711, limits);
    const std::string wrong = "Authorization: Bearer 1111\r\n";
    const std::string right = "Authorization: Bearer 4711\r\n";
    const auto from = [](uint32_t c, uint32_t d) { return 0x7F000000u | (c << 8) | d; };
    const int first = exchange(port, "DELETE", "/api/numbers", "", wrong, from(1, 1)).status;
    if (first == 0) {
        GTEST_SKIP() << "no loopback aliases here";
    }
    EXPECT_EQ(first, 401);
    for (uint32_t d = 2; d <= 5; ++d) {
        EXPECT_EQ(exchange(port, "DELETE", "/api/numbers", "", wrong, from(1, d)).status, 401);
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(exchange(port, "DELETE", "/api/numbers", "", wrong, from(2, 1)).status, 401);
    }
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers", "", right, from(2, 1)).status, 429);
    // Seven wrong PINs so far, two more from elsewhere: nobody may change the board for now.
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers", "", wrong, from(3, 1)).status, 401);
    EXPECT_EQ(exchange(port, "DELETE", "/api/numbers", "", wrong, from(3, 2)).status, 401);
    EXPECT_EQ(exchange(port, "POST", "/api/numbers", "57", right, from(4, 1)).status, 429);
    EXPECT_TRUE(numbers_on(board).empty());
    EXPECT_EQ(exchange(port, "GET", "/api/board", "", "", from(4, 1)).status, 200);
}

TEST_F(WebServerTest, StreamSendsTheBoardAndEveryChange) {
    start();
    const Socket s = connect_to(port);
    ASSERT_NE(s, kNoSocket);
    send_all(s, events_request(port));
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

// A change that comes while the server copies the board for the pages is sent after that copy.
TEST_F(WebServerTest, AChangeDuringThePagesCopyIsNotLost) {
    struct Late {
        LiveBoard* board;
        WebServer* server;
        bool made;
    } late{&board, nullptr, false};
    const auto change_once = [](void* context) {
        Late& it = *static_cast<Late*>(context);
        if (!it.made) {
            it.made = true;
            char number[] = "64";
            receive_datagram(*it.board, number, 2);
            web_server_board_changed(*it.server);
        }
    };
    std::string error;
    server = web_server_start(board, 0, 0, WebShell{&late, nullptr, change_once}, &error);
    ASSERT_NE(server, nullptr) << error;
    late.server = server.get();
    const Socket page = connect_to(web_server_port(*server));
    send_all(page, events_request(web_server_port(*server)));
    read_until(page,
               [](const std::string& got) { return got.find("\"numbers\"") != std::string::npos; });
    char first[] = "63";
    receive_datagram(board, first, 2);
    web_server_board_changed(*server);
    EXPECT_NE(read_until(page,
                         [](const std::string& got) {
                             return got.find("[\"63\",\"64\"]") != std::string::npos;
                         })
                  .find("[\"63\",\"64\"]"),
              std::string::npos);
    close_socket(page);
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
        send_all(pages.back(), events_request(port));
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
    send_all(page, events_request(port));
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
        send_all(pages.back(), events_request(port));
        read_until(pages.back(), [](const std::string& got) {
            return got.find("\"numbers\"") != std::string::npos;
        });
    }
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).streams == 3; }));
    // A quiet spell earns no more than one change's sends to every page at once.
    std::this_thread::sleep_for(std::chrono::seconds(2));
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
    send_all(slow, events_request(port));
    // The stream counts as open a moment before its first two events (the reconnection delay and
    // the board) are queued: a change's wait below must not be met by those.
    ASSERT_TRUE(eventually([&] {
        const WebServerStats stats = web_server_stats(*server);
        return stats.streams == 1 && stats.events_sent == 2;
    }));
    for (int k = 0; k < 12; ++k) {
        std::string text = "#" + std::to_string(20000000 + k);
        receive_datagram(board, text.data(), text.size());
        // Read before the change: a server thread quicker than this one would otherwise have sent
        // it already, and the wait would last till the next heartbeat.
        const int sent = web_server_stats(*server).events_sent;
        web_server_board_changed(*server);
        ASSERT_TRUE(eventually([&] { return web_server_stats(*server).events_sent > sent; }));
    }
    const std::string got = read_until(slow, [](const std::string& so_far) {
        const size_t last = so_far.find("20000011");
        return last != std::string::npos && so_far.find("\n\n", last) != std::string::npos;
    });
    close_socket(slow);
    // Every byte after the head belongs to a whole event: one that lost its start, as the event
    // after one finished by a write that waited would, shows as a piece of JSON.
    const size_t head_end = got.find("\r\n\r\n");
    ASSERT_NE(head_end, std::string::npos);
    size_t events = 0;
    for (size_t at = head_end + 4; at < got.size();) {
        const size_t end = got.find("\n\n", at);
        ASSERT_NE(end, std::string::npos) << got.substr(at, 60);
        const std::string event = got.substr(at, end - at);
        at = end + 2;
        if (event.rfind("retry: ", 0) == 0 || event.rfind("event: beat", 0) == 0) {
            continue;  // the reconnection delay, a heartbeat
        }
        EXPECT_EQ(event.rfind("data: {", 0), 0u)
            << "an event without its start: " << event.substr(0, 60);
        EXPECT_EQ(event.find("data: ", 1), std::string::npos) << "two events run together";
        EXPECT_EQ(event.back(), '}') << event;
        ++events;
    }
    EXPECT_EQ(events, 13u);  // the board as the stream opened, then each of the twelve changes
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
    send_all(sleeper, events_request(port));
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
        held.push_back(connect_to(port, kLoopback + 0x100 + static_cast<uint32_t>(k)));
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
    send_all(held[0],
             "GET /api/board HTTP/1.1\r\n" + host_line(port) + "Connection: close\r\n\r\n");
    EXPECT_EQ(parse(read_to_close(held[0])).status, 200);
    for (const Socket s : held) {
        close_socket(s);
    }
    EXPECT_TRUE(eventually([&] { return web_server_stats(*server).connections == 0; }));
    EXPECT_TRUE(still_answering());
}

// One address, or a few at their caps, cannot shut out the phone that comes next.
TEST_F(WebServerTest, AnAddressHoldsItsShareOfConnectionsAndStreamsAndNoMore) {
    WebLimits limits;
    limits.idle_ms = 10 * 60 * 1000;
    limits.max_connections = 36;
    limits.per_address = 16;
    limits.reserved = 8;
    limits.reserve_share = 4;
    limits.streams_per_address = 2;
    start(0, limits);
    std::vector<Socket> held;
    // Connects from `from` and says whether the server kept the connection.
    const auto kept = [&](uint32_t from) {
        const WebServerStats before = web_server_stats(*server);
        held.push_back(connect_to(port, from));
        return held.back() != kNoSocket && eventually([&] {
                   const WebServerStats now = web_server_stats(*server);
                   return now.connections + now.refused > before.connections + before.refused;
               }) &&
               web_server_stats(*server).refused == before.refused;
    };
    const uint32_t first = kLoopback + 1, second = kLoopback + 2, newcomer = kLoopback + 3;
    for (int k = 0; k < 16; ++k) {
        EXPECT_TRUE(kept(first)) << k;
    }
    EXPECT_FALSE(kept(first));  // its own cap, with 20 slots free
    for (int k = 0; k < 12; ++k) {
        EXPECT_TRUE(kept(second)) << k;
    }
    EXPECT_FALSE(kept(second));  // under its cap, but only the reserve is left
    EXPECT_TRUE(kept(newcomer));
    for (const Socket s : held) {
        close_socket(s);
    }
    held.clear();
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).connections == 0; }));

    for (int k = 0; k < 2; ++k) {
        held.push_back(connect_to(port, first));
        send_all(held.back(), events_request(port));
        read_until(held.back(), [](const std::string& got) {
            return got.find("\"numbers\"") != std::string::npos;
        });
    }
    EXPECT_EQ(web_server_stats(*server).streams, 2);
    const Reply third = raw_exchange(port, events_request(port), first);
    EXPECT_EQ(third.status, 429);
    EXPECT_NE(third.body.find("streams"), std::string::npos) << third.body;
    held.push_back(connect_to(port, second));
    send_all(held.back(), events_request(port));
    EXPECT_NE(read_until(held.back(),
                         [](const std::string& got) {
                             return got.find("\"numbers\"") != std::string::npos;
                         })
                  .find("\"numbers\""),
              std::string::npos);
    for (const Socket s : held) {
        close_socket(s);
    }
}

// However busy a client keeps its connection, it is given back now and then.
TEST_F(WebServerTest, AKeepAliveConnectionIsClosedAfterItsShareOfAnswers) {
    WebLimits limits;
    limits.requests_per_connection = 3;
    start(0, limits);
    const Socket busy = connect_to(port);
    ASSERT_NE(busy, kNoSocket);
    std::string requests;
    for (int k = 0; k < 5; ++k) {
        requests += "GET /api/board HTTP/1.1\r\n" + host_line(port) + "\r\n";
    }
    send_all(busy, requests);
    bool closed = false;
    const std::string answers = read_to_close(busy, &closed);
    close_socket(busy);
    EXPECT_TRUE(closed);
    size_t count = 0;
    for (size_t at = answers.find("HTTP/1.1 200"); at != std::string::npos;
         at = answers.find("HTTP/1.1 200", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 3u);
    EXPECT_NE(answers.rfind("Connection: close"), std::string::npos);
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

// What a client sends after an answer that closes is thrown away, bounded: it can neither slip
// requests in behind a 413, nor keep the connection by trickling, nor by streaming a huge body.
TEST_F(WebServerTest, AConnectionAnsweredAndClosedStaysClosedWhateverTheClientSends) {
    WebLimits limits;
    limits.linger_ms = 10 * 60 * 1000;  // only the byte cap can end the flood below
    start(0, limits);
    std::string smuggled;
    while (smuggled.size() < 2048) {
        smuggled += "GET /api/board HTTP/1.1\r\n" + host_line(port) + "\r\n";
    }
    bool closed = false;
    const Socket over = connect_to(port);
    ASSERT_NE(over, kNoSocket);
    send_all(over, "POST /api/numbers HTTP/1.1\r\n" + host_line(port) + "Content-Length: " +
                       std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled);
    shutdown(over, 1);  // SHUT_WR / SD_SEND: all sent
    const std::string answers = read_to_close(over, &closed);
    close_socket(over);
    EXPECT_EQ(parse(answers).status, 413);
    EXPECT_EQ(answers.find("HTTP/1.1", 1), std::string::npos) << answers;
    EXPECT_TRUE(closed);

    const Socket flood = connect_to(port);
    ASSERT_NE(flood, kNoSocket);
    send_all(flood, "POST /api/numbers HTTP/1.1\r\n" + host_line(port) +
                        "Content-Length: 100000000000\r\n\r\n");
    EXPECT_EQ(parse(read_until(flood,
                               [](const std::string& got) {
                                   return got.find("\r\n\r\n") != std::string::npos;
                               }))
                  .status,
              413);
    const std::string chunk(16 * 1024, '7');
    bool cut_off = false;
    for (int k = 0; k < 1024 && !cut_off; ++k) {  // 16 MiB: far past the cap and any buffers
        cut_off = !send_all(flood, chunk);
    }
    close_socket(flood);
    EXPECT_TRUE(cut_off);
    EXPECT_TRUE(eventually([&] { return web_server_stats(*server).connections == 0; }));

    server.reset();
    start();
    const Socket trickle = connect_to(port);
    ASSERT_NE(trickle, kNoSocket);
    send_all(trickle, "\x16\x03\x01 not http\r\n\r\n");
    EXPECT_EQ(parse(read_until(trickle,
                               [](const std::string& got) {
                                   return got.find("\r\n\r\n") != std::string::npos;
                               }))
                  .status,
              400);
    // A byte at a time, each well within the idle time, for ten times the linger's deadline.
    bool dropped = false;
    for (int k = 0; k < 50 && !dropped; ++k) {
        dropped = !send_all(trickle, "x") || web_server_stats(*server).connections == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    close_socket(trickle);
    EXPECT_TRUE(dropped);
    EXPECT_TRUE(still_answering());
}

// The idle time bounds a request in progress, not a stream, which says nothing for as long as the
// page is open.
TEST_F(WebServerTest, AStreamIdleLongerThanTheIdleTimeStaysOpen) {
    WebLimits limits;
    limits.idle_ms = 100;
    start(0, limits);
    const Socket page = connect_to(port);
    ASSERT_NE(page, kNoSocket);
    send_all(page, events_request(port));
    const auto has = [](const std::string& what) {
        return [what](const std::string& got) { return got.find(what) != std::string::npos; };
    };
    read_until(page, has("\"numbers\":[]"));
    std::this_thread::sleep_for(std::chrono::milliseconds(10 * limits.idle_ms));
    EXPECT_EQ(web_server_stats(*server).streams, 1);
    char datagram[] = "61";
    receive_datagram(board, datagram, 2);
    web_server_board_changed(*server);
    EXPECT_NE(read_until(page, has("[\"61\"]")).find("[\"61\"]"), std::string::npos);
    close_socket(page);
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
    send_all(s, events_request(port));
    ASSERT_TRUE(eventually([&] { return web_server_stats(*server).streams == 1; }));
    server.reset();
    close_socket(s);
    server = web_server_start(board, port, 0, WebShell{nullptr, nullptr}, &error);
    ASSERT_NE(server, nullptr) << error;
    EXPECT_TRUE(still_answering());
}

// The front the programs drive the server through, behind a controller whose shell does nothing.
class WebFrontTest : public testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        board.settings = BoardSettings{4, 2, 50, 150, 240, 240, 240, 240, 0};
        board.tail.present = true;
        board.tail.web_present = true;
        controller.board = &board;
        controller.ops = &kQuietShell;
    }
    void TearDown() override {
        controller_stop(controller);
#ifdef _WIN32
        WSACleanup();
#endif
    }
    // Serves on a port nothing listened on a moment ago.
    void serve(const WebLimits& limits = WebLimits{}) {
        controller.web = web_front_ops(controller, limits);
        std::string error;
        WebServerHandle probe = web_server_start(board, 0, 0, WebShell{nullptr, nullptr}, &error);
        ASSERT_NE(probe, nullptr) << error;
        board.tail.fields.web_port = web_server_port(*probe);
        probe.reset();
        controller_window_ready(controller);
        ASSERT_NE(controller.web_port, 0);
    }
    static inline const ShellOps kQuietShell = {
        [](void*) {},       [](void*, ShellTimer, uint32_t) {}, [](void*, ShellTimer) {},
        [](void*) {},       [](void*, DialogKind) {},           [](void*) {},
        [](void*, bool) {},
    };
    LiveBoard board;
    Controller controller{};
};

TEST_F(WebFrontTest, TheWindowsPaintReleasesThePagesAtOnce) {
    // Only the end of the window's paint lets the pages' event go: no time-out would in the test.
    WebLimits limits;
    limits.window_first_ms = 600000;
    serve(limits);
    const Socket page = connect_to(static_cast<uint16_t>(controller.web_port));
    ASSERT_NE(page, kNoSocket);
    send_all(page, "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_NE(read_until(page,
                         [](const std::string& got) {
                             return got.find("\n\n", got.find("data:")) != std::string::npos;
                         })
                  .find("data:"),
              std::string::npos);

    char number[] = "57";
    ASSERT_TRUE(receive_text(board, number, 2));
    ASSERT_TRUE(repaint_needed(board));  // the window is behind before the pages hear of it
    controller_board_changed(controller);
    ASSERT_TRUE(eventually([] {
        WebServerStats stats{};
        return web_front_stats(&stats) && stats.window_waits > 0;
    }));
    controller_paint_begun(controller);
    controller_painted(controller);
    const std::string got = read_until(
        page, [](const std::string& seen) { return seen.find("57") != std::string::npos; });
    EXPECT_NE(got.find("57"), std::string::npos);
    close_socket(page);
}

TEST_F(WebFrontTest, StopsWhileItsOwnThreadReportsAChange) {
    // A number put up through the web is reported from the server's thread, which takes the
    // front's lock: a stop holding that lock while the thread ends would wait for ever.
    serve();
    const uint16_t port = static_cast<uint16_t>(controller.web_port);
    std::atomic<bool> done{false};
    std::thread till([&] {
        for (int n = 0; !done.load(); ++n) {
            exchange(port, "POST", "/api/numbers", std::to_string(n % 1000));
        }
    });
    std::packaged_task<void()> rounds([&] {
        for (int round = 0; round < 20; ++round) {
            for (const uint16_t now : {uint16_t{0}, port}) {
                {
                    std::lock_guard<std::mutex> hold(board.lock);
                    board.tail.fields.web_port = now;
                }
                controller_apply_web(controller);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::future<void> finished = rounds.get_future();
    std::thread shell(std::move(rounds));
    if (finished.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "stopping the server while it reports a change never ended";
        std::_Exit(1);  // the stuck threads cannot be joined
    }
    shell.join();
    done.store(true);
    till.join();
    EXPECT_GT(numbers_on(board).size(), 0u);
}

}  // namespace
