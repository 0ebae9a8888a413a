#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The html report as a browser sees it: tavrel writes a report from a real slapd directory,
headless Chromium loads it and dumps its DOM, and the test reads the main table from that.

    python3 tests/browser/html_report_test.py --tavrel build/tavrel [unittest arguments]

Needs the Debian chromium package. The browser runs with a fresh profile and without network
services; it loads only the local report file.
"""

import html.parser
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import slapd_fixture as sf  # noqa: E402
from tavrel_run import run_tavrel, tavrel_from_argv  # noqa: E402

TAVREL = None
BROWSER = "/usr/bin/chromium"
BASE = "ou=Browser," + sf.SUFFIX

# Each of these would change the page if the browser took it as markup: a script that
# renames the page, an image whose error handler marks the body, an attribute breakout.
HOSTILE = ('<script>document.title="PWNED"</script>"><img src=x '
           'onerror="document.body.setAttribute(\'data-pwned\',1)"> & \'co\'')
HOSTILE_CN = 'Evil <script>document.title="PWNED2"</script> & "q"'

VOID_ELEMENTS = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
                 "source", "track", "wbr"}


class Node:
    def __init__(self, tag, attrs, parent):
        self.tag = tag
        self.attrs = dict(attrs)
        self.parent = parent
        self.children = []

    def text(self):
        return "".join(c if isinstance(c, str) else c.text() for c in self.children)

    def find_all(self, tag):
        for child in self.children:
            if isinstance(child, Node):
                if child.tag == tag:
                    yield child
                yield from child.find_all(tag)


class DomReader(html.parser.HTMLParser):
    """Rebuilds the element tree of a serialised DOM (well formed: every element that is not
    void has its end tag)."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = Node("#document", [], None)
        self.current = self.root

    def handle_starttag(self, tag, attrs):
        node = Node(tag, attrs, self.current)
        self.current.children.append(node)
        if tag not in VOID_ELEMENTS:
            self.current = node

    def handle_startendtag(self, tag, attrs):
        self.current.children.append(Node(tag, attrs, self.current))

    def handle_endtag(self, tag):
        node = self.current
        while node is not self.root and node.tag != tag:
            node = node.parent
        if node is not self.root:
            self.current = node.parent

    def handle_data(self, data):
        self.current.children.append(data)


def render(path, profile):
    """The DOM of the loaded page, after its scripts (if any) have run."""
    command = [BROWSER, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
               "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--disable-quic", "--user-data-dir=" + profile,
               "--virtual-time-budget=2000", "--dump-dom", "file://" + path]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            stdin=subprocess.DEVNULL, timeout=120)
    if result.returncode != 0:
        raise AssertionError("chromium failed (%d): %s" %
                             (result.returncode, result.stderr.decode("utf-8", "replace")))
    reader = DomReader()
    reader.feed(result.stdout.decode("utf-8"))
    return reader.root


def cell_colour(td):
    """The colour the browser paints a cell's text with: the innermost FONT colour."""
    colour = None
    node = td
    while True:
        fonts = [c for c in node.children if isinstance(c, Node) and c.tag == "font"]
        if not fonts:
            return colour
        node = fonts[0]
        colour = node.attrs.get("color")


@unittest.skipUnless(os.path.exists(BROWSER), "chromium is not installed")
class HtmlReportInBrowserTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        old = sf.int8_days_ago(200)
        seed = "".join([
            sf.ou("Browser"),
            sf.computer("PC1", parent=BASE, pwd_last_set=old,
                        extra={"description": "plain"}),
            sf.computer("PC2", parent=BASE, pwd_last_set=old,
                        uac=sf.UAC_WORKSTATION_TRUST_ACCOUNT | sf.UAC_ACCOUNTDISABLE,
                        extra={"description": HOSTILE}),
            sf.domain_controller("DC1", parent=BASE, pwd_last_set=old),
            sf.entry('cn=Evil \\<script\\>document.title=\\"PWNED2\\"\\</script\\> & \\"q\\",' + BASE,
                     [("objectClass", ["top", "person", "organizationalPerson", "user",
                                       "computer"]),
                      ("cn", HOSTILE_CN), ("sn", "x"), ("objectCategory", "computer"),
                      ("sAMAccountName", "EVIL$"), ("userAccountControl", 4096),
                      ("pwdLastSet", old), ("description", "evil dn")]),
        ])
        cls.work = tempfile.mkdtemp(prefix="tavrel-browser-")
        cls.d = sf.SlapdFixture(seed=seed)
        cls.d.start()
        try:
            # A relative name: an argument starting with "/" would be read as a switch.
            result = run_tavrel(
                TAVREL, ["-report", "-h", cls.d.ldapi_uri, "-b", BASE, "-addattrib",
                         "description", "-file", "report.htm", "-q"],
                faketime=None, cwd=cls.work)
            if result.returncode != 0:
                raise AssertionError("tavrel failed: %r" % (result.stderr,))
            cls.dom = render(os.path.join(cls.work, "report.htm"),
                             os.path.join(cls.work, "profile"))
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.d.cleanup()
        shutil.rmtree(cls.work, ignore_errors=True)

    def main_table(self):
        tables = [t for t in self.dom.find_all("table") if t.attrs.get("id") == "MAINTABLE"]
        self.assertEqual(len(tables), 1)
        return tables[0]

    def rows(self):
        """{cn cell text: (row node, cells)} of the data rows of the main table."""
        table = self.main_table()
        header = [r for r in table.find_all("tr") if r.attrs.get("class") == "header"]
        self.assertEqual(len(header), 1)
        names = [td.text() for td in header[0].find_all("td")]
        rows = {}
        for tr in table.find_all("tr"):
            if tr.attrs.get("class") != "row":
                continue
            cells = dict(zip(names, tr.find_all("td")))
            rows[cells["cn"].text()] = cells
        return names, rows

    def test_one_row_per_object_with_the_report_columns(self):
        names, rows = self.rows()
        self.assertEqual(names[:3], ["DN", "cn", "sAMAccountName"])
        self.assertEqual(names[-1], "description")
        self.assertEqual(sorted(rows), sorted(["pc1", "pc2", "dc1", HOSTILE_CN.lower()]))
        for cells in rows.values():
            self.assertEqual(len(cells), len(names))

    def test_row_colours(self):
        _, rows = self.rows()
        expected = {"pc1": "", "pc2": "RED", "dc1": "GREEN"}
        for name, colour in expected.items():
            with self.subTest(row=name):
                colours = {cell_colour(td) for td in rows[name].values()}
                self.assertEqual(colours, {colour})

    def test_hostile_values_are_text(self):
        _, rows = self.rows()
        self.assertEqual(rows["pc2"]["description"].text(), HOSTILE)
        evil = rows[HOSTILE_CN.lower()]
        self.assertEqual(evil["cn"].text(), HOSTILE_CN.lower())
        # slapd hands the name back with "<", ">" and the quote as hex escapes; "&" stays.
        self.assertTrue(evil["DN"].text().startswith("cn=evil \\3cscript\\3e"), evil["DN"].text())
        self.assertIn(" & ", evil["DN"].text())
        # Nothing from the directory became an element or ran.
        self.assertEqual(list(self.dom.find_all("script")), [])
        self.assertEqual(list(self.dom.find_all("img")), [])
        titles = [t.text() for t in self.dom.find_all("title")]
        self.assertNotIn("pwned", "".join(titles).lower())
        body = next(self.dom.find_all("body"))
        self.assertNotIn("data-pwned", body.attrs)


if __name__ == "__main__":
    TAVREL = tavrel_from_argv()
    unittest.main()
