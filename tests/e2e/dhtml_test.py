#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Whole dynamic HTML reports, byte for byte, from the tavrel binary against a real slapd
directory, with the clock pinned by libfaketime and a fixed time zone.

The expected files live in tests/e2e/expected/dhtml/. After a deliberate change of the page,
write them anew with --regenerate and review the difference before committing it.

    python3 tests/e2e/dhtml_test.py --tavrel build/tavrel [--regenerate] [unittest arguments]
"""

import datetime
import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import slapd_fixture as sf  # noqa: E402
from tavrel_run import run_tavrel, tavrel_from_argv  # noqa: E402

TAVREL = None
REGENERATE = False
EXPECTED = os.path.join(HERE, "expected", "dhtml")

# The run's clock, as local time of ZONE: every date text in the reports follows from it.
CLOCK = "2004-12-29 01:09:22"
ZONE = "Europe/Berlin"

DHTML_OU = "ou=Dhtml," + sf.SUFFIX
EMPTY_OU = "ou=Empty," + sf.SUFFIX

ENABLED = sf.UAC_WORKSTATION_TRUST_ACCOUNT                       # 4096
DISABLED = ENABLED | sf.UAC_ACCOUNTDISABLE                       # 4098
DC = sf.UAC_SERVER_TRUST_ACCOUNT | sf.UAC_TRUSTED_FOR_DELEGATION  # 532480

HOSTILE = "<script>alert(\"x\")</script> & 'q'"

RAW_OU = "ou=Raw," + sf.SUFFIX
# Controls XML 1.0 does not allow, in a text attribute (valid UTF-8) ...
CONTROLS = "bell\x07 esc\x1b tab\t end"
# ... and bytes that are not UTF-8 at all, NUL included, in an octet-string attribute.
RAW_BYTES = b"M\xfcller\x00 \xc3 \xed\xa0\x80 ok \xe2\x82\xac"
FFFD = "\ufffd"


def utc(*fields):
    return datetime.datetime(*fields, tzinfo=datetime.timezone.utc)


def int8(*fields):
    return sf.int8_from_datetime(utc(*fields))


def seed():
    """Old accounts in store order: enabled, disabled, domain controller, enabled without a
    last logon, an ampersand in the name; and one too young to match."""
    return "".join([
        sf.ou("Dhtml"),
        sf.ou("Empty"),
        sf.computer("PC-OLD1", parent=DHTML_OU, uac=ENABLED,
                    pwd_last_set=int8(2004, 6, 1, 10, 0, 0),
                    last_logon=int8(2004, 7, 15, 8, 30, 0),
                    when_created=utc(2003, 1, 10, 9, 0, 0),
                    operating_system="Windows XP Professional", os_version="5.1 (2600)",
                    os_service_pack="Service Pack 2", account_expires=sf.INT8_NEVER,
                    extra={"description": HOSTILE}),
        sf.computer("PC-OFF", parent=DHTML_OU, uac=DISABLED,
                    pwd_last_set=int8(2004, 3, 1, 0, 0, 0),
                    last_logon=int8(2004, 3, 2, 12, 0, 0),
                    when_created=utc(2002, 5, 6, 7, 8, 9),
                    operating_system="Windows 2000 Professional", os_version="5.0 (2195)",
                    account_expires=0, extra={"description": "switched off"}),
        sf.domain_controller("DC9", parent=DHTML_OU,
                             pwd_last_set=int8(2004, 5, 5, 5, 5, 5),
                             last_logon=int8(2004, 12, 28, 23, 0, 0),
                             when_created=utc(2001, 1, 1, 0, 0, 0),
                             os_version="5.2 (3790)"),
        sf.computer("PC-OLD2", parent=DHTML_OU, uac=ENABLED,
                    pwd_last_set=int8(2003, 11, 20, 18, 45, 0),
                    when_created=utc(2003, 11, 1, 0, 0, 0)),
        sf.computer("PC&CO", parent=DHTML_OU, uac=ENABLED,
                    pwd_last_set=int8(2004, 8, 31, 22, 30, 0),
                    when_created=utc(2004, 1, 1, 0, 0, 0),
                    extra={"description": "a & b"}),
        sf.computer("PC-NEW", parent=DHTML_OU, uac=ENABLED,
                    pwd_last_set=int8(2004, 12, 20, 0, 0, 0),
                    when_created=utc(2004, 12, 1, 0, 0, 0)),
        sf.ou("Raw"),
        raw_computer(),
    ])


def raw_computer():
    """A computer whose description holds controls and whose audio (any attribute of octet
    syntax will do) holds invalid UTF-8."""
    import base64
    text = sf.computer("PC-RAW", parent=RAW_OU, uac=ENABLED,
                       pwd_last_set=int8(2004, 6, 1, 10, 0, 0),
                       when_created=utc(2003, 1, 10, 9, 0, 0),
                       extra={"description": CONTROLS})
    text = text.replace("objectClass: computer\n",
                        "objectClass: computer\nobjectClass: extensibleObject\n")
    return text[:-1] + "audio:: %s\n\n" % base64.b64encode(RAW_BYTES).decode("ascii")


class DhtmlReportTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = sf.SlapdFixture(variant="w2003-l2", seed=seed())
        cls.directory.start()

    @classmethod
    def tearDownClass(cls):
        cls.directory.cleanup()

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tav-dhtml-")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def report(self, name, *args):
        """Runs tavrel into <work>/<name>.htm and returns the report's bytes."""
        # A relative name: an argument that begins with "/" is read as a switch.
        path = os.path.join(self.work, name + ".htm")
        code, out, err = run_tavrel(
            TAVREL, ["-h", self.directory.ldapi_uri, "-format", "dhtml", "-file", name + ".htm"] +
            list(args), faketime=CLOCK, tz=ZONE, cwd=self.work)
        self.assertEqual(code, 0, err.decode("latin-1"))
        with open(path, "rb") as f:
            return f.read()

    def assertMatchesExpected(self, name, actual):
        path = os.path.join(EXPECTED, name + ".htm")
        if REGENERATE:
            os.makedirs(EXPECTED, exist_ok=True)
            with open(path, "wb") as f:
                f.write(actual)
        with open(path, "rb") as f:
            expected = f.read()
        if actual != expected:
            at = next((i for i, (a, b) in enumerate(zip(actual, expected)) if a != b),
                      min(len(actual), len(expected)))
            self.fail("%s differs from %s at byte %d:\n  got      %r\n  expected %r" % (
                name, path, at, actual[max(0, at - 60):at + 60],
                expected[max(0, at - 60):at + 60]))

    def test_report_run_sorted_by_name(self):
        page = self.report("report_sorted", "-report", "-b", DHTML_OU, "-sort", "cn",
                           "-addattrib", "description")
        # The sort option only sets the page's initial order; the rows stay in store order.
        self.assertIn(b'order-by="sAMAccountName"', page)
        self.assertLess(page.index(b"<DN>cn=pc-old1,"), page.index(b"<DN>cn=pc-off,"))
        self.assertIn(b"<description>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; "
                      b"&amp; 'q'</description>", page)
        self.assertMatchesExpected("report_sorted", page)

    def test_modifying_dry_run_shows_action_result_and_colours(self):
        page = self.report("delete_dry", "-delete", "-safety", "2", "-b", DHTML_OU)
        self.assertIn(b'<OPTION value="ACTION">ACTION</OPTION>'
                      b'<OPTION value="RESULT">RESULT</OPTION>', page)
        for colour in (b"ORANGE", b"GREEN", b"PURPLE"):
            self.assertIn(b"<COLOR>" + colour + b"</COLOR>", page)
        self.assertNotIn(b"Total Updates", page)
        self.assertMatchesExpected("delete_dry", page)

    def test_empty_result(self):
        page = self.report("empty", "-report", "-b", EMPTY_OU)
        self.assertTrue(page.endswith(b"<XML ID=\"xmlSource\"><ROOT></ROOT></XML></BODY></HTML>"))
        self.assertMatchesExpected("empty", page)

    def test_values_xml_does_not_allow_become_replacement_characters(self):
        import xml.etree.ElementTree as ElementTree
        page = self.report("raw_values", "-report", "-b", RAW_OU, "-addattrib",
                           "description;audio")
        self.assertIn(b'<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=utf-8">'
                      b"<TITLE>", page)
        island = page[page.index(b'<XML ID="xmlSource">'):page.rindex(b"</XML>") + 6]
        root = ElementTree.fromstring(island)  # expat: refuses anything not well-formed
        item = root.find("ROOT/ITEM")
        self.assertEqual(item.find("description").text,
                         "bell%s esc%s tab\t end" % (FFFD, FFFD))
        self.assertEqual(item.find("audio").text,
                         "M%sller%s %s %s%s%s ok \u20ac" % ((FFFD,) * 6))
        self.assertMatchesExpected("raw_values", page)

    def test_without_page_head(self):
        page = self.report("nohtmlheader", "-report", "-b", DHTML_OU, "-nohtmlheader")
        self.assertTrue(page.startswith(b"<STYLE>"))
        self.assertMatchesExpected("nohtmlheader", page)

    def test_without_title_block_and_information_table(self):
        page = self.report("noheader", "-report", "-b", DHTML_OU, "-noheader")
        self.assertNotIn(b"<H1>", page)
        self.assertNotIn(b"Search Filter", page)
        self.assertMatchesExpected("noheader", page)


if __name__ == "__main__":
    TAVREL = tavrel_from_argv()
    if "--regenerate" in sys.argv:
        sys.argv.remove("--regenerate")
        REGENERATE = True
    unittest.main()
