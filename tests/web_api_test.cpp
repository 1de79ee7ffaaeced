// The web side's decisions without a socket: which request does what, the refusals and their order,
// the numbers read from bodies and paths, the PIN, and the board as JSON.
#include "core/web_api.h"

#include <gtest/gtest.h>

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

std::string body_number(const std::string& body, const char* type = "") {
    char out[kSlotSize + 1];
    return parse_number_body(type, body, out) ? std::string(out) : std::string("<none>");
}

std::string segment_number(const char* segment) {
    char out[kSlotSize + 1];
    return parse_number_segment(segment, out) ? std::string(out) : std::string("<none>");
}

TEST(WebApi, RoutesPagesAndRefusesUnknownPathsAndMethods) {
    EXPECT_STREQ(map("GET", "/").asset, "index.html");
    EXPECT_STREQ(map("GET", "/?tv=1").asset, "index.html");
    EXPECT_STREQ(map("GET", "/staff").asset, "staff.html");
    EXPECT_STREQ(map("GET", "/style.css").asset, "style.css");
    EXPECT_STREQ(map("GET", "/favicon.svg").asset, "favicon.svg");
    EXPECT_STREQ(map("GET", "/favicon.ico").asset, "favicon.svg");
    EXPECT_EQ(map("GET", "/api/board").route, WebRoute::kGetBoard);
    EXPECT_EQ(map("GET", "/api/events").route, WebRoute::kEvents);
    EXPECT_EQ(map("POST", "/api/numbers", 0, "57").route, WebRoute::kPutNumber);
    EXPECT_EQ(map("DELETE", "/api/numbers").route, WebRoute::kClearBoard);
    EXPECT_EQ(map("DELETE", "/api/numbers/57").route, WebRoute::kRemoveNumber);

    for (const char* target : {"/setup.dat", "/api", "/api/numbers/", "/api/numbers/5/7", "/staff/",
                               "//", "/api/board/x", "*", ""}) {
        EXPECT_EQ(map("GET", target).status, 404) << target;
        EXPECT_EQ(map("DELETE", target).status, 404) << target;
    }
    const WebAction post_page = map("POST", "/");
    EXPECT_EQ(post_page.status, 405);
    EXPECT_STREQ(post_page.allow, "GET");
    EXPECT_STREQ(map("PUT", "/api/numbers").allow, "POST, DELETE");
    EXPECT_STREQ(map("GET", "/api/numbers").allow, "POST, DELETE");
    EXPECT_STREQ(map("POST", "/api/numbers/57").allow, "DELETE");
    EXPECT_STREQ(map("DELETE", "/api/board").allow, "GET");
    EXPECT_EQ(map("get", "/api/board").status, 405);  // methods are case-sensitive
}

TEST(WebApi, ChangesNeedThePinAndTheCheckComesBeforeTheBody) {
    // No PIN: anyone may change the board; reading it never needs one.
    EXPECT_EQ(map("POST", "/api/numbers", 0, "57").status, 200);
    EXPECT_EQ(map("GET", "/api/board", 1234).status, 200);
    EXPECT_EQ(map("GET", "/api/events", 1234).status, 200);
    EXPECT_EQ(map("GET", "/staff", 1234).status, 200);

    const WebAction missing = map("POST", "/api/numbers", 1234, "57");
    EXPECT_EQ(missing.status, 401);
    EXPECT_FALSE(missing.wrong_pin);  // asking first is not a wrong guess
    const WebAction wrong = map("DELETE", "/api/numbers", 1234, "", "Bearer 1235");
    EXPECT_EQ(wrong.status, 401);
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

TEST(WebApi, BodyNumbersAreCleanedAsDatagramsAre) {
    EXPECT_EQ(body_number("57"), "57");
    EXPECT_EQ(body_number("57\r\n"), "57");
    EXPECT_EQ(body_number("#57"), "#57");
    EXPECT_EQ(body_number("57 and more"), "57");
    EXPECT_EQ(body_number("123456789"), "123456789");
    EXPECT_EQ(body_number("1234567890"), "<none>");  // more than a slot holds
    EXPECT_EQ(body_number(std::string(1000, '7')), "<none>");
    EXPECT_EQ(body_number(""), "<none>");
    EXPECT_EQ(body_number("x57"), "<none>");
    EXPECT_EQ(body_number(std::string("\0"
                                      "57",
                                      3)),
              "<none>");
    EXPECT_EQ(body_number("-57"), "<none>");  // a body is never a command
    // JSON strings, whatever the type says, their escapes decoded before the cleaning.
    EXPECT_EQ(body_number("\"57\""), "57");
    EXPECT_EQ(body_number(" \"#57\"\n", "application/json"), "#57");
    EXPECT_EQ(body_number("\"\\u0035\\u0037\"", "application/json; charset=utf-8"), "57");
    EXPECT_EQ(body_number("\"5\\u00e97\""), "5");
    EXPECT_EQ(body_number("\"5\\u00007\""), "5");
    EXPECT_EQ(body_number("\"5\\n7\""), "5");
    EXPECT_EQ(body_number("\"\\/57\""), "<none>");
    for (const char* malformed : {"\"57", "\"57\"x", "\"5\"7\"", "\"\\x57\"", "\"\\u12\"",
                                  "\"\\u12g4\"", "\"5\n7\"", "\"57\\\"", "\""}) {
        EXPECT_EQ(body_number(malformed), "<none>") << malformed;
    }
    // A JSON body that is not a string must be a bare number.
    EXPECT_EQ(body_number("57", "Application/JSON"), "57");
    for (const char* other : {"{\"number\":\"57\"}", "[57]", "57.0", "-57", "x"}) {
        EXPECT_EQ(body_number(other, "application/json"), "<none>") << other;
    }
    // The mapping refuses what does not parse.
    EXPECT_EQ(map("POST", "/api/numbers", 0, "\"57").status, 400);
    EXPECT_EQ(map("POST", "/api/numbers", 0, "1234567890").status, 400);
}

TEST(WebApi, PathNumbersArePercentDecodedThenCleaned) {
    EXPECT_EQ(segment_number("57"), "57");
    EXPECT_EQ(segment_number("%2357"), "#57");
    EXPECT_EQ(segment_number("%2357?x"), "#57");
    EXPECT_EQ(segment_number("57abc"), "57");
    EXPECT_EQ(segment_number("%35%37"), "57");
    EXPECT_EQ(segment_number("%0057"), "<none>");
    EXPECT_EQ(segment_number("abc"), "<none>");
    EXPECT_EQ(segment_number("%2"), "<none>");
    EXPECT_EQ(segment_number("%zz57"), "<none>");
    EXPECT_EQ(segment_number("1234567890"), "<none>");
    EXPECT_STREQ(map("DELETE", "/api/numbers/%2357").number, "#57");
    EXPECT_EQ(map("DELETE", "/api/numbers/x").status, 400);
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
    // Whatever a slot holds, only digits and '#' reach the JSON.
    EXPECT_NE(board_json(copy_with(1, 1, {"1\"<b>2"})).find("\"numbers\":[\"12\"]"),
              std::string::npos);
}

}  // namespace
