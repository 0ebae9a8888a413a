# SPDX-License-Identifier: Apache-2.0
"""A small LDAP v3 server that misbehaves on purpose, for the faults a real directory will not
produce on request: paging without end, the same entry again and again, odd flag words,
a search cut off in the middle of a page, writes that get no answer, a connection that drops.

It speaks the real protocol (BER written and read by hand, enough of it for what tavrel
sends) on a Unix socket, so the client library under test does everything it does against
a real server: the SASL EXTERNAL bind, the root entry, paged searches with their cookies,
modify, delete and modify-DN requests. Every request is recorded.

    from scripted_ldap import ScriptedLdap, Page
    with ScriptedLdap(pages=lambda n, cookie, size: Page([entry], cookie=b"c")) as server:
        ... run tavrel with -h server.uri ...
        server.writes_per_dn()      # {"cn=pc1,...": 1}

`pages(n, cookie, size)` answers the n-th page request (0-based) of the paged search;
`write(n, op, dn)` answers the n-th write (op "modify", "delete" or "moddn") with a result
code, SILENT (never answered) or DROP (the connection is closed instead of an answer).
"""

import os
import socket
import socketserver
import tempfile
import threading
import urllib.parse

SILENT = "silent"
DROP = "drop"

PAGED_RESULTS_OID = b"1.2.840.113556.1.4.319"

# Protocol operation tags (RFC 4511).
BIND_REQUEST, BIND_RESPONSE = 0x60, 0x61
UNBIND_REQUEST = 0x42
SEARCH_REQUEST, SEARCH_ENTRY, SEARCH_DONE = 0x63, 0x64, 0x65
MODIFY_REQUEST, MODIFY_RESPONSE = 0x66, 0x67
DELETE_REQUEST, DELETE_RESPONSE = 0x4A, 0x6B
MODDN_REQUEST, MODDN_RESPONSE = 0x6C, 0x6D
ABANDON_REQUEST = 0x50
EXTENDED_REQUEST = 0x77

WRITE_RESPONSES = {MODIFY_REQUEST: ("modify", MODIFY_RESPONSE),
                   DELETE_REQUEST: ("delete", DELETE_RESPONSE),
                   MODDN_REQUEST: ("moddn", MODDN_RESPONSE)}

SUFFIX = "DC=scripted,DC=test"
HOST = "dc1.scripted.test"


# ---------------------------------------------------------------------------------------
# BER

def _length(n):
    if n < 0x80:
        return bytes([n])
    body = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def tlv(tag, body):
    return bytes([tag]) + _length(len(body)) + body


def integer(value, tag=0x02):
    return tlv(tag, value.to_bytes(max(1, (value.bit_length() + 8) // 8), "big", signed=True))


def octets(value, tag=0x04):
    return tlv(tag, value.encode() if isinstance(value, str) else value)


def sequence(*items, tag=0x30):
    return tlv(tag, b"".join(items))


def read_tlv(data, at=0):
    """(tag, body, next offset) of the element at `at`."""
    tag = data[at]
    n = data[at + 1]
    at += 2
    if n & 0x80:
        count = n & 0x7F
        n = int.from_bytes(data[at:at + count], "big")
        at += count
    return tag, data[at:at + n], at + n


def elements(body):
    """The (tag, body) pairs of a constructed element's body."""
    items, at = [], 0
    while at < len(body):
        tag, value, at = read_tlv(body, at)
        items.append((tag, value))
    return items


def as_int(body):
    return int.from_bytes(body, "big", signed=True) if body else 0


# ---------------------------------------------------------------------------------------
# Responses

def ldap_result(code=0, matched="", message=""):
    return integer(code, 0x0A) + octets(matched) + octets(message)


def message(message_id, op, controls=b""):
    return sequence(integer(message_id), op, controls)


def search_entry(dn, attributes):
    """`attributes`: list of (name, [values]) in the order they are sent."""
    attrs = b"".join(sequence(octets(name), sequence(*(octets(v) for v in values), tag=0x31))
                     for name, values in attributes)
    return sequence(octets(dn), sequence(attrs), tag=SEARCH_ENTRY)


def paged_control(cookie):
    value = sequence(integer(0), octets(cookie))
    return sequence(sequence(octets(PAGED_RESULTS_OID), octets(value)), tag=0xA0)


class Page:
    """One answer to a page request: `entries` as (dn, [(name, [values])]); `cookie` for the
    next page (b"" ends the search); `cut` closes the connection after the entries instead
    of finishing the page."""

    def __init__(self, entries, cookie=b"", cut=False, code=0):
        self.entries = entries
        self.cookie = cookie
        self.cut = cut
        self.code = code


# The schema the server names: it defines no security descriptors, so the run reads none.
SCHEMA_DN = "CN=Aggregate"
SCHEMA_ENTRY = (SCHEMA_DN, [("objectClass", ["subSchema"]),
                            ("attributeTypes", ["( 2.5.4.3 NAME 'cn' )"])])


def root_entry(domain_level="2"):
    return ("", [("defaultNamingContext", [SUFFIX]),
                 ("rootDomainNamingContext", [SUFFIX]),
                 ("dnsHostName", [HOST]),
                 ("subschemaSubentry", [SCHEMA_DN]),
                 ("domainFunctionality", [domain_level]),
                 ("forestFunctionality", [domain_level]),
                 ("supportedCapabilities", ["1.2.840.113556.1.4.800",
                                            "1.2.840.113556.1.4.1670",
                                            "1.2.840.113556.1.4.1791"]),
                 ("supportedSASLMechanisms", ["EXTERNAL"]),
                 ("supportedLDAPVersion", ["3"])])


def computer(name, uac="4096", parent="OU=Old," + SUFFIX, extra=()):
    """A stale computer entry; `uac` None leaves userAccountControl out, a list sends
    several values, a (name, value) pair sends it under another spelling."""
    attributes = [("cn", [name]), ("sAMAccountName", [name + "$"]),
                  ("pwdLastSet", ["127000000000000000"]),
                  ("lastLogonTimestamp", ["127000000000000000"]),
                  ("whenCreated", ["20000101000000.0Z"])]
    if isinstance(uac, tuple):
        attributes.append((uac[0], [uac[1]]))
    elif isinstance(uac, list):
        attributes.append(("userAccountControl", uac))
    elif uac is not None:
        attributes.append(("userAccountControl", [uac]))
    attributes.extend(extra)
    return ("CN=%s,%s" % (name, parent), attributes)


# ---------------------------------------------------------------------------------------
# Server

class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        server = self.server.scripted
        sock = self.request
        buffer = b""
        try:
            while True:
                while True:
                    if len(buffer) >= 2:
                        try:
                            _, _, end = read_tlv(buffer)
                        except IndexError:
                            end = None
                        if end is not None and end <= len(buffer):
                            break
                    chunk = sock.recv(65536)
                    if not chunk:
                        return
                    buffer += chunk
                _, body, end = read_tlv(buffer)
                buffer = buffer[end:]
                if not server._serve(sock, elements(body)):
                    return
        except (ConnectionError, OSError):
            return
        finally:
            server._closed(sock)


class _UnixServer(socketserver.ThreadingMixIn, socketserver.UnixStreamServer):
    daemon_threads = True
    allow_reuse_address = True


class _TcpServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


class ScriptedLdap:
    def __init__(self, pages=None, write=None, root=None, base_entries=None, tcp=False):
        self.pages = pages or (lambda n, cookie, size: Page([]))
        self.write = write or (lambda n, op, dn: 0)
        self.root = root or root_entry()
        self.base_entries = {SCHEMA_DN.lower(): SCHEMA_ENTRY, **(base_entries or {})}
        self.received = []     # one dict per request, in arrival order
        self.page_requests = 0
        self.writes = 0
        self._lock = threading.Lock()
        self._silent = []      # sockets holding an unanswered write
        self._folder = tempfile.mkdtemp(prefix="tav-sl-")
        self.socket_path = os.path.join(self._folder, "s")
        # With `tcp`, plain ldap:// on a free loopback port instead of the socket.
        self._tcp = tcp
        if tcp:
            self._server = _TcpServer(("127.0.0.1", 0), _Handler)
        else:
            self._server = _UnixServer(self.socket_path, _Handler)
        self._server.scripted = self
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)

    @property
    def uri(self):
        if self._tcp:
            return "ldap://127.0.0.1:%d/" % self._server.server_address[1]
        return "ldapi://" + urllib.parse.quote(self.socket_path, safe="") + "/"

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._server.shutdown()
        self._server.server_close()
        for sock in self._silent:
            try:
                sock.close()
            except OSError:
                pass
        try:
            if not self._tcp:
                os.unlink(self.socket_path)
            os.rmdir(self._folder)
        except OSError:
            pass

    # Queries for the tests ------------------------------------------------------------

    def requests(self, op):
        return [r for r in self.received if r["op"] == op]

    def writes_per_dn(self):
        counts = {}
        for r in self.received:
            if r["op"] in ("modify", "delete", "moddn"):
                counts[r["dn"]] = counts.get(r["dn"], 0) + 1
        return counts

    # Protocol ------------------------------------------------------------------------

    def _record(self, **request):
        with self._lock:
            self.received.append(request)

    def _closed(self, sock):
        self._record(op="closed")

    def _serve(self, sock, parts):
        """Answers one message; False ends the connection."""
        message_id = as_int(parts[0][1])
        tag, body = parts[1]
        controls = parts[2][1] if len(parts) > 2 and parts[2][0] == 0xA0 else b""
        if tag == BIND_REQUEST:
            fields = elements(body)
            mechanism = elements(fields[2][1])[0][1].decode() if fields[2][0] == 0xA3 else "simple"
            self._record(op="bind", mechanism=mechanism)
            sock.sendall(message(message_id, sequence(ldap_result(0), tag=BIND_RESPONSE)))
        elif tag == UNBIND_REQUEST:
            self._record(op="unbind")
            return False
        elif tag == ABANDON_REQUEST:
            self._record(op="abandon", id=as_int(body))
        elif tag == SEARCH_REQUEST:
            return self._search(sock, message_id, elements(body), controls)
        elif tag in WRITE_RESPONSES:
            return self._write(sock, message_id, tag, body)
        elif tag == EXTENDED_REQUEST:
            self._record(op="extended")
            sock.sendall(message(message_id, sequence(ldap_result(2), tag=0x78)))
        else:
            self._record(op="unknown", tag=tag)
        return True

    def _search(self, sock, message_id, fields, controls):
        base = fields[0][1].decode("utf-8", "replace")
        scope = as_int(fields[1][1])
        paging = None
        for _, control in elements(controls):
            items = elements(control)
            if items[0][1] == PAGED_RESULTS_OID:
                size, cookie = elements(read_tlv(items[-1][1])[1])
                paging = (as_int(size[1]), cookie[1])
        if paging is None:
            # A plain search: the root entry, or a base read of one object (before a move).
            self._record(op="search", base=base, scope=scope)
            found = [self.root] if base == "" else (
                [self.base_entries[base.lower()]] if base.lower() in self.base_entries else [])
            for dn, attributes in found:
                sock.sendall(message(message_id, search_entry(dn, attributes)))
            code = 0 if found or base == "" else 32
            sock.sendall(message(message_id, sequence(ldap_result(code), tag=SEARCH_DONE)))
            return True
        size, cookie = paging
        if size == 0:
            # The client gives the search up.
            self._record(op="page-abandon", base=base, cookie=cookie)
            sock.sendall(message(message_id, sequence(ldap_result(0), tag=SEARCH_DONE),
                                 paged_control(b"")))
            return True
        with self._lock:
            n = self.page_requests
            self.page_requests += 1
        self._record(op="page", base=base, scope=scope, size=size, cookie=cookie, n=n)
        page = self.pages(n, cookie, size)
        out = b"".join(message(message_id, search_entry(dn, attributes))
                       for dn, attributes in page.entries)
        if page.cut:
            sock.sendall(out)
            sock.shutdown(socket.SHUT_RDWR)
            return False
        sock.sendall(out + message(message_id, sequence(ldap_result(page.code), tag=SEARCH_DONE),
                                   paged_control(page.cookie)))
        return True

    def _write(self, sock, message_id, tag, body):
        op, response = WRITE_RESPONSES[tag]
        if tag == DELETE_REQUEST:
            dn, detail = body.decode("utf-8", "replace"), {}
        else:
            fields = elements(body)
            dn = fields[0][1].decode("utf-8", "replace")
            if op == "modify":
                change = elements(elements(fields[1][1])[0][1])
                attribute = elements(change[1][1])
                detail = {"attribute": attribute[0][1].decode(),
                          "values": [v.decode() for _, v in elements(attribute[1][1])]}
            else:
                detail = {"newrdn": fields[1][1].decode(),
                          "parent": fields[3][1].decode() if len(fields) > 3 else None}
        with self._lock:
            n = self.writes
            self.writes += 1
        answer = self.write(n, op, dn)
        self._record(op=op, dn=dn, n=n, answer=answer, **detail)
        if answer == SILENT:
            with self._lock:
                self._silent.append(sock)
            return True
        if answer == DROP:
            sock.shutdown(socket.SHUT_RDWR)
            return False
        sock.sendall(message(message_id, sequence(ldap_result(answer), tag=response)))
        return True
