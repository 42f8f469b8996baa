#!/usr/bin/env python3
"""Source rules that need no build: folder arrows of #include and the length of functions.

The arrows are read from docs/architecture.md (the lines between "<!-- arrows -->" and
"<!-- /arrows -->"), so the document and the check cannot drift apart. Usage:
  check_source.py [--root DIR] [FILE ...]   (no files: every tracked source file)
Exit status 1 when a rule is broken, with one line per finding.
"""
import argparse
import pathlib
import re
import subprocess
import sys

SOURCE_SUFFIXES = (".c", ".cpp", ".h")
# Folders whose functions the length rule covers: the product and the tools, not tests or benches.
PRODUCT_FOLDERS = ("app", "components", "engine", "installer", "package", "tools", "ui", "win")
MAX_FUNCTION_LINES = 60
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
ARROW = re.compile(r"^\s*-\s*`?([\w./*-]+)`?\s*(?:→|->)\s*(.*)$")


def read_arrows(root):
    text = (root / "docs" / "architecture.md").read_text(encoding="utf-8")
    block = re.search(r"<!-- arrows -->(.*?)<!-- /arrows -->", text, re.S)
    if not block:
        sys.exit("check_source: docs/architecture.md has no <!-- arrows --> block")
    rules = []
    for line in block.group(1).splitlines():
        match = ARROW.match(line)
        if not match:
            continue
        targets = [t.strip(" `") for t in match.group(2).split(",")]
        rules.append((match.group(1), [t for t in targets if t and t != "nothing"]))
    return rules


def area(path):
    """The unit an arrow speaks of: a top folder, or a tool's or component's own folder."""
    parts = path.split("/")
    if parts[0] in ("components", "tools", "tests") and len(parts) > 2:
        return "/".join(parts[:2])
    return parts[0]


def matches(pattern, path):
    if pattern.endswith("/*"):
        base = pattern[:-2]
        return path.startswith(base + "/") and "/" in path[len(base) + 1:]
    return path == pattern or path.startswith(pattern.rstrip("/") + "/")


def include_findings(root, files, rules, top_folders):
    for path in files:
        if path.startswith("tests/"):
            continue  # a test reaches whatever it tests, through the targets it links
        for number, line in enumerate((root / path).read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or match.group(1).split("/")[0] not in top_folders:
                continue
            included = match.group(1)
            if area(included) == area(path):
                continue
            if any(matches(src, path) and any(matches(dst, included) for dst in dsts) for src, dsts in rules):
                continue
            yield f"{path}:{number}: includes {included}: no arrow {area(path)} → {area(included)} in docs/architecture.md"


def strip_code(text):
    """Blanks comments, string and character literals, keeping line breaks, so braces can be counted."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            open_paren = text.find("(", i)
            delimiter = ")" + text[i + 2:open_paren] + '"'
            j = text.find(delimiter, open_paren)
            j = n if j < 0 else j + len(delimiter)
            out.append('""' + "\n" * text.count("\n", i, j))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


NOT_A_FUNCTION = re.compile(r"\b(namespace|class|struct|union|enum)\b|extern\s+\"\"|=\s*$|\]\s*(\(.*\))?\s*(mutable\s*)?$")


def long_functions(text):
    """(first line, body lines) of each function body at namespace or class level."""
    code = strip_code(text)
    scopes = []  # True for a scope that may hold function definitions (file, namespace, class)
    head_start = 0
    line = 1
    for i, c in enumerate(code):
        if c == "\n":
            line += 1
        elif c in ";}":
            if c == "}" and scopes:
                kind, start_line = scopes.pop()
                if kind == "function" and line - start_line - 1 > MAX_FUNCTION_LINES:
                    yield start_line, line - start_line - 1
            head_start = i + 1
        elif c == "{":
            head = " ".join(code[head_start:i].split())
            enclosing_open = all(kind == "open" for kind, _ in scopes)
            if not enclosing_open:
                scopes.append(("inner", line))
            elif ")" in head and not NOT_A_FUNCTION.search(head):
                scopes.append(("function", line))
            else:
                scopes.append(("open", line))
            head_start = i + 1


def length_findings(root, files):
    for path in files:
        if path.split("/")[0] not in PRODUCT_FOLDERS or not path.endswith((".cpp", ".h")):
            continue
        text = (root / path).read_text(encoding="utf-8", errors="replace")
        for start, lines in long_functions(text):
            yield f"{path}:{start}: a function of {lines} lines (at most {MAX_FUNCTION_LINES})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=pathlib.Path(__file__).resolve().parent.parent, type=pathlib.Path)
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    root = args.root
    files = args.files or subprocess.run(["git", "ls-files"], cwd=root, capture_output=True, text=True,
                                         check=True).stdout.split()
    files = [f for f in files if f.endswith(SOURCE_SUFFIXES) and (root / f).is_file()]
    top_folders = {p.name for p in root.iterdir() if p.is_dir() and not p.name.startswith(".")}
    findings = list(include_findings(root, files, read_arrows(root), top_folders)) + list(length_findings(root, files))
    for finding in findings:
        print(finding)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
