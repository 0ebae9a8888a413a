# SPDX-License-Identifier: Apache-2.0
"""Shared pieces of the Samba suites: the tavrel binary, one domain controller per test module,
and readers for the reports tavrel writes.

Every suite is run as:  python3 <suite>.py --tavrel <path to the built binary> [unittest args]
"""

import os
import re
import shutil
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "fixtures", "samba"))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))

from samba_fixture import (  # noqa: E402,F401
    ADMIN_DN, BASE_DN, COMPUTERS_DN, DC_DN, DC_FQDN, USERS_DN, Account, SambaDomain,
    generalized_time_days_ago)
from tavrel_run import (  # noqa: E402,F401
    datetime_from_int8, int8_days_ago, int8_from_datetime, tavrel_from_argv)

TAVREL = None


def main():
    """Takes --tavrel off the command line and runs the module's tests."""
    global TAVREL
    argv = list(sys.argv)
    TAVREL = tavrel_from_argv(argv)
    unittest.main(argv=argv, verbosity=2)


class SambaTestCase(unittest.TestCase):
    """Starts one domain controller for the whole module, seeded by the class's seed()."""

    dc = None

    @classmethod
    def setUpClass(cls):
        began = time.monotonic()
        cls.dc = SambaDomain()
        cls.dc.start()
        cls.work = tempfile.mkdtemp(prefix="tavrel-samba-test-")
        try:
            cls.seed()
        except BaseException:
            cls.dc.stop()
            shutil.rmtree(cls.work, ignore_errors=True)
            raise
        cls.dc.timings["ready"] = time.monotonic() - began
        cls._began = time.monotonic()

    @classmethod
    def tearDownClass(cls):
        tests = time.monotonic() - cls._began
        began = time.monotonic()
        cls.dc.stop()
        shutil.rmtree(cls.work, ignore_errors=True)
        sys.stderr.write("\n%s timings: provision/copy %.1f s, start %.1f s, ready incl. seed "
                         "%.1f s, tests %.1f s, stop %.1f s\n" % (
                             cls.__name__, cls.dc.timings.get("provision", 0),
                             cls.dc.timings.get("start", 0), cls.dc.timings.get("ready", 0),
                             tests, time.monotonic() - began))

    @classmethod
    def seed(cls):
        """Adds the module's test data; runs once after the DC is up."""

    def tavrel(self, *args, host=True, ticket=True, env=None, input=None, timeout=300):
        """Runs tavrel inside the namespace (in the module's work folder) with -h the DC;
        `input` (bytes) is its standard input."""
        argv = [TAVREL] + list(args)
        if host:
            argv += ["-h", DC_FQDN]
        return self.dc.run(argv, ticket=ticket, env=env, input=input, cwd=self.work,
                           timeout=timeout)

    def report_path(self, name):
        path = os.path.join(self.work, name)
        if os.path.exists(path):
            os.unlink(path)
        return path

    def csv_report(self, *args, code=0, **kwargs):
        """Runs tavrel with a csv report, expecting exit code `code`; returns
        (result, CsvReport)."""
        name = "report-%s.csv.txt" % self.id().rsplit(".", 1)[-1]
        path = self.report_path(name)
        # A value cannot begin with "/" (it would be a switch), so the name is relative to the
        # work folder, where tavrel runs.
        result = self.tavrel(*(list(args) + ["-format", "csv", "-file", name]), **kwargs)
        self.assertEqual(result.returncode, code, result.stdout + result.stderr)
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            return result, CsvReport(f.read())


class CsvReport:
    """A delimited-text report split into its information lines, columns and rows."""

    def __init__(self, text, delimiter=";"):
        self.text = text
        self.info = {}
        self.columns = []
        self.rows = []
        self.statistics = {}
        lines = text.split("\n")
        at = 0
        while at < len(lines) and not lines[at].startswith("DN" + delimiter):
            label, sep, value = lines[at].partition(": ")
            if sep:
                self.info[label] = value
            at += 1
        if at == len(lines):
            return
        self.columns = lines[at].split(delimiter)[:-1]
        at += 1
        while at < len(lines) and lines[at] != "":
            cells = lines[at].split(delimiter)
            self.rows.append(dict(zip(self.columns, cells[:-1])))
            at += 1
        for line in lines[at:]:
            label, sep, value = line.partition(": ")
            if sep:
                self.statistics[label] = value

    def dns(self):
        return [row["DN"] for row in self.rows]

    def row(self, dn):
        for row in self.rows:
            if row["DN"] == dn.lower():
                return row
        raise KeyError(dn)


class HtmlReport:
    """An html report: information table, column names and rows with their colour."""

    _DESCRIPTION = re.compile(r'<TR><TD class="description">(.*?)</TD>'
                              r'<TD class="descriptionValue">(.*?)</TD></TR>')
    _COLUMN = re.compile(r"<TD><CENTER><B>(.*?)</B></CENTER></TD>")
    _ROW = re.compile(r'<TR class="row">(.*?)</TR>')
    _CELL = re.compile(r"<TD NOWRAP><FONT COLOR=([A-Z]*)>(.*?)</TD>")

    def __init__(self, text):
        self.text = text
        self.info = dict(self._DESCRIPTION.findall(text))
        header = text.split('<TR class="header">', 1)[1].split("</TR>", 1)[0] \
            if '<TR class="header">' in text else ""
        self.columns = self._COLUMN.findall(header)
        self.rows = []
        for row in self._ROW.findall(text):
            cells = self._CELL.findall(row)
            colours = {colour for colour, _ in cells}
            values = [value for _, value in cells]
            self.rows.append({"colour": colours.pop() if len(colours) == 1 else colours,
                              "cells": dict(zip(self.columns, values)),
                              "closed_font": row.endswith("</FONT>")})

    def row(self, dn):
        for row in self.rows:
            if row["cells"].get("DN") == dn.lower():
                return row
        raise KeyError(dn)

    def dns(self):
        return [row["cells"].get("DN") for row in self.rows]
