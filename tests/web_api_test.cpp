// The web side's decisions without a socket: which request does what, the refusals and their order,
// the numbers read from bodies and paths, the PIN, the board as JSON, and who is answered at all
// (Host, Origin, the wrong-PIN lock).
#include "core/web_api.h"

#include <gtest/gtest.h>

#include "core/voice.h"
#include "core/web_admission.h"

#include <cstring>
#include <string>

namespace {

WebAction map(const char* method, const char* target, int32_t pin = 0, const char* body = "",
              const char* authorization = "", const char* content_type = "") {
    WebRequest request{};
    request.method = method;
    request.target = target;
    request.body = body;
    request.authorization = authorization;
    request.content_type = content_type;
    return map_web_request(request, pin);
}

// The number read, or the reason for none in angle brackets.
std::string body_number(const std::string& body, const char* type = "") {
    char out[kSlotSize + 1];
    const char* why = nullptr;
    return parse_number_body(type, body, out, &why) ? std::string(out)
                                                    : "<" + std::string(why) + ">";
}

std::string segment_number(const char* segment) {
    char out[kSlotSize + 1];
    const char* why = nullptr;
    return parse_number_segment(segment, out, &why) ? std::string(out)
                                                    : "<" + std::string(why) + ">";
}

TEST(WebApi, RoutesPagesAndRefusesUnknownPathsAndMethods) {
    EXPECT_STREQ(map("GET", "/").asset, "index.html");
    EXPECT_STREQ(map("GET", "/?tv=1").asset, "index.html");
    EXPECT_STREQ(map("GET", "/staff").asset, "staff.html");
    EXPECT_STREQ(map("GET", "/style.css").asset, "style.css");
    EXPECT_STREQ(map("GET", "/favicon.svg").asset, "favicon.svg");
    EXPECT_STREQ(map("GET", "/link.js").asset, "link.js");
    EXPECT_STREQ(map("GET", "/favicon.ico").asset, "favicon.svg");
    EXPECT_EQ(map("GET", "/api/board").route, WebRoute::kGetBoard);
    EXPECT_EQ(map("GET", "/api/events").route, WebRoute::kEvents);
    EXPECT_EQ(map("POST", "/api/numbers", 0, "57").route, WebRoute::kPutNumber);
    EXPECT_EQ(map("DELETE", "/api/numbers").route, WebRoute::kClearBoard);
    EXPECT_EQ(map("DELETE", "/api/numbers/57").route, WebRoute::kRemoveNumber);
    EXPECT_EQ(map("POST", "/api/undo").route, WebRoute::kUndo);
    EXPECT_TRUE(map("POST", "/api/undo").changes);
    EXPECT_EQ(map("GET", "/api/undo").status, 405);
    EXPECT_STREQ(map("GET", "/api/undo").allow, "POST");
    EXPECT_EQ(map("POST", "/api/undo", 1234).status, 401);

    for (const char* target : {"/setup.dat", "/api", "/api/numbers/", "/api/numbers/5/7", "/staff/",
                               "//", "/api/board/x", "*", ""}) {
        EXPECT_EQ(map("GET", target).status, 404) << target;
        EXPECT_EQ(map("DELETE", target).status, 404) << target;
    }
    EXPECT_STREQ(map("GET", "/nothing").reason, "not found");
    const WebAction post_page = map("POST", "/");
    EXPECT_EQ(post_page.status, 405);
    EXPECT_STREQ(post_page.reason, "method not allowed");
    EXPECT_STREQ(post_page.allow, "GET, HEAD");
    EXPECT_STREQ(map("PUT", "/api/numbers").allow, "POST, DELETE");
    EXPECT_STREQ(map("GET", "/api/numbers").allow, "POST, DELETE");
    EXPECT_STREQ(map("POST", "/api/numbers/57").allow, "DELETE");
    EXPECT_STREQ(map("DELETE", "/api/board").allow, "GET, HEAD");
    EXPECT_EQ(map("get", "/api/board").status, 405);  // methods are case-sensitive

    // HEAD is GET wherever GET is, but for the stream; it never changes anything.
    EXPECT_STREQ(map("HEAD", "/").asset, "index.html");
    EXPECT_STREQ(map("HEAD", "/favicon.ico").asset, "favicon.svg");
    EXPECT_EQ(map("HEAD", "/api/board").route, WebRoute::kGetBoard);
    const WebAction head_stream = map("HEAD", "/api/events");
    EXPECT_EQ(head_stream.status, 405);
    EXPECT_STREQ(head_stream.allow, "GET");
    EXPECT_STREQ(map("HEAD", "/api/numbers").allow, "POST, DELETE");
    EXPECT_EQ(map("HEAD", "/api/numbers/57").status, 405);
    EXPECT_EQ(map("HEAD", "/setup.dat").status, 404);
    EXPECT_EQ(map("head", "/").status, 405);
}

WebAction map_voice(const char* method, const char* target, bool voice) {
    WebRequest request{};
    request.method = method;
    request.target = target;
    request.voice = voice;
    return map_web_request(request, 0);
}

// A clip's path is there only with the voice on and only for a word the voice says; otherwise it
// is any unknown path, whatever the method.
TEST(WebApi, VoiceClipsAreThereOnlyWhileTheVoiceIsOn) {
    const char* const* names = nullptr;
    const int count = voice_clip_names(&names);
    ASSERT_GT(count, 0);
    for (int k = 0; k < count; ++k) {
        const std::string target = std::string("/voice/") + names[k] + ".wav";
        const WebAction clip = map_voice("GET", target.c_str(), true);
        EXPECT_EQ(clip.route, WebRoute::kVoiceClip) << target;
        EXPECT_STREQ(clip.asset, names[k]);
        EXPECT_FALSE(clip.changes);
        EXPECT_EQ(map_voice("GET", target.c_str(), false).status, 404) << target;
    }
    EXPECT_STREQ(map_voice("HEAD", "/voice/siedem.wav?v=2", true).asset, "siedem");
    const WebAction post = map_voice("POST", "/voice/siedem.wav", true);
    EXPECT_EQ(post.status, 405);
    EXPECT_STREQ(post.allow, "GET, HEAD");
    for (const char* method : {"POST", "DELETE", "HEAD"}) {
        EXPECT_EQ(map_voice(method, "/voice/siedem.wav", false).status, 404) << method;
    }
    for (const char* target :
         {"/voice/", "/voice/.wav", "/voice/siedem", "/voice/siedem.mp3", "/voice/Siedem.wav",
          "/voice/si%65dem.wav", "/voice/siedem.wav/", "/voice/../setup.dat", "/voice/x/siedem.wav",
          "/voice/osiem_.wav", "/voice/zamowienie.wav", "/voice//siedem.wav", "/voice"}) {
        const WebAction unknown = map_voice("GET", target, true);
        EXPECT_EQ(unknown.status, 404) << target;
        EXPECT_STREQ(unknown.reason, "not found") << target;
    }
}

TEST(WebApi, OnlyAChunkedBodyOrNoneIsReadable) {
    EXPECT_TRUE(transfer_encoding_readable(0, ""));
    EXPECT_TRUE(transfer_encoding_readable(1, "chunked"));
    EXPECT_TRUE(transfer_encoding_readable(1, " Chunked "));
    for (const char* other : {"gzip, chunked", "identity", "foo", "chunked, chunked", "chunked;x",
                              "chunked, gzip", "", ","}) {
        EXPECT_FALSE(transfer_encoding_readable(1, other)) << other;
    }
    EXPECT_FALSE(transfer_encoding_readable(2, "chunked"));  // a second field names another coding
}

TEST(WebApi, ChangesNeedThePinAndTheCheckComesBeforeTheBody) {
    // No PIN: anyone may change the board; reading it never needs one.
    EXPECT_EQ(map("POST", "/api/numbers", 0, "57").status, 200);
    EXPECT_EQ(map("GET", "/api/board", 1234).status, 200);
    EXPECT_EQ(map("GET", "/api/events", 1234).status, 200);
    EXPECT_EQ(map("GET", "/staff", 1234).status, 200);

    const WebAction missing = map("POST", "/api/numbers", 1234, "57");
    EXPECT_EQ(missing.status, 401);
    EXPECT_STREQ(missing.reason, "PIN needed");
    EXPECT_FALSE(missing.wrong_pin);  // asking first is not a wrong guess
    const WebAction wrong = map("DELETE", "/api/numbers", 1234, "", "Bearer 1235");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_STREQ(wrong.reason, "wrong PIN");
    EXPECT_TRUE(wrong.wrong_pin);
    EXPECT_EQ(map("DELETE", "/api/numbers/57", 1234, "", "Bearer 4321").status, 401);
    // A stranger learns nothing about the body's rules without the PIN.
    EXPECT_EQ(map("POST", "/api/numbers", 1234, "no number", "Bearer 1").status, 401);
    EXPECT_EQ(map("POST", "/api/numbers", 1234, "no number", "Bearer 1234").status, 400);

    const WebAction right = map("POST", "/api/numbers", 1234, "57", "bearer 1234");
    EXPECT_EQ(right.status, 200);
    EXPECT_STREQ(right.number, "57");
}

TEST(WebApi, BearerMatchesOnlyThePinItself) {
    EXPECT_TRUE(bearer_matches("Bearer 12345678", 12345678));
    EXPECT_TRUE(bearer_matches("Bearer  7 ", 7));
    // The dialog reads the PIN as a number, so leading zeros are the same PIN.
    EXPECT_TRUE(bearer_matches("Bearer 0007", 7));
    for (const char* wrong :
         {"Bearer 12345679", "Bearer 22345678", "Bearer 1234567", "Bearer 123456789",
          "Bearer 112345678", "Bearer ", "Bearer", "Basic 12345678", "12345678", "Bearer 1234567x",
          "Bearer 00000000000000000012345678"}) {
        EXPECT_FALSE(bearer_matches(wrong, 12345678)) << wrong;
    }
    EXPECT_FALSE(bearer_matches("Bearer 0", 0));  // no PIN is never a PIN that matches
    EXPECT_FALSE(bearer_matches("Bearer ", 0));
}

TEST(WebApi, BodyNumbersAreReadAsDatagramsAreOrRefusedWithAReason) {
    struct Case {
        std::string body;
        const char* type;
        const char* read;
    };
    const Case cases[] = {
        // A plain body is a datagram: the leading digits and '#', whatever follows.
        {"57", "", "57"},
        {"57\r\n", "text/plain", "57"},
        {"#57", "", "#57"},
        {"57 and more", "", "57"},
        {"5 7", "", "5"},
        {"123456789", "", "123456789"},
        {"1234567890", "", "<number longer than 9 characters>"},
        {std::string(1000, '7'), "", "<number longer than 9 characters>"},
        {"", "", "<empty body>"},
        {" \t\r\n", "", "<only blanks>"},
        {" 57", "", "<blank before the number>"},
        {"\r\n57", "", "<blank before the number>"},
        {"x57", "", "<not a number>"},
        {std::string("\0"
                     "57",
                     3),
         "", "<not a number>"},
        {"-57", "", "<not a number>"},  // a body is never a command
        {"#", "", "<no digit in the number>"},
        {"##\r\n", "", "<no digit in the number>"},
        // A JSON string, whatever the type says, its escapes decoded and then read the same way.
        {"\"57\"", "", "57"},
        {" \"#57\"\n", "application/json", "#57"},
        {"\"\\u0035\\u0037\"", "application/json; charset=utf-8", "57"},
        {"\"5\\u00e97\"", "", "5"},
        {"\"5\\u00007\"", "", "5"},
        {"\"5 7\"", "", "5"},
        {"\"57\\t\"", "", "57"},
        {"\" 57\"", "", "<blank before the number>"},
        {"\"\\t57\"", "", "<blank before the number>"},
        {"\"  \"", "", "<only blanks>"},
        {"\"\"", "", "<empty string>"},
        {"\"#\"", "", "<no digit in the number>"},
        {"\"\\/57\"", "", "<not a number>"},
        // Unlike a plain body's line end, a line break in a JSON string is put there on purpose.
        {"\"5\\n7\"", "", "<line break in the number>"},
        {"\"57\\r\"", "", "<line break in the number>"},
        {"\"57\\u000a\"", "", "<line break in the number>"},
        {"\"5\n7\"", "", "<line break in the number>"},
        {"\"57\r\"", "", "<line break in the number>"},
        {"\"57", "", "<malformed JSON string>"},
        {"\"57\"x", "", "<malformed JSON string>"},
        {"\"5\"7\"", "", "<malformed JSON string>"},
        {"\"\\x57\"", "", "<malformed JSON string>"},
        {"\"\\u12\"", "", "<malformed JSON string>"},
        {"\"\\u12g4\"", "", "<malformed JSON string>"},
        {"\"57\\\"", "", "<malformed JSON string>"},
        {"\"", "", "<malformed JSON string>"},
        {"\"5\t7\"", "", "<malformed JSON string>"},
        // A JSON body that is not a string must be a bare number.
        {"57", "Application/JSON", "57"},
        {" 57\n", "application/json", "57"},
        // An object names the number and, optionally, its state; nothing else.
        {"{\"number\":\"57\"}", "application/json", "57"},
        {" { \"state\" : \"ready\" , \"number\" : \"#57\" }\n", "", "#57"},
        {"{\"number\":\" 57\"}", "", "<blank before the number>"},
        {"{\"number\":\"5\\n7\"}", "", "<line break in the number>"},
        {"{\"number\":\"\"}", "", "<empty string>"},
        {"{\"number\":57}", "", "<malformed JSON object>"},
        {"{\"number\":\"57\",}", "", "<malformed JSON object>"},
        {"{\"number\":\"57\"", "", "<malformed JSON object>"},
        {"{\"number\":\"57\"}x", "", "<malformed JSON object>"},
        {"{}", "", "<JSON object without a number>"},
        {"{\"state\":\"preparing\"}", "", "<JSON object without a number>"},
        {"{\"number\":\"57\",\"number\":\"58\"}", "",
         "<JSON object with a member other than number and state>"},
        {"{\"numbers\":\"57\"}", "", "<JSON object with a member other than number and state>"},
        {"{\"number\":\"57\",\"state\":\"done\"}", "", "<state neither ready nor preparing>"},
        {"[57]", "application/json", "<JSON body neither a string nor digits>"},
        {"57.0", "application/json", "<JSON body neither a string nor digits>"},
        {"5 7", "application/json", "<JSON body neither a string nor digits>"},
        {"", "application/json", "<empty body>"},
        {"  ", "application/json", "<only blanks>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(body_number(c.body, c.type), c.read) << c.body << " as " << c.type;
    }
    // The state goes with the number, and only with one read.
    bool preparing = false;
    char out[kSlotSize + 1];
    EXPECT_TRUE(parse_number_body("", "{\"number\":\"57\",\"state\":\"preparing\"}", out, nullptr,
                                  &preparing));
    EXPECT_TRUE(preparing);
    EXPECT_TRUE(parse_number_body("", "{\"number\":\"57\"}", out, nullptr, &preparing));
    EXPECT_FALSE(preparing);
    EXPECT_FALSE(parse_number_body("", "{\"number\":\"#\",\"state\":\"preparing\"}", out, nullptr,
                                   &preparing));
    EXPECT_FALSE(preparing);
    EXPECT_TRUE(
        map("POST", "/api/numbers", 0, "{\"state\":\"preparing\",\"number\":\"5\"}").preparing);
    // The mapping refuses what does not parse, and says why.
    const WebAction refused = map("POST", "/api/numbers", 0, "\"57");
    EXPECT_EQ(refused.status, 400);
    EXPECT_STREQ(refused.reason, "malformed JSON string");
    EXPECT_STREQ(map("POST", "/api/numbers", 0, "").reason, "empty body");
    EXPECT_EQ(error_json(refused.reason), "{\"error\":\"malformed JSON string\"}");
}

TEST(WebApi, PathNumbersArePercentDecodedThenCleaned) {
    EXPECT_EQ(segment_number("57"), "57");
    EXPECT_EQ(segment_number("%2357"), "#57");
    EXPECT_EQ(segment_number("%2357?x"), "#57");
    EXPECT_EQ(segment_number("57abc"), "57");
    EXPECT_EQ(segment_number("%35%37"), "57");
    EXPECT_EQ(segment_number("%0057"), "<not a number>");
    EXPECT_EQ(segment_number("abc"), "<not a number>");
    EXPECT_EQ(segment_number("%2057"), "<blank before the number>");
    EXPECT_EQ(segment_number("%2"), "<malformed percent escape>");
    EXPECT_EQ(segment_number("%zz57"), "<malformed percent escape>");
    EXPECT_EQ(segment_number("1234567890"), "<number longer than 9 characters>");
    EXPECT_STREQ(map("DELETE", "/api/numbers/%2357").number, "#57");
    const WebAction refused = map("DELETE", "/api/numbers/x");
    EXPECT_EQ(refused.status, 400);
    EXPECT_STREQ(refused.reason, "not a number");
}

BoardCopy copy_with(int32_t rows, int32_t columns, std::initializer_list<const char*> texts) {
    BoardCopy copy{};
    copy.settings = BoardSettings{rows, columns, 0x112, 0x34, 0x5678, 240, 241, 255, 0};
    int k = 0;
    for (const char* text : texts) {
        strncpy(copy.table.slots[k++], text, kSlotSize - 1);
    }
    copy.highlighted = -1;
    return copy;
}

TEST(WebApi, BoardJsonCarriesGridColoursNumbersAndHighlight) {
    BoardCopy copy = copy_with(4, 2, {"12", "#13", "7"});
    EXPECT_EQ(board_json(copy),
              "{\"rows\":4,\"columns\":2,\"background\":\"#123478\",\"text\":\"#f0f1ff\","
              "\"fit\":false,\"numbers\":[\"12\",\"#13\",\"7\"],\"shown\":[\"12\",\"13\",\"7\"],"
              "\"highlighted\":null}");
    // The highlight shows only while its extension is on, and only on a number on show.
    copy.highlighted = 2;
    EXPECT_NE(board_json(copy).find("\"highlighted\":null"), std::string::npos);
    copy.extensions.highlight_ms = 5000;
    copy.extensions.fit_text = true;
    EXPECT_NE(board_json(copy).find("\"fit\":true"), std::string::npos);
    EXPECT_NE(board_json(copy).find("\"highlighted\":2}"), std::string::npos);
    copy.highlighted = 3;
    EXPECT_NE(board_json(copy).find("\"highlighted\":null"), std::string::npos);

    // Only active slots count; a grid the board cannot draw shows nothing.
    EXPECT_NE(board_json(copy_with(1, 2, {"1", "2", "3"})).find("\"numbers\":[\"1\",\"2\"]"),
              std::string::npos);
    const std::string empty = board_json(copy_with(0, 5, {"1"}));
    EXPECT_NE(empty.find("\"rows\":0,\"columns\":0"), std::string::npos);
    EXPECT_NE(empty.find("\"numbers\":[]"), std::string::npos);
    // Two zones: the preparing numbers, each ready one's wait, and the overdue ones; nothing of
    // it with the zones off, so a client of the board before them reads the same.
    copy = copy_with(2, 2, {"12", "#13", "7"});
    std::strcpy(copy.preparing.slots[0], "#40");
    copy.arrivals.ms[0] = 1000;
    copy.arrivals.ms[1] = 50000;
    copy.arrivals.ms[2] = 61500;
    copy.now_ms = 62000;
    copy.extensions.overdue_ms = 60000;
    const std::string off = board_json(copy);
    EXPECT_EQ(off.find("preparing"), std::string::npos);
    copy.extensions.zones = true;
    const std::string on = board_json(copy);
    EXPECT_EQ(on.substr(0, off.size() - 1), off.substr(0, off.size() - 1));
    EXPECT_NE(on.find(",\"zones\":true,\"preparing\":[\"#40\"],\"preparing_shown\":[\"40\"],"
                      "\"ages\":[61,12,0],\"overdue\":[0],\"layout\":{\"split\":3,"),
              std::string::npos)
        << on;
    // The voice: its calls come last, oldest first, each with the clips the page plays; with it
    // off the calls the copy may hold are not told.
    VoiceCalls calls{};
    for (const char* text : {"5", "57", "#7"}) {
        log_call(calls, text, false);
    }
    log_call(calls, "#7", true);
    copy.calls = calls;
    copy.extensions.zones = false;
    EXPECT_EQ(board_json(copy), off);
    copy.extensions.voice = true;
    const std::string voiced = board_json(copy);
    EXPECT_EQ(voiced.substr(0, off.size() - 1), off.substr(0, off.size() - 1));
    EXPECT_EQ(voiced.substr(off.size() - 1),
              ",\"voice\":true,\"calls\":["
              "{\"seq\":2,\"number\":\"57\",\"reminder\":false,"
              "\"clips\":[\"zamowienie_numer\",\"piecdziesiat\",\"siedem\"]},"
              "{\"seq\":3,\"number\":\"#7\",\"reminder\":false,"
              "\"clips\":[\"zamowienie_numer\",\"siedem\"]},"
              "{\"seq\":4,\"number\":\"#7\",\"reminder\":true,"
              "\"clips\":[\"przypominamy\",\"zamowienie_numer\",\"siedem\"]}]}");
    copy.extensions.zones = true;
    const std::string both = board_json(copy);
    EXPECT_EQ(both.substr(0, on.size() - 1), on.substr(0, on.size() - 1));
    EXPECT_EQ(both.compare(on.size() - 1, 32, ",\"voice\":true,\"calls\":[{\"seq\":2,"), 0) << both;
    copy.calls = VoiceCalls{};
    EXPECT_NE(board_json(copy).find(",\"voice\":true,\"calls\":[]}"), std::string::npos);

    // Whatever a slot holds, only digits and '#' reach the JSON.
    EXPECT_NE(board_json(copy_with(1, 1, {"1\"<b>2"})).find("\"numbers\":[\"12\"]"),
              std::string::npos);
}

TEST(WebAdmission, AHostMustNameThisMachineWithItsPortOrNone) {
    const auto status = [](const char* host) {
        return host_status(1, host, false, 8080, "Kasa-1");
    };
    for (const char* ours : {"127.0.0.1:8080", "127.0.0.1", "192.168.1.20:8080", "0.0.0.0",
                             "[::1]:8080", "[fe80::1]", "[::ffff:10.0.0.2]", "localhost:8080",
                             "LocalHost", "kasa-1:8080", "KASA-1.local:8080", "kasa-1.LOCAL"}) {
        EXPECT_EQ(status(ours), 0) << ours;
    }
    // Names someone else's DNS answers for, and the board's own names on another port.
    for (const char* foreign :
         {"attacker.example:8080", "attacker.example", "127.0.0.1:8081", "localhost:80", "[::1]:80",
          "kasa-1:80", "kasa-1.example", "kasa-10", "localhost.attacker.example",
          "127.0.0.1.attacker.example", "kasa-1.local.attacker.example", "1.2.3", "256.1.1.1",
          "1.2.3.4.5", "0127.0.0.1", "localhost."}) {
        EXPECT_EQ(status(foreign), 421) << foreign;
    }
    for (const char* malformed :
         {"", "127.0.0.1:", "127.0.0.1:80x", "127.0.0.1:99999", "127.0.0.1:8080:1", "::1", "[::1",
          "[::1]x", "[zz::1]", "[]", "a b", "user@127.0.0.1", "kasa-1/x", ":8080"}) {
        EXPECT_EQ(status(malformed), 400) << malformed;
    }
    // HTTP/1.1 requires the Host, once; HTTP/1.0 had none.
    EXPECT_EQ(host_status(0, "", false, 8080, "kasa-1"), 400);
    EXPECT_EQ(host_status(0, "", true, 8080, "kasa-1"), 0);
    EXPECT_EQ(host_status(2, "127.0.0.1", false, 8080, "kasa-1"), 400);
    // A machine name found with its suffix matches without it; no name found matches nothing.
    EXPECT_EQ(host_status(1, "kasa-1", false, 8080, "Kasa-1.local"), 0);
    EXPECT_EQ(host_status(1, "kasa-1", false, 8080, ""), 421);
}

TEST(WebAdmission, AnOriginIsOursOnlyAsTheBoardsOwnPageAsTheRequestReachedIt) {
    EXPECT_TRUE(origin_is_ours("http://127.0.0.1:8080", "127.0.0.1:8080", 8080));
    EXPECT_TRUE(origin_is_ours("HTTP://Kasa-1:8080", "kasa-1", 8080));
    EXPECT_TRUE(origin_is_ours("http://[::1]:8080", "[::1]:8080", 8080));
    EXPECT_TRUE(origin_is_ours("http://127.0.0.1", "127.0.0.1:80", 80));
    for (const char* other :
         {"null", "", "http://", "http://attacker.example:8080", "https://127.0.0.1:8080",
          "http://127.0.0.1:8081", "http://127.0.0.1", "http://localhost:8080",
          "http://127.0.0.1:8080/", "http://127.0.0.1:8080.attacker.example",
          "http://127.0.0.1:8080 http://127.0.0.1:8080", "file://127.0.0.1:8080"}) {
        EXPECT_FALSE(origin_is_ours(other, "127.0.0.1:8080", 8080)) << other;
    }
    EXPECT_TRUE(method_changes("POST"));
    EXPECT_TRUE(method_changes("DELETE"));
    EXPECT_FALSE(method_changes("GET"));
}

TEST(WebAdmission, WrongPinsLockAnAddressForAMinuteOfMilliseconds) {
    WrongPins pins;
    pins.per_address = 3;
    for (int64_t t = 1000; t < 1002; ++t) {
        wrong_pin_record(pins, 7, t);
    }
    EXPECT_FALSE(wrong_pins_block(pins, 7, 1002));
    wrong_pin_record(pins, 7, 1002);
    EXPECT_TRUE(wrong_pins_block(pins, 7, 1002));
    EXPECT_FALSE(wrong_pins_block(pins, 8, 1002));  // another address guesses on its own count
    EXPECT_TRUE(wrong_pins_block(pins, 7, 2002));
    EXPECT_TRUE(wrong_pins_block(pins, 7, 60999));
    EXPECT_FALSE(wrong_pins_block(pins, 7, 61000));
}

TEST(WebAdmission, AFullTableForgetsTheStalestAddressNeverTheFreshWrongPin) {
    WrongPins pins;
    pins.per_address = 2;
    pins.addresses = 3;
    for (uint32_t address = 1; address <= 3; ++address) {
        wrong_pin_record(pins, address, address);
    }
    wrong_pin_record(pins, 9, 10);
    wrong_pin_record(pins, 9, 11);
    EXPECT_TRUE(wrong_pins_block(pins, 9, 12));
    // Address 1 was the stalest and went: its next wrong PIN is its first again.
    wrong_pin_record(pins, 1, 20);
    EXPECT_FALSE(wrong_pins_block(pins, 1, 21));
    EXPECT_TRUE(wrong_pins_block(pins, 9, 21));
    for (uint32_t address = 100; address < 1100; ++address) {
        wrong_pin_record(pins, address, 30);
    }
    EXPECT_EQ(pins.by_address.size(), 3u);
}

TEST(WebAdmission, WrongPinsFromAllAddressesTogetherLockEveryChange) {
    WrongPins pins;
    pins.all = 4;
    for (uint32_t address = 1; address <= 3; ++address) {
        wrong_pin_record(pins, address, address);
    }
    EXPECT_FALSE(wrong_pins_block(pins, 77, 3));
    wrong_pin_record(pins, 4, 4);
    EXPECT_TRUE(wrong_pins_block(pins, 77, 4));
    EXPECT_TRUE(wrong_pins_block(pins, 77, 60000));
    EXPECT_FALSE(wrong_pins_block(pins, 77, 60001));
}

TEST(WebAdmission, NoAddressTakesEverySlotAndTheLastAreKeptForNewcomers) {
    const ConnectionCaps caps{10, 4, 3, 2};
    EXPECT_TRUE(connection_admitted(0, 0, caps));
    EXPECT_TRUE(connection_admitted(6, 3, caps));
    EXPECT_FALSE(connection_admitted(6, 4, caps));  // the address's own cap
    // Three slots left: an address with a page and its stream open gets no more of them, one
    // with fewer still does, until every slot is taken.
    EXPECT_FALSE(connection_admitted(7, 2, caps));
    EXPECT_TRUE(connection_admitted(7, 1, caps));
    EXPECT_TRUE(connection_admitted(9, 0, caps));
    EXPECT_FALSE(connection_admitted(10, 0, caps));
}

}  // namespace
