#!/usr/bin/env python3
"""Writes the corpus tools/check_session_query.sh asks both readers: for each
text NAME.txt the query paths NAME.paths, one a line.

    make_corpus.py OUT_DIR BASE_TEXT... [--generated N] [--mutated N] [--seed S]

The base texts are copied; N texts are generated from a vocabulary of keys
and awkward values, and N are mutations of the base texts (bytes changed to
the characters the scan cares about, lines moved, indentation changed, line
ends changed, zero bytes put in). Paths come from each text's own lines (the
keys above a line, list items selected by their first key's value) and from
mutations of those, so that most of them find something and many almost do.
"""
import argparse
import os
import random

AWKWARD_BYTES = b" -:\n\r\t{}\"#*?'\x00\xe9\x9f"
KEYS = ["WeekendInfo", "TrackName", "TrackLength", "SessionInfo", "Sessions", "SessionNum",
        "SessionType", "DriverInfo", "DriverCarIdx", "Drivers", "CarIdx", "UserName",
        "CarScreenName", "TeamName", "Results", "Position", "A", "B", "Key-with-dash", "Spaced Key"]
VALUES = ["1", "0", "-1", "03", "3", "Race", "Lone Qualify", "2:30 pm", "5.51 km", "\"17\"", "",
          " ", "Team #1", "- Some Team - Agency", "? ?", "*Admin", ":colon first", "a: b: c",
          "trailing  ", "{braced}", "x}", "Jos\xe9"]


def key_lines(text):
    """(depth, has_dash, key, value) of each line the scan would key, in order."""
    lines = []
    for raw in text.replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n"):
        i = depth = 0
        dash = False
        while i < len(raw) and raw[i:i + 1] in (b" ", b"-", b":"):
            if raw[i:i + 1] != b":":
                depth += 1
            dash = dash or raw[i:i + 1] == b"-"
            i += 1
        rest = raw[i:]
        if not rest:
            continue
        colon = rest.find(b":")
        if colon < 0:
            lines.append((depth, dash, rest, b""))
            continue
        value = rest[colon + 1:].lstrip(b" ")
        lines.append((depth, dash, rest[:colon + 1], value))
    return lines


def paths_of(text, rng, extra):
    """Paths built from the text's keys, and mutations of them."""
    found = []
    stack = []  # (depth, segment)
    for depth, dash, key, value in key_lines(text.split(b"\x00")[0]):
        if not key.endswith(b":"):
            continue
        while stack and stack[-1][0] > depth or (stack and stack[-1][0] == depth and (dash or not stack[-1][2])):
            stack.pop()
        prefix = b"".join(segment for _, segment, _ in stack)
        found.append(prefix + key)
        if dash and value and b"{" not in value and b"}" not in value:
            stack.append((depth, key + b"{" + value + b"}", True))
        elif not value:
            stack.append((depth, key, False))
    paths = list(dict.fromkeys(found))
    rng.shuffle(paths)
    paths = paths[:120]
    mutated = []
    for path in paths[:60]:
        choice = rng.randrange(8)
        segments = path.split(b":")
        if choice == 0 and len(segments) > 2:  # a level skipped
            del segments[rng.randrange(len(segments) - 1)]
            mutated.append(b":".join(segments))
        elif choice == 1:  # a selector's value changed
            mutated.append(path.replace(b"{", b"{1", 1) if b"{" in path else path + b"{0}X:")
        elif choice == 2:  # cut short, last colon gone
            mutated.append(path[:-1])
        elif choice == 3:  # a key that is not there at the end
            mutated.append(path + b"Missing:")
        elif choice == 4:  # case changed
            mutated.append(path.swapcase())
        elif choice == 5:  # a selector's value emptied
            mutated.append(path.replace(b"{", b"{}", 1).replace(b"{}", b"{", 1) if b"{" in path else path + b"{}")
        elif choice == 6:  # only the last segment
            mutated.append(segments[-2] + b":" if len(segments) >= 2 else path)
        else:
            mutated.append(rng.choice(KEYS).encode() + b":" + path)
    result = []
    for path in paths + mutated + extra:
        # One path a line; a '{' without a later '}' sends the SDK's scan past
        # the end of the path, so neither reader is asked such a path.
        if any(c in path for c in (b"\n", b"\r", b"\x00")):
            continue
        if path.rfind(b"{") > path.rfind(b"}"):
            continue
        result.append(path)
    return list(dict.fromkeys(result))


def generated_text(rng):
    lines = [b"---"]
    depth = 0
    for _ in range(rng.randrange(5, 60)):
        depth = max(0, min(12, depth + rng.choice([-2, -1, 0, 0, 1, 1, 2])))
        key = rng.choice(KEYS).encode("latin-1")
        dash = rng.random() < 0.25 and depth > 0
        lead = b" " * (depth - 2) + b"- " if dash and depth >= 2 else b" " * depth
        if rng.random() < 0.05:  # colons in the indentation count for nothing
            at = rng.randrange(len(lead) + 1)
            lead = lead[:at] + b":" * rng.randrange(1, 3) + lead[at:]
        if rng.random() < 0.4:
            lines.append(lead + key + b":")
        else:
            lines.append(lead + key + b": " + rng.choice(VALUES).encode("latin-1"))
        if rng.random() < 0.05:
            lines.append(b"")
        if rng.random() < 0.03:
            lines.append(b" " * rng.randrange(0, 4))
    text = b"\n".join(lines) + (b"\n" if rng.random() < 0.8 else b"")
    if rng.random() < 0.2:
        text = text.replace(b"\n", b"\r\n")
    return text


def mutated_text(base, rng):
    data = bytearray(base)
    for _ in range(rng.randrange(1, 6)):
        kind = rng.randrange(7)
        if not data:
            break
        at = rng.randrange(len(data))
        if kind == 0:  # bytes changed to ones the scan cares about
            for _ in range(rng.randrange(1, 8)):
                data[rng.randrange(len(data))] = rng.choice(AWKWARD_BYTES)
        elif kind == 1:  # a range removed
            del data[at:at + rng.randrange(1, 200)]
        elif kind == 2:  # lines moved
            lines = bytes(data).split(b"\n")
            i, j = rng.randrange(len(lines)), rng.randrange(len(lines))
            lines[i], lines[j] = lines[j], lines[i]
            data = bytearray(b"\n".join(lines))
        elif kind == 3:  # indentation changed
            lines = bytes(data).split(b"\n")
            i = rng.randrange(len(lines))
            lead = bytes(rng.choice(b" -:") for _ in range(rng.randrange(0, 5)))
            lines[i] = lead + (lines[i].lstrip(b" ") if rng.random() < 0.5 else lines[i])
            data = bytearray(b"\n".join(lines))
        elif kind == 4:  # line ends changed
            data = bytearray(bytes(data).replace(b"\n", rng.choice([b"\r", b"\r\n", b"\n\r", b"\n\n"])))
        elif kind == 5:  # a long line
            data[at:at] = b" " * rng.randrange(1, 3000) + b"Long: " + b"x" * rng.randrange(0, 3000) + b"\n"
        else:  # the last line end, or a zero byte
            if rng.random() < 0.5:
                data = data.rstrip(b"\n")
            else:
                data[at:at] = b"\x00"
    return bytes(data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("bases", nargs="+")
    parser.add_argument("--generated", type=int, default=100)
    parser.add_argument("--mutated", type=int, default=200)
    parser.add_argument("--seed", type=int, default=19)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    os.makedirs(args.out, exist_ok=True)
    bases = []
    for path in args.bases:
        with open(path, "rb") as f:
            bases.append((os.path.splitext(os.path.basename(path))[0], f.read()))
    # Paths every text is asked, whatever it holds: the reference's own.
    common = [p.encode() for p in (
        "WeekendInfo:TrackDisplayName:", "WeekendInfo:TrackLength:", "WeekendInfo:TrackConfigName:",
        "DriverInfo:DriverCarIdx:", "DriverInfo:Drivers:CarIdx:{1}UserName:",
        "DriverInfo:Drivers:CarIdx:{1}CarScreenName:", "DriverInfo:Drivers:CarIdx:{2}UserName:",
        "SessionInfo:Sessions:SessionNum:{1}SessionType:", "SessionInfo:CurrentSessionNum:",
        "WeekendInfo:UpdateCount:", "TrackLength:", "", ":", "{}", "A:{}B:", "WeekendInfo:TrackLength")]
    texts = [(name, data) for name, data in bases]
    texts += [("generated_%03d" % i, generated_text(rng)) for i in range(args.generated)]
    texts += [("mutated_%03d" % i, mutated_text(rng.choice(bases)[1], rng)) for i in range(args.mutated)]
    for name, data in texts:
        with open(os.path.join(args.out, name + ".txt"), "wb") as f:
            f.write(data)
        # Paths come from what either reader sees: the text up to a zero byte.
        with open(os.path.join(args.out, name + ".paths"), "wb") as f:
            f.write(b"".join(p + b"\n" for p in paths_of(data, rng, common)))


if __name__ == "__main__":
    main()
