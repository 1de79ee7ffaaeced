"""The board's pages in a real browser (headless Chromium driven by Selenium), against the real
board: the page for another screen read back beside the window and the API, following datagrams
through the event stream, and the staff keypad putting numbers up, taking them down and clearing
the board, with and without a PIN."""
import http.server
import os
import signal
import threading
import time
import unittest

from harness import (DEFAULT_BACK, DEFAULT_TEXT, WEB_PORT, BoardTest, api, browser, close_browser,
                     send, settings_bytes, wait_until, web_port_open, web_tail_bytes)
from test_board import HEIGHT, WIDTH, cells, holds_text, wait_screen

URL = "http://127.0.0.1:%d" % WEB_PORT

# What the page draws, as the browser computed it.
PAGE_STATE = """
const rgb = (c) => c.match(/\\d+/g).slice(0, 3).map(Number);
const items = Array.from(document.querySelectorAll('#board li')).map((li) => {
  const style = getComputedStyle(li);
  const box = li.getBoundingClientRect();
  const range = document.createRange();
  range.selectNodeContents(li);
  const ink = range.getBoundingClientRect();
  return {text: li.textContent, left: box.left, top: box.top, colour: rgb(style.color),
          background: rgb(style.backgroundColor), marked: li.className === 'highlighted',
          overdue: li.className === 'overdue',
          font: parseFloat(style.fontSize), inkLeft: ink.left, inkRight: ink.right};
});
const back = getComputedStyle(document.body).backgroundColor;
return {back: back === 'rgba(0, 0, 0, 0)' ? null : rgb(back), items: items,
        width: window.innerWidth, height: window.innerHeight};
"""


# The sign for the board's link, wherever the page has it, and whether the page is dimmed.
LINK_STATE = """
const band = document.getElementById('link');
const dimmed = document.querySelector(document.body.classList.contains('board') ? '#board' : 'main');
return {text: band === null || band.hidden ? '' : band.textContent,
        dimmed: parseFloat(getComputedStyle(dimmed).opacity) < 1};
"""
GONE = "Brak połączenia z tablicą"
# The sign for the board's voice ('' while hidden), and the clips the page has started, in order.
SOUND_SIGN = """
const sign = document.getElementById('sound');
return sign === null || sign.hidden ? '' : sign.textContent;
"""
SPOKEN = "return (document.documentElement.dataset.spoken || '').split(' ').filter(Boolean);"
PHONE, TABLET, TV = (390, 844), (768, 1024), (1920, 1080)


def tearDownModule():
    close_browser()


def web_settings(rows=4, columns=2, back=DEFAULT_BACK, text=DEFAULT_TEXT, **tail):
    return settings_bytes(rows, columns, *back, *text, 0) + web_tail_bytes(**tail)


class WebBoardTest(BoardTest):
    def web_board(self, **settings):
        board = self.board(web_settings(**settings))
        wait_until(web_port_open, what="the board's web port")
        return board

    def open(self, path, size=(960, 540)):
        driver = browser(*size)
        driver.get(URL + path)
        # Each test is a new visitor: nothing kept from the last board (a PIN, say).
        driver.execute_script("sessionStorage.clear(); localStorage.clear();")
        driver.get(URL + path)
        return driver

    def page(self, driver, predicate, what):
        return wait_until(lambda: (lambda s: s if predicate(s) else None)(
            driver.execute_script(PAGE_STATE)), what=what)

    def shown(self):
        status, board = api("GET", "/api/board")
        self.assertEqual(status, 200)
        return board["shown"]

    def link(self, driver, text, what):
        """Waits for the page's sign to read `text` ('' none), the page dimmed exactly with it."""
        wait_until(lambda: driver.execute_script(LINK_STATE) == {"text": text, "dimmed": text != ""},
                   timeout=15, what=what)

    def freeze(self, board):
        """Stops the board's process as a hung one would be, until the test ends or `thaw`."""
        os.kill(board.pid(), signal.SIGSTOP)
        self.addCleanup(self.thaw, board)

    def thaw(self, board):
        if board.alive():
            os.kill(board.pid(), signal.SIGCONT)


class BothPages(WebBoardTest):
    def test_each_page_says_connecting_then_gone_then_back(self):
        for path in ("/", "/staff"):
            with self.subTest(page=path):
                board = self.web_board()
                driver = self.open(path)
                self.link(driver, "", "the page live")
                # Before the stream's first word: the browser holds the stream's request back.
                driver.execute_cdp_cmd("Fetch.enable", {"patterns": [{"urlPattern": "*/api/events*"}]})
                try:
                    driver.refresh()
                    self.link(driver, "Łączenie…", "the page connecting")
                finally:
                    driver.execute_cdp_cmd("Fetch.disable", {})
                self.link(driver, "", "the page live once the stream is let through")
                send("1", "2", "3", "4")
                board.stop()
                self.link(driver, GONE, "the page saying the board is gone")
                if path == "/":
                    # Still a board: the numbers all there, the bottom row's cells above the band.
                    drawn = driver.execute_script(
                        "return [document.getElementById('link').getBoundingClientRect().top,"
                        " Array.from(document.querySelectorAll('#board li'),"
                        " li => [li.textContent, li.getBoundingClientRect().top])];")
                    band, items = drawn
                    self.assertEqual([text for text, _ in items], ["1", "2", "3", "4"])
                    row = items[1][1] - items[0][1]
                    self.assertLessEqual(items[3][1] + row, band)
                board = self.web_board()
                self.link(driver, "", "the sign gone with the board back")
                board.stop()

    def test_both_pages_have_an_icon_and_only_the_staff_page_links_to_the_other(self):
        self.web_board()
        for path, links in (("/", []), ("/staff", [URL + "/"])):
            with self.subTest(page=path):
                driver = self.open(path)
                self.assertEqual(driver.execute_script(
                    "return Array.from(document.links, a => a.href);"), links)
                # The linked icon, and the one browsers ask for by themselves.
                got = driver.execute_async_script("""
                    const done = arguments[arguments.length - 1];
                    const link = document.querySelector('link[rel=icon]');
                    Promise.all([link ? link.href : '/none', '/favicon.ico'].map((u) => fetch(u).then(
                        (r) => [r.status, r.headers.get('Content-Type')]))).then(done);""")
                self.assertEqual(got, [[200, "image/svg+xml"]] * 2)


class BoardPage(WebBoardTest):
    def test_the_page_shows_what_the_window_shows(self):
        back, text = (20, 90, 40), (250, 230, 60)
        self.web_board(rows=2, columns=3, back=back, text=text, highlight_seconds=120, fit_text=1)
        driver = self.open("/")
        numbers = ["101", "103", "1105", "102"]
        send(*numbers)
        state = self.page(driver, lambda s: len(s["items"]) == 4, "four numbers on the page")
        grid = cells(2, 3)
        screen = wait_screen(lambda s: holds_text(s, grid[3], back, text) and
                             highlighted_in(s, grid[3], text), "the fourth number, highlighted")
        status, board = api("GET", "/api/board")
        self.assertEqual(status, 200)
        mark = board["highlighted"]
        self.assertEqual(mark, 3)
        # The marked cell is filled with the text colour, its digits in the background's.
        window = [screen.read_digits(*grid[k], back=text if k == mark else back)
                  for k in range(len(numbers))]
        page = [item["text"] for item in state["items"]]
        self.assertEqual(window, numbers)
        self.assertEqual(page, window)
        self.assertEqual(board["shown"], window)

        self.assertEqual(state["back"], list(back))
        for k, item in enumerate(state["items"]):
            x0, y0, x1, y1 = grid[k]
            self.assertEqual((item["left"], item["top"]), (x0, y0), item)
            marked = k == mark
            self.assertEqual(item["marked"], marked, item)
            self.assertEqual(highlighted_in(screen, grid[k], text), marked, k)
            self.assertEqual(item["colour"], list(back if marked else text), item)
            self.assertEqual(item["background"], list(text if marked else back), item)
            # Fitted as the window fits: every number inside its cell, none at the cell
            # height's full font (1105 would not fit a third of 960 at it).
            self.assertLessEqual(item["inkRight"], x1, item)
            self.assertLess(item["font"], int(int((y1 - y0) * 0.9) * 0.8), item)
            self.assertEqual(screen.count(back if marked else text, x1 - 4, y0, x1, y1), 0, k)

    def test_with_two_zones_page_and_window_split_alike_and_mark_a_number_left_waiting(self):
        self.web_board(zones=1, overdue_seconds=1)
        driver = self.open("/")
        send("+57", "12", "34")
        dimmed = [(a + b) // 2 for a, b in zip(DEFAULT_TEXT, DEFAULT_BACK)]
        state = self.page(driver, lambda s: [i["text"] for i in s["items"]] ==
                          ["W przygotowaniu", "Gotowe do odbioru", "57", "12", "34"] and
                          sum(i["overdue"] for i in s["items"]) == 2, "both zones, 12 and 34 overdue")
        third = state["width"] // 3
        titles, preparing, ready = state["items"][:2], state["items"][2], state["items"][3:]
        self.assertLess(titles[0]["inkRight"], third)
        self.assertGreaterEqual(titles[1]["inkLeft"], third)
        self.assertLess(preparing["inkRight"], third)
        self.assertEqual(preparing["colour"], dimmed)
        self.assertLess(preparing["font"], ready[0]["font"])
        for item in ready:
            self.assertGreaterEqual(item["left"], third, item)
            self.assertEqual(item["colour"], list(DEFAULT_TEXT), item)
        # The window splits the same way: the dimmed number on the left third (beyond it only the
        # odd smoothed edge of a ready number's digits comes out in that colour).
        screen = wait_screen(lambda s: s.count(dimmed, 0, 0, WIDTH // 3, HEIGHT) > 100,
                             "the preparing number on the window")
        self.assertLess(10 * screen.count(dimmed, WIDTH // 3, 0, WIDTH, HEIGHT),
                        screen.count(dimmed, 0, 0, WIDTH // 3, HEIGHT))
        self.assertGreater(screen.count(DEFAULT_TEXT, WIDTH // 3, HEIGHT // 10, WIDTH, HEIGHT), 0)

    def test_with_the_voice_on_a_tap_lets_the_page_call_a_number_from_the_board_s_clips(self):
        self.web_board(voice=1)
        driver = self.open("/")
        sign = lambda: driver.execute_script(SOUND_SIGN)
        wait_until(lambda: sign() == "Dotknij, aby włączyć dźwięk", what="the sign asking for a tap")
        # Called before the tap: not said afterwards, so the first phrase heard is 57's.
        send("12")
        self.page(driver, lambda s: [i["text"] for i in s["items"]] == ["12"], "12 on the page")
        driver.find_element("id", "sound").click()
        wait_until(lambda: sign() == "Dźwięk włączony", what="the sign saying the sound is on")
        send("57", "58")
        spoken = wait_until(lambda: driver.execute_script(SPOKEN), what="the page saying 57")
        self.assertEqual(spoken, ["zamowienie_numer", "piecdziesiat", "siedem"])
        # The next call waits for the first to end, then has its turn.
        spoken = wait_until(lambda: (lambda c: c if len(c) > 3 else None)(
            driver.execute_script(SPOKEN)), what="the page saying 58 after 57")
        self.assertEqual(spoken, ["zamowienie_numer", "piecdziesiat", "siedem",
                                  "zamowienie_numer", "piecdziesiat", "osiem"])

    def test_on_a_phone_a_tablet_and_a_tv_every_number_stays_in_its_cell(self):
        # The default grid with fit off: the window's numbers fit it, but an upright screen's
        # cells are narrower than its rows are tall, and "123456" cut at the edge reads "1234".
        self.web_board()
        send("1234", "5678", "9012", "3456", "7890", "1357", "2468", "123456")
        shown = wait_until(lambda: (lambda s: s if len(s) == 8 else None)(self.shown()),
                           what="eight numbers on the board")
        for width, height in ((390, 844), (768, 1024), (1920, 1080)):
            with self.subTest(screen="%dx%d" % (width, height)):
                driver = browser(width, height)
                driver.get(URL + "/")
                state = self.page(driver, lambda s: len(s["items"]) == 8 and
                                  (s["width"], s["height"]) == (width, height),
                                  "eight numbers on a %d x %d page" % (width, height))
                self.assertEqual([item["text"] for item in state["items"]], shown)
                cell_width = width // 2
                for k, item in enumerate(state["items"]):
                    column = k // 4
                    self.assertGreaterEqual(item["inkLeft"], column * cell_width, item)
                    self.assertLessEqual(item["inkRight"], (column + 1) * cell_width, item)
        browser()  # the size the other cases expect

    def test_the_page_follows_datagrams_and_a_restarted_board_through_the_stream(self):
        board = self.web_board()
        driver = self.open("/")
        self.page(driver, lambda s: s["back"] == list(DEFAULT_BACK), "the board's state")
        send("7")
        self.page(driver, lambda s: [i["text"] for i in s["items"]] == ["7"], "7 on the page")
        send("8")
        self.page(driver, lambda s: [i["text"] for i in s["items"]] == ["7", "8"],
                  "8 after 7 on the page")
        # The stream breaks with the board; the page finds the next one by itself.
        board.stop()
        wait_until(lambda: not web_port_open(), what="the web port to close")
        self.web_board()
        send("9")
        self.page(driver, lambda s: [i["text"] for i in s["items"]] == ["9"],
                  "the new board's 9 on the page")


# A page of another site that a staff member's browser opens: each way a page can send a POST
# without asking the board first. Its title says when the request has gone.
ATTACK_PAGE = """<!doctype html><title>loading</title><script>
const target = 'http://127.0.0.1:%d/api/numbers';
const kind = location.search.slice(1);
if (kind === 'form') {
  const form = document.createElement('form');
  form.method = 'POST';
  form.action = target;
  form.enctype = 'text/plain';
  const field = document.createElement('input');
  field.name = '57';
  form.appendChild(field);
  document.documentElement.appendChild(form);
  form.submit();
} else if (kind === 'fetch') {
  fetch(target, {method: 'POST', mode: 'no-cors', body: '58'})
    .finally(() => { document.title = 'sent'; });
} else if (kind === 'beacon') {
  document.title = navigator.sendBeacon(target, '59') ? 'sent' : 'refused by the browser';
}
</script>""" % WEB_PORT


class AnotherSite(WebBoardTest):
    def test_a_page_of_another_site_puts_no_number_up(self):
        # No PIN: only the page's origin tells the board's own pages from another site's.
        self.web_board()
        page = ATTACK_PAGE.encode()

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(page)))
                self.end_headers()
                self.wfile.write(page)

            def log_message(self, *args):
                pass

        site = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=site.serve_forever, daemon=True).start()
        self.addCleanup(site.server_close)
        self.addCleanup(site.shutdown)
        driver = browser()
        for kind in ("form", "fetch", "beacon"):
            with self.subTest(kind):
                driver.get("http://127.0.0.1:%d/?%s" % (site.server_port, kind))
                if kind == "form":  # the browser goes to the board's answer
                    wait_until(lambda: driver.current_url.startswith(URL), what="the form sent")
                else:
                    wait_until(lambda: driver.title == "sent", what="the %s sent" % kind)
        # The beacon is not waited for by the page: a number it put up would show within this.
        time.sleep(2)
        self.assertEqual(self.shown(), [])


def highlighted_in(screen, cell, text):
    x0, y0, x1, y1 = cell
    return screen.count(text, *cell) > (x1 - x0) * (y1 - y0) // 2


class StaffPage(WebBoardTest):
    def press(self, driver, *keys):
        for key in keys:
            driver.find_element("css selector", '#keys button[data-key="%s"]' % key).click()

    def ready(self, driver, number):
        self.press(driver, *number)
        driver.find_element("id", "ready").click()

    # The list is built again on every event, so it is read in one step inside the page: elements
    # found by one call may be gone by the next.
    def listed(self, driver):
        return driver.execute_script(
            "return Array.from(document.querySelectorAll('#shown li'),"
            " li => li.querySelector('span').textContent.trim());")

    def remove(self, driver, number):
        from selenium.common.exceptions import StaleElementReferenceException

        def click():
            try:
                for li in driver.find_elements("css selector", "#shown li"):
                    if li.find_element("tag name", "span").text == number:
                        li.find_element("tag name", "button").click()
                        return True
            except StaleElementReferenceException:
                pass  # built again under us: look once more
            return False
        wait_until(click, what="%s listed to remove" % number)

    def clear(self, driver, accept):
        from selenium.webdriver.support import expected_conditions
        from selenium.webdriver.support.ui import WebDriverWait
        driver.find_element("id", "clear").click()
        alert = WebDriverWait(driver, 5).until(expected_conditions.alert_is_present())
        self.assertEqual(alert.text, "Wyczyścić tablicę?")
        alert.accept() if accept else alert.dismiss()

    def wait_shown(self, numbers, what):
        wait_until(lambda: self.shown() == numbers, what=what)

    def test_without_a_pin_the_keypad_puts_up_removes_and_clears(self):
        self.web_board()
        driver = self.open("/staff")
        self.assertEqual(driver.find_element("id", "ready").text, "Gotowe")
        self.ready(driver, "42")
        self.wait_shown(["42"], "42 put up")
        self.ready(driver, "7")
        self.wait_shown(["42", "7"], "7 after 42")
        # On the window as a datagram would have put them.
        grid = cells(4, 2)
        screen = wait_screen(lambda s: holds_text(s, grid[1]), "the second number")
        self.assertEqual([screen.read_digits(*c) for c in grid[:2]], ["42", "7"])
        send("9")
        wait_until(lambda: self.listed(driver) == ["9", "7", "42"], what="the datagram listed")
        self.assertFalse(driver.find_element("id", "pin-form").is_displayed())
        self.remove(driver, "42")
        self.wait_shown(["7", "9"], "42 removed")
        wait_until(lambda: self.listed(driver) == ["9", "7"], what="42 gone from the list")
        self.clear(driver, accept=False)
        wait_until(lambda: self.listed(driver) == ["9", "7"], what="the list kept")
        self.assertEqual(self.shown(), ["7", "9"])
        self.clear(driver, accept=True)
        self.wait_shown([], "the board cleared")
        wait_until(lambda: self.listed(driver) == [], what="the list emptied")

    def test_with_two_zones_the_kitchen_prepares_calls_and_undoes(self):
        self.web_board(zones=1)
        driver = self.open("/staff", PHONE)

        def preparing():
            return driver.execute_script(
                "return Array.from(document.querySelectorAll('#preparing li'),"
                " li => li.querySelector('span').textContent.trim());")
        wait_until(lambda: any(e.is_displayed() for e in driver.find_elements("id", "prepare")),
                   what="the flow shown")
        self.assertEqual(driver.find_element("id", "prepare").text, "Przyjęte")
        self.press(driver, "5", "7")
        driver.find_element("id", "prepare").click()
        wait_until(lambda: api("GET", "/api/board")[1]["preparing"] == ["57"], what="57 preparing")
        wait_until(lambda: preparing() == ["57"], what="57 listed as preparing")
        self.assertEqual(self.shown(), [])
        driver.execute_script("document.querySelector('#preparing li button').click();")
        self.wait_shown(["57"], "57 ready with one tap")
        wait_until(lambda: preparing() == [], what="57 no longer preparing")
        self.remove(driver, "57")
        self.wait_shown([], "57 taken off")
        driver.find_element("id", "undo").click()
        self.wait_shown(["57"], "57 put back")
        for name in ("prepare", "undo"):
            box = driver.find_element("id", name).rect
            self.assertGreaterEqual(min(box["width"], box["height"]), 44, name)

    def test_with_a_pin_it_is_asked_once_and_a_wrong_one_is_refused(self):
        self.web_board(staff_pin=2468)
        driver = self.open("/staff")
        self.ready(driver, "5")
        form = driver.find_element("id", "pin-form")
        wait_until(form.is_displayed, what="the PIN asked for")
        self.assertEqual(driver.find_element("id", "message").text, "Podaj PIN obsługi.")
        self.assertEqual(self.shown(), [])

        pin = driver.find_element("id", "pin")
        pin.send_keys("1357")
        pin.submit()
        wait_until(lambda: driver.find_element("id", "message").text == "Błędny PIN.",
                   what="the wrong PIN refused")
        wait_until(form.is_displayed, what="the PIN asked for again")
        self.assertEqual(self.shown(), [])

        pin.clear()
        pin.send_keys("2468")
        pin.submit()
        self.wait_shown(["5"], "5 put up with the PIN")
        self.assertEqual(driver.find_element("id", "entry").text, "")
        # Asked once: the next changes go through without the form.
        self.ready(driver, "6")
        self.wait_shown(["5", "6"], "6 put up")
        wait_until(lambda: self.listed(driver) == ["6", "5"], what="both listed")
        self.remove(driver, "5")
        self.wait_shown(["6"], "5 removed")
        self.clear(driver, accept=True)
        self.wait_shown([], "the board cleared")
        self.assertFalse(form.is_displayed())

    def test_while_the_pin_is_asked_keypad_and_keyboard_type_the_pin(self):
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.keys import Keys
        self.web_board(staff_pin=2468)
        driver = self.open("/staff")
        self.link(driver, "", "the page live")
        pin = driver.find_element("id", "pin")
        entry = driver.find_element("id", "entry")

        def keys(*typed):
            ActionChains(driver).send_keys(*typed).perform()
        keys("4", "2", Keys.BACKSPACE, "7")
        self.assertEqual(entry.text, "47")
        keys(Keys.ENTER)
        wait_until(driver.find_element("id", "pin-form").is_displayed, what="the PIN asked for")
        self.press(driver, "2", "4", "6", "9")
        driver.find_element("id", "erase").click()
        self.press(driver, "8", "1")
        keys(Keys.BACKSPACE)  # the focus on the keypad, not in the PIN's field
        self.assertEqual((pin.get_attribute("value"), entry.text), ("2468", "47"))
        driver.find_element("id", "ready").click()
        self.wait_shown(["47"], "47 put up with the PIN")
        self.assertEqual(entry.text, "")
        keys("5", Keys.ENTER)
        self.wait_shown(["47", "5"], "5 put up from the keyboard")
        # Enter on another control presses that one, not "Gotowe".
        wait_until(lambda: self.listed(driver) == ["5", "47"], what="both listed")
        keys("9")
        driver.execute_script("document.querySelectorAll('#shown li button')[1].focus();")
        keys(Keys.ENTER)
        self.wait_shown(["5"], "47 removed by Enter on its button")
        self.assertEqual(entry.text, "9")

    def test_every_target_is_a_finger_wide_and_the_page_no_wider_than_the_screen(self):
        self.web_board(staff_pin=2468)
        send("12", "345")
        for size in (PHONE, TABLET, TV):
            with self.subTest(screen="%dx%d" % size):
                driver = self.open("/staff", size)
                wait_until(lambda: len(self.listed(driver)) == 2, what="both numbers listed")
                self.ready(driver, "1")
                wait_until(driver.find_element("id", "pin-form").is_displayed,
                           what="the PIN asked for")
                targets = driver.execute_script("""
                    return Array.from(document.querySelectorAll('button, input, a'), (e) => {
                      const box = e.getBoundingClientRect();
                      return [e.id || e.textContent, box.width, box.height];
                    });""")
                self.assertEqual(len(targets), 12 + 1 + 1 + 2 + 1 + 1)  # keys, PIN, OK, Usuń, ...
                for name, width, height in targets:
                    self.assertGreaterEqual(min(width, height), 44, name)
                self.assertLessEqual(driver.execute_script(
                    "return document.documentElement.scrollWidth;"), size[0])

    def test_the_list_is_newest_first_with_the_board_s_highlight(self):
        self.web_board(highlight_seconds=120)
        driver = self.open("/staff", PHONE)
        send("11", "22", "33")
        wait_until(lambda: self.listed(driver) == ["33", "22", "11"], what="newest first")
        status, board = api("GET", "/api/board")
        self.assertEqual(board["highlighted"], 2)
        marked = driver.execute_script("""
            const rgb = (c) => c.match(/\\d+/g).slice(0, 3).map(Number);
            return Array.from(document.querySelectorAll('#shown li'), (li) => {
              const style = getComputedStyle(li.querySelector('span'));
              return li.className === 'highlighted' ? [rgb(style.color), rgb(style.backgroundColor)]
                                                    : null;
            });""")
        self.assertEqual(marked, [[list(DEFAULT_BACK), list(DEFAULT_TEXT)], None, None])

    def test_a_frozen_board_is_called_gone_and_a_press_gives_up(self):
        board = self.web_board()
        driver = self.open("/staff", PHONE)
        self.link(driver, "", "the page live")
        # Idle but there: its heartbeats keep the page live past twice their period, without the
        # sign even for a moment.
        driver.execute_script("""
            const band = document.getElementById('link');
            window.signs = [];
            new MutationObserver(() => window.signs.push(band.textContent)).observe(
                band, {childList: true, characterData: true, subtree: true, attributes: true});""")
        time.sleep(35)
        self.assertEqual(driver.execute_script("return window.signs;"), [])
        self.freeze(board)
        self.ready(driver, "5")
        wait_until(lambda: driver.find_element("id", "message").text == GONE, timeout=15,
                   what="the press given up")
        self.assertEqual(driver.find_element("id", "entry").text, "5")
        wait_until(lambda: driver.execute_script(LINK_STATE) == {"text": GONE, "dimmed": True},
                   timeout=45, what="the silent board called gone")
        self.thaw(board)
        self.link(driver, "", "the sign gone with the board answering")
        self.assertEqual(driver.find_element("id", "message").text, "")
        # The given-up request may have reached the board after all; pressed again, it stands.
        driver.find_element("id", "ready").click()
        self.wait_shown(["5"], "5 put up")


if __name__ == "__main__":
    unittest.main()
