#!/usr/bin/env python3
"""Writes the seed corpora of the two fuzz targets: fuzz/corpus/reader/ and fuzz/corpus/editor/.

reader: whole "ulo.txt" texts: the sample, the same bytes laid out other ways (one token per
line, one line, CRLF, all tokens glued into one long token), the odd tokens and the
refused files the reader's unit tests use.

editor: a 2048-byte image followed by keys. Every key is written in the target's raw form
(a byte from 224 up, then the code; an extended key as 0 and its second code), which does not
depend on the order of the target's table of known keys. The key sequences walk the screen
and edit each group of fields; the images are the sample and versions of it holding values
only a file can bring (configuration number above 25, more ramp points than the tables hold,
zero pulse counts, control characters in a name).

Run it again after changing it; it replaces both folders' contents.
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
HEADER = "ULO EEPROM Memory:"
SIZE = 2048


def read_sample():
    with open(os.path.join(TOP, "examples", "ulo.txt"), "rb") as f:
        text = f.read()
    words = text.split()[3:]  # after "ULO EEPROM Memory:"
    image = bytes(int(w[:2], 16) for w in words)
    assert len(image) == SIZE
    return text, image


def tokens(image, sep):
    return sep.join("%02Xh" % b for b in image)


def reader_seeds(sample_text, image):
    body = tokens([0] * SIZE, " ")
    odd = ["0Ah", "0AH", "12h34h", "00h1Fh", "h", "Fh", "0ah", "ffh", "ABCDEFh", "12hh", "hh",
           "G0h", "0Gh", "\xC4\xC4h", "12hXYZ", "1\0h", "\0\0h", "x" * 300 + "3Ch"]
    # Each odd token gives 0, 1 or 2 bytes; fill up to 2048 values.
    gives = {"0AH": 0, "12h34h": 2, "00h1Fh": 2, "12hh": 2, "hh": 2}
    used = sum(gives.get(t, 1) for t in odd)
    seeds = {
        "sample.txt": sample_text,
        "one_token_per_line.txt": (HEADER + "\n" + tokens(image, "\n") + "\n").encode(),
        "one_line.txt": (HEADER + " " + tokens(image, " ")).encode(),
        "crlf.txt": sample_text.replace(b"\n", b"\r\n"),
        "long_token.txt": (HEADER + " " + tokens(image, "")).encode(),
        "odd_tokens.txt": (HEADER + "\n" + " ".join(odd) + " " +
                           tokens([0xA5] * (SIZE - used), " ")).encode("latin-1"),
        "tokens_2047.txt": (HEADER + "\n" + tokens([0] * 2047, " ")).encode(),
        "tokens_2049.txt": (HEADER + "\n" + tokens([0] * 2049, " ")).encode(),
        "no_header.txt": body.encode(),
        "vt_ff_nul.txt": (HEADER + "\v" + tokens([0] * SIZE, "\f\0")).encode(),
        "empty.txt": b"",
        "white_space.txt": b" \t\n\r\v\f  \n",
        "header_only.txt": (HEADER + "\n").encode(),
    }
    return seeds


# Key codes, as the editor reads them.
ENTER, ESC, SPACE, MINUS, BACKSPACE = 13, 27, 32, 45, 8
ALT_X, HOME, UP, PGUP, LEFT, RIGHT, END, DOWN, PGDN, INSERT, DELETE = (
    301, 327, 328, 329, 331, 333, 335, 336, 337, 338, 339)
ALT_7, ALT_8, ALT_9, ALT_0, F1 = 382, 383, 384, 385, 315


def keys(*items):
    """Key codes from ints and strings (each character one key)."""
    out = []
    for item in items:
        if isinstance(item, str):
            out.extend(ord(c) for c in item)
        else:
            out.append(item)
    return out


def encode_keys(codes):
    out = bytearray()
    for code in codes:
        if code >= 256:
            out += bytes([224, 0, code - 256])
        else:
            assert 1 <= code <= 255
            out += bytes([224, code])
    return bytes(out)


def editor_seeds(image):
    def variant(**changes):
        v = bytearray(image)
        for address, value in changes.items():
            v[int(address[1:])] = value
        return bytes(v)

    # Down from field 0 passes the general, ramp and speed fields and wraps round through the
    # CAN identifier; each stop types, steps, toggles and deletes.
    down_walk = keys(*(["50000", DELETE, PGUP, SPACE, "-", DOWN] * 20), ESC, "y")
    # Enter from field 0 reaches the ramp, where Enter turns between the point and its time.
    enter_walk = keys(*(["129", PGDN, ENTER] * 14), ESC, "n")
    wheel = keys(DOWN, DOWN, "3", "0", DELETE, BACKSPACE, PGUP, PGDN, ENTER,        # 4 to 19
                 SPACE, RIGHT, "9", "4", ENTER,                                     # 19, 6
                 "0", ENTER, SPACE, DOWN,                                           # 21, 33
                 "0", ENTER, "99", DELETE, "5", ENTER,                              # 22, 23
                 "150", ENTER, "3600", ENTER,                                       # 24, 25
                 "-", PGDN, "2", "-", PGUP, "3", DOWN,                              # 27
                 "0", ENTER, "135", DELETE, "126", ENTER,                           # 28, 29
                 "99999", ENTER, "36000", ENTER,                                    # 30, 31
                 "-", PGDN, PGDN, PGDN, PGDN, "0", PGUP, PGUP, UP,                  # 32
                 UP, UP, UP, "2", PGUP, PGUP, PGUP, PGDN, "4",                      # 30, 29, 26
                 HOME, RIGHT, ENTER, DOWN, "9", "4", "1", "8", ESC, "y")            # 0, 2, 3, 20
    name = keys(DOWN, DOWN, RIGHT, "Hello&(*)+/<=>\\]^{ World!", ALT_7, ALT_8, ALT_9, ALT_0,
                "#'\":;?@[`|}~", 127, HOME, BACKSPACE, DELETE, END, BACKSPACE, DELETE,
                *([RIGHT] * 17), LEFT, LEFT, ALT_X, ESC, UP, UP, RIGHT, LEFT, LEFT, ESC, "Y")
    ramp = keys(DOWN, DOWN, DOWN, DOWN, DOWN, "123", DELETE, ENTER,                # to 8
                "9", "0", PGUP, PGUP, PGDN, PGDN, PGDN, "0", ENTER,                # 35
                "12345", DELETE, RIGHT, "12345", DELETE, LEFT, LEFT,               # 36, 37
                DELETE, DELETE, ENTER, UP, "0", ESC, ESC, ESC, "y")
    can = keys(UP, "FF1", RIGHT, "aB", DELETE, "C", ENTER, "057", DELETE, RIGHT,
               "gG", SPACE, "8", ENTER, LEFT, UP, DOWN, UP, DOWN, ALT_X, "n")
    general = keys("53", DELETE, ENTER, SPACE, ENTER, "1", PGUP, PGDN, "7", DELETE, ENTER,
                   SPACE, SPACE, HOME, DOWN, DOWN, DOWN, DOWN, "12345", DELETE, ENTER,
                   END, "25", UP, "31", LEFT, "5", RIGHT, LEFT, LEFT, "9", RIGHT, UP, UP,
                   "99999", UP, UP, LEFT, HOME, RIGHT, RIGHT, LEFT, DOWN, DOWN, RIGHT, RIGHT,
                   "8", LEFT, "6", UP, "0", ESC, "y")
    strange = keys(INSERT, F1, 257, 0x7F, 0xC4, 0xFF, 1, 9, 10, 31, ESC, ESC, ESC, 0xE0, ALT_X, "q")

    names = bytearray(image)
    names[1024:1040] = b"\n\r\b\a\x1b[2J\x00\tABC\xff\x7f\n"
    return {
        "down_walk": image + encode_keys(down_walk),
        "enter_walk": image + encode_keys(enter_walk),
        "wheel_fields": image + encode_keys(wheel),
        "wheel_name": image + encode_keys(name),
        "ramp": image + encode_keys(ramp),
        "can_id": image + encode_keys(can),
        "general": image + encode_keys(general),
        "strange_keys": image + encode_keys(strange),
        "no_keys": image,
        "select_above_25": variant(a3=200) + encode_keys(wheel),
        "many_ramp_points": variant(a4=250) + encode_keys(ramp),
        "zero_pulses": variant(a66=0, a73=0, a71=0, a78=254) + encode_keys(wheel),
        "name_control_bytes": bytes(names) + encode_keys(name),
        "erased": bytes([0xFF] * SIZE) + encode_keys(down_walk),
        "zeros": bytes(SIZE) + encode_keys(wheel),
    }


def write_all(folder, seeds):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    sample_text, image = read_sample()
    write_all(os.path.join(HERE, "corpus", "reader"), reader_seeds(sample_text, image))
    write_all(os.path.join(HERE, "corpus", "editor"), editor_seeds(image))


if __name__ == "__main__":
    main()
