#!/usr/bin/env python3
"""Renders each HTML page the tests kept in headless Chromium and reads the page back from the
browser's DOM: every element must be one the writer makes, and every text of an image must read
as the JSON Lines record of the same run has it, in the same order, with the same exact form
where it is not whole.

Usage: check_html_page.py CHROMIUM FOLDER
FOLDER holds NAME.html and NAME.jsonl pairs."""

import html.parser
import json
import pathlib
import re
import subprocess
import sys
import tempfile

ELEMENTS = {"html", "head", "meta", "title", "style", "body", "h1", "h2", "p", "table",
            "tbody", "tr", "th", "td", "span"}
ATTRIBUTES = {"lang", "charset", "http-equiv", "content", "name", "class"}
SPAN_CLASSES = {"text", "hex", "esc"}
# The fields an item's row shows, in the order of its cells.
TEXT_FIELDS = ["path", "label", "key", "line", "sha1", "old_sha1", "new_sha1"]


class Page(html.parser.HTMLParser):
    """The elements of a page, and what its text and hex spans read."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.problems = []
        self.texts = []  # (text, exact form or None), in page order
        self.open = []  # classes of the open spans
        self.styles = 0

    def handle_starttag(self, tag, attrs):
        if tag not in ELEMENTS:
            self.problems.append(f"an element the writer never makes: <{tag}>")
        for name, _ in attrs:
            if name not in ATTRIBUTES:
                self.problems.append(f"an attribute the writer never makes: {name} on <{tag}>")
        if tag == "style":
            self.styles += 1
        if tag == "span":
            span_class = dict(attrs).get("class")
            if span_class not in SPAN_CLASSES:
                self.problems.append(f"a span of class {span_class!r}")
            self.open.append(span_class)
            if span_class == "text":
                self.texts.append(["", None])
            elif span_class == "hex":
                self.texts[-1][1] = ""

    def handle_endtag(self, tag):
        if tag == "span":
            self.open.pop()

    def handle_data(self, data):
        if not self.open:
            return
        if self.open[-1] == "esc":
            if not re.fullmatch(r"\\u[0-9a-f]{4}", data):
                self.problems.append(f"an escape that is no code: {data!r}")
            else:
                self.texts[-1][0] += chr(int(data[2:], 16))
        elif self.open[-1] == "text":
            self.texts[-1][0] += data
        elif self.open[-1] == "hex":
            self.texts[-1][1] += data.removeprefix("exact: ")


def expected_texts(jsonl):
    """The page's texts as the JSON Lines of the same run have them."""
    texts = []
    for line in jsonl.splitlines():
        record = json.loads(line)
        if record["type"] == "header":
            if "host" in record:
                texts.append([record["host"], record.get("host_hex")])
            for image in ("old", "new"):
                texts.append([record[image]["path"], record[image].get("path_hex")])
        elif record["type"] == "change":
            for field in TEXT_FIELDS:
                if isinstance(record.get(field), str):
                    texts.append([record[field], record.get(field + "_hex")])
    return texts


def dom_of(chromium, page):
    with tempfile.TemporaryDirectory() as profile:
        done = subprocess.run(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             f"--user-data-dir={profile}", "--dump-dom", page.resolve().as_uri()],
            capture_output=True, timeout=180, check=False)
    if done.returncode != 0 or not done.stdout:
        sys.exit(f"{page}: Chromium did not render it ({done.returncode}): "
                 f"{done.stderr.decode(errors='replace')[-500:]}")
    return done.stdout.decode("utf-8")


def main():
    chromium, folder = sys.argv[1], pathlib.Path(sys.argv[2])
    pages = sorted(folder.glob("*.html"))
    if not pages:
        sys.exit(f"no HTML page was kept in {folder}")
    failures = 0
    for page in pages:
        parsed = Page()
        parsed.feed(dom_of(chromium, page))
        problems = parsed.problems
        if parsed.styles != 1:
            problems.append(f"{parsed.styles} style elements, not 1")
        expected = expected_texts(page.with_suffix(".jsonl").read_text(encoding="utf-8"))
        if parsed.texts != expected:
            for at, (got, want) in enumerate(zip(parsed.texts, expected)):
                if got != want:
                    problems.append(f"text {at} reads {got!r}, not {want!r}")
                    break
            if len(parsed.texts) != len(expected):
                problems.append(f"{len(parsed.texts)} texts, not {len(expected)}")
        for problem in problems:
            print(f"{page.name}: {problem}")
        failures += bool(problems)
        print(f"{page.name}: {len(parsed.texts)} texts read back")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
