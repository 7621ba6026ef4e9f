#!/usr/bin/env python3
"""Writes the hand-made seed inputs of fuzz/corpus/<harness>/ (seed-* files).

Run again after changing a harness's input layout; inputs the fuzzer found
live beside them under their hash names and are not touched.
"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
SJIS_PM = b"\x8c\xdf\x8c\xe3"  # 午後
SJIS_HANDLE = "ぽれすく".encode("cp932")


def write(harness, name, data):
    folder = os.path.join(ROOT, harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


# ---- log_reader: a control byte, then the log ------------------------------

def posting(key, user, handle, *lines):
    out = key + b" " + user + b"\r\n"
    for line in lines:
        out += handle.ljust(14)[:14] + b">" + line + b"\r\n"
    return out


TYPICAL = (posting(b"12/10 09:05", b"SYSOP", SJIS_HANDLE, "こんにちは".encode("cp932"))
           + posting(b"12/24", b"GUEST", b"guest", b"first line", b"second line")
           + posting(b"12/31 23:59", b"ME", b"me", b"late"))
write("log_reader", "typical", b"\x00" + TYPICAL)
write("log_reader", "last-login", b"\x01" + TYPICAL)
write("log_reader", "empty", b"\x00")
write("log_reader", "ctrl-z-end", b"\x02" + TYPICAL + b"\x1a")
write("log_reader", "ctrl-z-early", b"\x03" + TYPICAL + b"\x1a" + b"x" * 200 + b"\r\n")
write("log_reader", "unfinished", b"\x00" + TYPICAL + b"12/31 23:58 CUT\r\ncut           >no line end")
write("log_reader", "ends-in-cr", b"\x00" + TYPICAL[:-1])
write("log_reader", "odd-lines",
      b"\x00\r\n\r\n12/01 noid\r\n\nlf           >lone LF\n\r" + b"a" * 14 + b">" + b"long" * 40
      + b"\r\r\n\n12/02 10:00\r\nshort>\r\n" + b"01/01 00:00 X\r" + b"y" * 14 + b">cr only\r")
write("log_reader", "buffer-edge", bytes([0x80 | (9 << 2)]) + TYPICAL + b"\x1a")
write("log_reader", "buffer-edge-cr", bytes([0x80 | (31 << 2) | 1]) + TYPICAL)


# ---- date_reply: the current year (int32, little-endian), then the reply ---

def reply(text, year=2025):
    return struct.pack("<i", year) + (text if isinstance(text, bytes) else text.encode("ascii"))


for i, text in enumerate([
        "12/25", "2026/12/25", "26/12/25", "2026/12/25/", "12/25 9:30", "12/25 PM 1",
        b"12/25 " + SJIS_PM + b"1:00", "9", "21:30", "9 PM", "12 am", " 23:59:59 ",
        "0026/1/1", "2/29", "12345", "12/25/", "1/1 13 pm", "12/25 9:30 and more"]):
    write("date_reply", "%02d" % i, reply(text))
write("date_reply", "year-9999", reply("99/12/31", 9999))
write("date_reply", "year-max", reply("1/2/3", 2**31 - 1))
write("date_reply", "year-min", reply("1/2/3", -2**31))
write("date_reply", "raw-double", struct.pack("<d", 45999.25))
write("date_reply", "raw-negative", struct.pack("<d", -0.75))


# ---- goodbye_menu: FuzzedDataProvider input --------------------------------
# Integers are taken from the input's end, last byte first; texts from its
# front, each ended by "\" and another byte. Once the input is used up every
# integer is its least value and every Boolean false.

class Script:
    def __init__(self):
        self.front = b""
        self.back = []  # in the order taken

    def int_range(self, low, high, value):
        span = high - low
        size = 0
        while size < 4 and (span >> (8 * size)) > 0:
            size += 1
        self.back += list((value - low).to_bytes(size, "big"))

    def boolean(self, value):
        self.back.append(1 if value else 0)

    def int32(self, value):
        self.int_range(-2**31, 2**31 - 1, value)

    def uint32(self, value):
        self.int_range(0, 2**32 - 1, value)

    def text(self, data):
        self.front += data.replace(b"\\", b"\\\\") + b"\\\n"

    def data(self):
        return self.front + bytes(reversed(self.back))


class Session:
    """The harness's order of taking input, for scripts without nested steps."""

    def __init__(self, levels=(3, 3), clock=(2025, 12, 10, 9, 5, 0), seed_log=False):
        self.s = Script()
        for value, low, high in zip(clock, (1990, 1, 1, 0, 0, 0), (2099, 12, 28, 23, 59, 59)):
            self.s.int_range(low, high, value)
        self.s.boolean(seed_log)
        self.levels = levels
        for level in levels:
            self.s.int32(level)
            self.s.int_range(1, 12, 12)

    nested = False  # within a step run inside another: no further nesting is asked

    def service(self, nest=None):
        # nest: None, or (menu,) to run a step of the other channel here
        if self.nested:
            return
        self.s.int_range(0, 7, 7 if nest is not None else 0)
        if nest is not None:
            self.s.boolean(nest[0])

    def stop(self, answer=0):
        self.service()
        self.s.boolean(answer != 0)
        if answer != 0:
            self.s.uint32(answer)

    def ask(self, typed):
        self.service()
        self.s.text(typed)

    def sends(self, count):
        for _ in range(count):
            self.service()

    def step(self, channel, menu):
        self.s.boolean(channel == 1)
        self.s.boolean(menu)

    def goodbye(self, channel, lines=(), recent=0, stop=0):
        self.step(channel, False)
        self.stop(stop)
        if stop & 0xFF == 0:
            self.sends(5 + recent)
        if self.levels[channel] > 2:
            if len(lines) == 1 and lines[0] not in (b"", b"@@", b"//"):
                lines = [lines[0], b""]  # the second prompt comes all the same
            self.sends(3)
            for i, line in enumerate(lines):
                if i == 1:
                    self.sends(1)
                self.ask(line)

    def menu(self, channel, typed, shown=None, stops=(0,)):
        self.step(channel, True)
        self.ask(typed)
        for answer in stops:
            self.stop(answer)

    def data(self):
        return self.s.data()


g = Session()
g.goodbye(0, [b"hello", b"world"])
g.menu(0, b"12/1")
write("goodbye_menu", "post-and-list", g.data())

g = Session(levels=(3, 5))
g.goodbye(0, [b"x" * 70, b"y" * 300])
g.goodbye(1, [b"@@"], recent=2)
g.menu(1, b"")
write("goodbye_menu", "long-lines-abort", g.data())

g = Session(levels=(2, 3), seed_log=True)
g.goodbye(0, [], recent=1)
g.goodbye(1, [b"a\rb\nc\x1ad", b"//"], recent=1)
g.goodbye(1, [b"tab\there", b""], recent=1)
write("goodbye_menu", "breaks-in-lines", g.data())

# A listing on channel 0 that is told to stop while channel 1 posts.
g = Session()
g.goodbye(0, [b"first"])
g.step(0, True)
g.ask(b"1/1")
g.service(nest=(False,))  # the IsStopping call after the busy flag is taken runs channel 1's logoff
g.nested = True
g.stop()                  # channel 1: the display is not stopped
g.ask(b"while listing")
g.ask(b"")
g.nested = False
g.s.boolean(True)         # channel 0's answer: stop
g.s.uint32(0x02)
write("goodbye_menu", "post-during-listing", g.data())

g = Session()
g.goodbye(0, [b"high bits"], stop=0x100)
g.goodbye(0, [b"still asked"], stop=0x01)
g.menu(0, b"not a date")
write("goodbye_menu", "stop-answers", g.data())


# ---- channel_user: 63 record bytes, 8 bytes of last login, the typed line ---

def user(uid, handle, level, last_login, typed=None, uid_length=None, handle_length=None):
    record = bytes([len(uid) if uid_length is None else uid_length]) + uid.ljust(8, b"\0")[:8]
    record += bytes([len(handle) if handle_length is None else handle_length]) + handle.ljust(40, b"\0")[:40]
    record += struct.pack("<i", level) + b"\0" * 9
    assert len(record) == 63
    return record + struct.pack("<d", last_login) + (typed if typed is not None else b"")


write("channel_user", "typical", user(b"SYSOP", SJIS_HANDLE, 3, 46000.5))
write("channel_user", "guest", user(b"GUEST", b"guest", 1, 46000.5))
write("channel_user", "long-lengths", user(b"ABCDEFGH", b"h" * 40, 99, 46000.0, b"long" * 30, 255, 255))
write("channel_user", "breaks", user(b"I\rD\n\x1a", b"ha\r\nndle\x1a", 3, 46001.375, b"typed\r\nline\x1a"))
write("channel_user", "bad-login", user(b"X", b"x", 3, float("nan")))
write("channel_user", "negative-login", user(b"X", b"x", 3, -657434.0))
write("channel_user", "later-login", user(b"ME", b"me", 3, 46365.99999999))
write("channel_user", "abort", user(b"ME", b"me", 3, 1.0, b"@@"))

# ---- log_tool: a control byte (the line remove takes; bit 7 a filler), then the log

CLEAN = (posting(b"01/01 09:00", b"SYSOP", SJIS_HANDLE, "あけましておめでとう".encode("cp932"))
         + posting(b"01/02 10:30", b"GUEST1", b"guest", b"hello", b"second line")
         + posting(b"12/31", b"SYSOP", SJIS_HANDLE, b"x" * 64 + b"\x82"))
DAMAGED = (posting(b"01/01 09:00", b"A", b"a", b"one") + b"garbage\r\n01/02 10:00 LONE\r\n"
           + b"01/03 11:00 B\r\nb             >two\n01/04 12:00 AB>\r\n12/45678:0abcd>y\r"
           + b"c             >\x80three\r\n\x1a" + posting(b"01/05 13:00", b"D", b"d", b"hidden") + b"tail")
write("log_tool", "clean", bytes([2]) + CLEAN)
write("log_tool", "damaged", bytes([5]) + DAMAGED)
write("log_tool", "across-the-buffer", bytes([0x80 | 3]) + DAMAGED)
# A posting whose second message line the board cut at 80 bytes inside a character; remove takes line 2.
write("log_tool", "cut-second-line", bytes([2]) + posting(b"01/02 10:30", b"GUEST1", b"guest", b"hello", b"x" * 64 + b"\x82"))
