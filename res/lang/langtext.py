#!/usr/bin/env python3
"""Language text resources of the wizard: check them, and convert them for translators.

Each resource is UTF-16LE with a byte-order mark and CR LF line ends, 73 lines in the
same layout for every language (an optional 74th line stays empty).

  langtext.py check [FILE...]          check layout and code page of the resources
  langtext.py export FILE OUT.utf8     write a resource as plain UTF-8 text for editing
  langtext.py import IN.utf8 FILE      write edited UTF-8 text back as a resource
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
LINES = 73
ALWAYS_EMPTY = (15, 17, 26, 28, 31, 34, 38, 59)
# Lines that are followed or preceded by a number or port name on the screens, and
# the button and heading texts, must not be empty in any language.
NEVER_EMPTY = tuple(k for k in range(1, 59) if k not in ALWAYS_EMPTY + (9,))

# file stem -> (resource id, ANSI code page the texts are converted to)
LANGUAGES = {
    "German": (135, 1252), "Arabic": (138, 1256), "English": (139, 1252),
    "Russian": (140, 1251), "ChineseS": (141, 936), "Brazilian": (142, 1252),
    "Bulgarian": (143, 1251), "Catalan": (144, 1252), "ChineseT": (145, 950),
    "Croatian": (146, 1250), "Czech": (147, 1250), "Danish": (148, 1252),
    "Dutch": (149, 1252), "Finnish": (150, 1252), "French": (151, 1252),
    "Greek": (152, 1253), "Hebrew": (153, 1255), "Hungarian": (154, 1250),
    "Indonesian": (155, 1252), "Italian": (156, 1252), "Malay": (157, 1252),
    "Norwegian": (158, 1252), "Polish": (159, 1250), "Portuguese": (160, 1252),
    "Slovenian": (161, 1250), "Spanish": (162, 1252), "Swedish": (163, 1252),
    "Thai": (164, 874), "Turkish": (165, 1254), "Slovak": (166, 1250),
}


def read_lines(path):
    data = open(path, "rb").read()
    if not data.startswith(b"\xff\xfe"):
        raise ValueError("no UTF-16LE byte-order mark")
    text = data[2:].decode("utf-16-le")
    if not text.endswith("\r\n"):
        raise ValueError("last line does not end with CR LF")
    lines = text[:-2].split("\r\n")
    if any("\r" in line or "\n" in line for line in lines):
        raise ValueError("a line break other than CR LF")
    return lines


def write_lines(path, lines):
    body = "".join(line + "\r\n" for line in lines)
    open(path, "wb").write(b"\xff\xfe" + body.encode("utf-16-le"))


def problems(path):
    stem = os.path.splitext(os.path.basename(path))[0]
    if stem not in LANGUAGES:
        return [f"unknown language file {stem}"]
    try:
        lines = read_lines(path)
    except ValueError as err:
        return [str(err)]
    found = []
    if len(lines) == LINES + 1 and lines[-1] == "":
        lines = lines[:-1]
    if len(lines) != LINES:
        found.append(f"{len(lines)} lines instead of {LINES}")
    codepage = LANGUAGES[stem][1]
    for k, line in enumerate(lines, 1):
        if k in ALWAYS_EMPTY and line:
            found.append(f"line {k} must be empty")
        if k in NEVER_EMPTY and not line:
            found.append(f"line {k} is empty")
        if line != line.strip():
            found.append(f"line {k} has leading or trailing blanks")
        try:
            line.encode(f"cp{codepage}")
        except UnicodeEncodeError as err:
            found.append(f"line {k}: {line[err.start:err.end]!r} not in code page {codepage}")
    return found


def main(argv):
    if len(argv) >= 1 and argv[0] == "check":
        files = argv[1:] or sorted(os.path.join(HERE, f"{s}.txt") for s in LANGUAGES)
        bad = 0
        for path in files:
            for problem in problems(path):
                print(f"{path}: {problem}")
                bad += 1
        return 1 if bad else 0
    if len(argv) == 3 and argv[0] == "export":
        open(argv[2], "w", encoding="utf-8").write("\n".join(read_lines(argv[1])) + "\n")
        return 0
    if len(argv) == 3 and argv[0] == "import":
        text = open(argv[1], encoding="utf-8").read()
        write_lines(argv[2], text[:-1].split("\n") if text.endswith("\n") else text.split("\n"))
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
