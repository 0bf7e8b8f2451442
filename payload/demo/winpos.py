"""The demo layout file: reads winpos.txt (kept as UTF-8 with LF in the repository) the way the installer reads it,
checks it, and writes the package's copy as GBK with CR LF line ends.

The artwork script reads the same file, so the picture's areas are drawn exactly where the records place them.
"""

import sys

DELIMITERS = b", \t\r\n"
LINE_BREAK = b"\\r\\n"  # written out in a text, read as one line feed
TEXT_LIMIT = 511  # bytes the installer keeps of a token or text
CREDIT_LIMIT = 261  # longest credits note we allow ourselves, so that a box stays a few lines high

# The working controls every layout of ours ends with.
WORKING_CONTROLS = [
    ("text", (196, 128, 294, 146), "percent"),
    ("install", (261, 85, 347, 125), ""),
    ("uninstall", (298, 128, 377, 168), ""),
    ("setting", (328, 170, 406, 210), ""),
    ("close", (361, 212, 437, 252), ""),
]


class Record:
    def __init__(self, command, rect, first, second):
        self.command = command
        self.rect = rect  # left, top, right, bottom; right and bottom exclusive
        self.first = first  # str, line breaks already turned into "\n"
        self.second = second

    def __repr__(self):
        return "Record(%r, %r, %r, %r)" % (self.command, self.rect, self.first, self.second)


def _atoi(token):
    digits = ""
    rest = token.lstrip()
    sign = 1
    if rest[:1] in ("+", "-"):
        sign = -1 if rest[0] == "-" else 1
        rest = rest[1:]
    for ch in rest:
        if not ch.isdigit():
            break
        digits += ch
    return sign * int(digits) if digits else 0


class _Reader:
    """Tokens and quoted texts over GBK bytes, with the installer's rules for comments and delimiters."""

    def __init__(self, data):
        self.data = data
        self.pos = 0

    def token(self):
        out = bytearray()
        while self.pos < len(self.data):
            byte = self.data[self.pos]
            if byte == ord("#") and (self.pos == 0 or self.data[self.pos - 1] == ord("\n")):
                end = self.data.find(b"\n", self.pos)
                if end < 0:
                    self.pos = len(self.data)
                    return None
                self.pos = end
                continue
            if byte in DELIMITERS:
                if out:
                    return bytes(out)
                self.pos += 1
                continue
            out.append(byte)
            self.pos += 1
        return bytes(out) if out else None

    def quoted(self):
        while self.pos < len(self.data) and self.data[self.pos] in DELIMITERS:
            self.pos += 1
        if self.pos >= len(self.data):
            return None
        quote = self.data[self.pos]
        end = self.data.find(bytes([quote]), self.pos + 1)
        if end < 0:
            text, self.pos = self.data[self.pos + 1:], len(self.data)
        else:
            text, self.pos = self.data[self.pos + 1:end], end + 1
        return text


def parse_gbk(data):
    """Records of a GBK layout file, as the installer reads them (an incomplete last record is dropped)."""
    reader = _Reader(data)
    records = []
    while True:
        command = reader.token()
        if command is None:
            break
        numbers = [reader.token() for _ in range(4)]
        first = reader.quoted()
        second = reader.quoted()
        if any(n is None for n in numbers) or first is None or second is None:
            break
        rect = tuple(_atoi(n.decode("ascii", "replace")) for n in numbers)
        first = first.replace(LINE_BREAK, b"\n").decode("gbk")
        second = second.replace(LINE_BREAK, b"\n").decode("gbk")
        records.append(Record(command.decode("gbk"), rect, first, second))
    return records


def to_gbk(source_text):
    """The package's bytes: GBK with CR LF line ends."""
    lines = source_text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return "".join(line + "\r\n" for line in lines).encode("gbk")


def check(source_text):
    """Reads the source and returns (gbk_bytes, records); raises ValueError when the layout is not one we ship."""
    try:
        data = to_gbk(source_text)
    except UnicodeEncodeError as error:
        raise ValueError("winpos.txt: text that GBK cannot hold: %s" % error)
    at = 0
    while at < len(data):
        # A trail byte 0x5C ("\") could be read as the start of a written-out line break.
        if data[at] >= 0x81:
            if data[at + 1] == 0x5C:
                raise ValueError("winpos.txt: a character whose second GBK byte is a backslash, at byte %d" % at)
            at += 2
        else:
            at += 1
    records = parse_gbk(data)
    if len(records) != 22:
        raise ValueError("winpos.txt: %d records, expected 22" % len(records))
    for index, record in enumerate(records):
        for text in (record.first, record.second):
            size = len(text.encode("gbk"))
            limit = CREDIT_LIMIT if record.command == "msgbox" else TEXT_LIMIT
            if size > limit:
                raise ValueError("winpos.txt: record %d has a text of %d bytes (at most %d)" % (index, size, limit))
        left, top, right, bottom = record.rect
        if not (0 <= left < right <= 450 and 0 <= top < bottom <= 450):
            raise ValueError("winpos.txt: record %d has the rectangle %r" % (index, record.rect))
    commands = [r.command for r in records]
    if commands[:17] != ["msgbox"] * 12 + ["iejump"] * 5:
        raise ValueError("winpos.txt: records 0 to 16 must be 12 msgbox and 5 iejump records")
    for record, (command, rect, first) in zip(records[17:], WORKING_CONTROLS):
        if (record.command, record.rect, record.first, record.second) != (command, rect, first, ""):
            raise ValueError("winpos.txt: expected %s at %r, found %r" % (command, rect, record))
    return data, records


def load(path):
    with open(path, encoding="utf-8") as source:
        return check(source.read())


if __name__ == "__main__":
    # winpos.py SOURCE OUT: checks the layout and writes the package's GBK copy.
    if len(sys.argv) != 3:
        sys.exit("usage: winpos.py SOURCE OUT")
    try:
        gbk, _ = load(sys.argv[1])
    except ValueError as error:
        sys.exit(str(error))
    with open(sys.argv[2], "wb") as out:
        out.write(gbk)
