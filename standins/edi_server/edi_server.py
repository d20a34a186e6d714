#!/usr/bin/env python3
"""A local EDI server for the tests and the demo.

It serves the thirteen servlets of the EDI server on 127.0.0.1 from a folder
of canned answers, records every request, and can be told to fail. It speaks
the HTTP binding that the client documents in platform/http/http_connection.h:

  request   POST <anything>/servlets/<Servlet>, the request text as the body;
  answer    200, body "begin-base64 644 NAME" LF, base64 lines of 60
            characters each ended by CR LF, then "====";
            the name in Content-Disposition: attachment; filename="NAME";
  code      a server code without an answer file: 200 with the header
            X-EDI-Result-Code (used by the "code" fault below).

Canned answers (--answers DIR), one folder per servlet, read on every request:

  DIR/<Servlet>/NAME            served for every request as the file NAME;
  DIR/<Servlet>/NAME.tgz/       a folder whose name ends in ".tgz" is served
                                as a tar/gzip archive of its files (for example
                                answer.tgz/answer.xml, or an EDI data archive
                                with its index.csv and documents);
  DIR/<Servlet>/1/, 2/, ...     numbered steps: request k of that servlet gets
                                the one answer inside step folder k; after the
                                last step the servlet gives its default answer.
  DIR/<Servlet>/code-<code>/1/, 2/, ...
                                numbered steps of one information code: the
                                k-th request of the servlet whose request.xml
                                names Information-code <code> gets step k of
                                that folder, whatever came between (a pass
                                that ended early skips codes); after its last
                                step, the other answers.
  DIR/<Servlet>.fault           while it exists, every request of the servlet
                                fails as its lines say:
                                  status N      answer with HTTP status N
                                  delay MS      wait MS milliseconds first
                                                (times FAXGATE_TIME_SCALE)
                                  broken        a body that is no answer text
                                  truncate      a body shorter than announced
                                  close         close without any answer
                                  reset         reset the connection before
                                                reading the request's body
                                  banner TEXT   answer TEXT and a line end,
                                                no HTTP at all (a peer of
                                                another protocol), then close
                                  code CNNNN    X-EDI-Result-Code: CNNNN
                                  noname        no Content-Disposition
                                  name NAME     this download name instead
                                  generate N    the data file generated.dat
                                                of N bytes (byte i is i mod
                                                251), made while it goes out
                                                and never held whole, for
                                                answers of any size
                                  stall         with generate: send half of
                                                the answer, then nothing more
                                                until the client hangs up
                                  hold          no answer while the file still
                                                says "hold"; then the
                                                connection is closed
                                                unanswered

  DIR/<Servlet>/unconfirmed/<code>/NAME
                                answers a request of information code <code>
                                (its request.xml's Information-code) with the
                                first NAME, by name, whose receipt has not
                                been confirmed (a PutConfirm answered with
                                success whose ConfirmID is NAME up to its
                                first "."), as the EDI server offers an
                                archive until its receipt is confirmed; the
                                other answers when all are confirmed.

  DIR/GetFaxReminder/kept/NAME  reminder entries the server keeps until a
                                DelFaxReminder answered with success names
                                them (its FileList/FileName texts), as the
                                EDI server keeps its reminders: a reminder
                                fetch gets every entry still kept, in one
                                archive of a new name each time
                                ("R" and the fetch's number, ".tgz"); the
                                other answers when none is kept.

  With nothing canned, a servlet answers answer.tgz whose answer.xml holds
  /Answer/ErrCode "C0404" (nothing to fetch) for the fetching servlets and
  "C0000" for the sending ones (PutEdiData, PutMaker, PutConfirm,
  DelFaxReminder).

Recording (--record DIR): request n (from 1, over all servlets) is kept as
DIR/NNNN-<Servlet>.body (the body as received) and, when it decodes,
DIR/NNNN-<Servlet>.zip (the request archive); DIR/requests.log gets the line
"NNNN <Servlet> <path> <body bytes> decoded|undecodable". Both are written
before the answer goes out.

TLS (--tls-cert PEM --tls-key PEM, optionally --client-ca PEM to require a
client certificate). --make-certs DIR writes test certificates with openssl:
ca, server (127.0.0.1 and localhost), expired, wronghost, selfsigned, client
(each NAME.pem with NAME.key).

The server prints "PORT <n>" on standard output once it listens (on the
descriptor given with --port-fd N instead, which is then closed), and runs
until it is terminated (SIGTERM).

Command line:
  edi_server.py --answers DIR [--record DIR] [--port N] [--port-fd N]
                [--tls-cert PEM --tls-key PEM [--client-ca PEM]]
  edi_server.py --make-certs DIR
"""

import argparse
import base64
import io
import os
import re
import socket
import ssl
import struct
import subprocess
import sys
import tarfile
import threading
import time
import zipfile
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

SERVLETS = {
    "GetAmount": "Receive", "GetEdiData": "Receive", "GetMaker": "Receive",
    "PutEdiData": "Send", "PutMaker": "Send", "PutConfirm": "Send",
    "ReGetEdiData": "Receive", "GetFaxReminder": "Receive",
    "DelFaxReminder": "Send", "GetIndex": "Receive", "GetWebEdiData": "Receive",
    "GetFaxMaker": "Receive", "GetSupplierCode": "Receive",
}
PATH = re.compile(r"/servlets/([A-Za-z]+)$")


def answer_xml(code):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            "<Answer><ErrCode>%s</ErrCode></Answer>\n" % code).encode("ascii")


def tgz(members):
    """A tar/gzip archive of (name, bytes) pairs."""
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w:gz", format=tarfile.GNU_FORMAT) as tar:
        for name, data in members:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = int(time.time())
            info.mode = 0o644
            tar.addfile(info, io.BytesIO(data))
    return out.getvalue()


def tgz_folder(folder):
    members = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                members.append((os.path.relpath(path, folder), f.read()))
    return tgz(members)


def load_item(path):
    """(download name, bytes) of a canned file or .tgz folder."""
    name = os.path.basename(path)
    if os.path.isdir(path):
        return name, tgz_folder(path)
    with open(path, "rb") as f:
        return name, f.read()


def encode_answer(name, data):
    text = base64.b64encode(data)
    lines = [text[i:i + 60] + b"\r\n" for i in range(0, len(text), 60)]
    return b"begin-base64 644 " + name.encode("utf-8") + b"\n" + b"".join(lines) + b"===="


def decode_request(body):
    """The request archive of a request text, or None when it does not decode."""
    first = body.find(b"\n")
    end = body.rfind(b"====")
    if not body.startswith(b"begin-base64 644 request.zip\n") or first < 0 or end <= first:
        return None
    payload = body[first + 1:end]
    if payload and not payload.endswith(b"\r\n"):
        return None
    try:
        return base64.b64decode(payload.replace(b"\r\n", b""), validate=True)
    except ValueError:
        return None


def request_texts(body, element):
    """The texts of an element of the request.xml in a request text."""
    archive = decode_request(body)
    if archive is None:
        return []
    try:
        with zipfile.ZipFile(io.BytesIO(archive)) as z:
            xml = z.read("request.xml")
    except (zipfile.BadZipFile, KeyError):
        return []
    pattern = b"<" + element + b">([^<]*)</" + element + b">"
    return [m.decode("latin-1") for m in re.findall(pattern, xml)]


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, answers, record, context):
        super().__init__(address, Handler)
        self.answers = answers
        self.record = record
        self.context = context
        self.lock = threading.Lock()
        self.count = 0
        self.calls = {}
        self.code_calls = {}
        self.confirmed = set()
        self.reminders_deleted = set()

    def finish_request(self, request, client_address):
        # The handshake runs in the connection's own thread, so a client that
        # refuses the certificate never holds up the others.
        request.settimeout(30)
        if self.context is not None:
            try:
                request = self.context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                request.close()
                return
        try:
            self.RequestHandlerClass(request, client_address, self)
        finally:
            if self.context is not None:
                try:
                    request.close()
                except OSError:
                    pass

    def next_number(self, servlet):
        with self.lock:
            self.count += 1
            call = self.calls.get(servlet, 0)
            self.calls[servlet] = call + 1
            return self.count, call


class Handler(BaseHTTPRequestHandler):
    server_version = "faxgate-edi-standin"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.plain(405, b"POST only\n")

    def do_POST(self):
        match = PATH.search(self.path.split("?", 1)[0])
        length = int(self.headers.get("Content-Length") or 0)
        if not match or match.group(1) not in SERVLETS:
            if length > 0:
                self.rfile.read(length)
            self.plain(404, b"no such servlet\n")
            return
        servlet = match.group(1)
        number, call = self.server.next_number(servlet)

        faults = self.faults(servlet)
        kinds = {word for word, _ in faults}
        if "reset" in kinds:
            # An abortive close: the client, still sending its body, gets a reset.
            self.close_connection = True
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
            return
        body = self.rfile.read(length) if length > 0 else b""
        self.keep(number, servlet, body)

        if "hold" in kinds:
            self.hold(servlet)
            return
        for word, arg in faults:
            if word == "delay":
                scale = float(os.environ.get("FAXGATE_TIME_SCALE") or 1) or 1
                time.sleep(int(arg) / 1000.0 * scale)
        for word, arg in faults:
            if word == "banner":
                self.close_connection = True
                self.wfile.write(arg.encode("utf-8") + b"\r\n")
                self.wfile.flush()
                self.connection.shutdown(socket.SHUT_RDWR)
                return
        if "close" in kinds:
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        for word, arg in faults:
            if word == "status":
                self.plain(int(arg), b"server failure\n")
                return
            if word == "code":
                self.send_response(200)
                self.send_header("X-EDI-Result-Code", arg)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
        if "broken" in kinds:
            self.plain(200, b"this is not an answer", disposition="answer.tgz")
            return

        generated = [int(arg) for word, arg in faults if word == "generate"]
        name, data = ("generated.dat", b"") if generated else (
            self.unconfirmed(servlet, body) or self.code_step(servlet, body) or self.kept_reminders(servlet, number)
            or self.choose(servlet, call))
        if servlet == "PutConfirm":
            with self.server.lock:
                self.server.confirmed.update(request_texts(body, b"ConfirmID"))
        if servlet == "DelFaxReminder":
            with self.server.lock:
                self.server.reminders_deleted.update(request_texts(body, b"FileName"))
        for word, arg in faults:
            if word == "name":
                name = arg
        if generated:
            self.generate(name, generated[0], None if "noname" in kinds else name, "stall" in kinds)
            return
        text = encode_answer(name, data)
        if "truncate" in kinds:
            self.send_response(200)
            self.send_header("Content-Length", str(len(text)))
            self.send_header("Content-Disposition", self.disposition(name))
            self.end_headers()
            self.wfile.write(text[: len(text) // 2])
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        self.plain(200, text, disposition=None if "noname" in kinds else name)

    @staticmethod
    def disposition(name):
        quoted = name.replace("\\", "\\\\").replace('"', '\\"')
        # Header text goes out as latin-1; this keeps a UTF-8 name's bytes.
        return 'attachment; filename="%s"' % quoted.encode("utf-8").decode("latin-1")

    def plain(self, status, data, disposition=None):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=us-ascii")
        self.send_header("Content-Length", str(len(data)))
        if disposition is not None:
            self.send_header("Content-Disposition", self.disposition(disposition))
        self.end_headers()
        self.wfile.write(data)

    def generate(self, name, size, disposition, stall):
        """Streams the answer text of `size` generated bytes."""
        # Whole lines of whole groups, each block starting at a multiple of 251.
        block = bytes(i % 251 for i in range(45 * 251 * 16))
        lines = encode_answer(name, block)
        head = b"begin-base64 644 " + name.encode("utf-8") + b"\n"
        body = lines[len(head):-4]
        whole, rest = divmod(size, len(block))
        tail = encode_answer(name, block[:rest])[len(head):-4]
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=us-ascii")
        self.send_header("Content-Length", str(len(head) + whole * len(body) + len(tail) + 4))
        if disposition is not None:
            self.send_header("Content-Disposition", self.disposition(disposition))
        self.end_headers()
        self.close_connection = True
        try:
            self.wfile.write(head)
            if stall:
                for _ in range(max(1, whole // 2)):
                    self.wfile.write(body)
                self.wfile.flush()
                self.hold()
                return
            for _ in range(whole):
                self.wfile.write(body)
            self.wfile.write(tail + b"====")
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client refused the rest

    def hold(self):
        """Waits (ten minutes at most) until the client hangs up."""
        deadline = time.monotonic() + 600
        while time.monotonic() < deadline:
            try:
                if not self.connection.recv(4096):
                    return
            except socket.timeout:
                continue
            except OSError:
                return

    def keep(self, number, servlet, body):
        folder = self.server.record
        if not folder:
            return
        stem = os.path.join(folder, "%04d-%s" % (number, servlet))
        with open(stem + ".body", "wb") as f:
            f.write(body)
        archive = decode_request(body)
        if archive is not None:
            with open(stem + ".zip", "wb") as f:
                f.write(archive)
        with self.server.lock, open(os.path.join(folder, "requests.log"), "a") as f:
            f.write("%04d %s %s %d %s\n" % (number, servlet, self.path, len(body),
                                           "decoded" if archive is not None else "undecodable"))

    def hold(self, servlet):
        while any(word == "hold" for word, _ in self.faults(servlet)):
            time.sleep(0.05)
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def unconfirmed(self, servlet, body):
        codes = request_texts(body, b"Information-code")
        if not codes:
            return None
        folder = os.path.join(self.server.answers, servlet, "unconfirmed", codes[0])
        try:
            names = sorted(e for e in os.listdir(folder) if not e.startswith("."))
        except OSError:
            return None
        with self.server.lock:
            waiting = [n for n in names if n.split(".", 1)[0] not in self.server.confirmed]
        return load_item(os.path.join(folder, waiting[0])) if waiting else None

    def code_step(self, servlet, body):
        codes = request_texts(body, b"Information-code")
        if not codes:
            return None
        folder = os.path.join(self.server.answers, servlet, "code-" + codes[0])
        if not os.path.isdir(folder):
            return None
        with self.server.lock:
            call = self.server.code_calls.get((servlet, codes[0]), 0)
            self.server.code_calls[(servlet, codes[0])] = call + 1
        step = os.path.join(folder, str(call + 1))
        try:
            inside = sorted(e for e in os.listdir(step) if not e.startswith("."))
        except OSError:
            return None
        return load_item(os.path.join(step, inside[0])) if inside else None

    def kept_reminders(self, servlet, number):
        if servlet != "GetFaxReminder":
            return None
        folder = os.path.join(self.server.answers, servlet, "kept")
        try:
            names = sorted(e for e in os.listdir(folder) if not e.startswith("."))
        except OSError:
            return None
        with self.server.lock:
            waiting = [n for n in names if n not in self.server.reminders_deleted]
        if not waiting:
            return None
        members = []
        for name in waiting:
            with open(os.path.join(folder, name), "rb") as f:
                members.append((name, f.read()))
        return "R%04d.tgz" % number, tgz(members)

    def faults(self, servlet):
        path = os.path.join(self.server.answers, servlet + ".fault")
        try:
            with open(path, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except OSError:
            return []
        out = []
        for line in lines:
            parts = line.strip().split(None, 1)
            if parts:
                out.append((parts[0], parts[1].strip() if len(parts) > 1 else ""))
        return out

    def choose(self, servlet, call):
        folder = os.path.join(self.server.answers, servlet)
        default = ("answer.tgz", tgz([("answer.xml", answer_xml(
            "C0404" if SERVLETS[servlet] == "Receive" else "C0000"))]))
        try:
            entries = sorted(os.listdir(folder))
        except OSError:
            return default
        steps = sorted((e for e in entries if e.isdigit()), key=int)
        if steps:
            if call >= len(steps):
                return default
            inside = sorted(e for e in os.listdir(os.path.join(folder, steps[call])) if not e.startswith("."))
            if not inside:
                return default
            return load_item(os.path.join(folder, steps[call], inside[0]))
        # The folders of the answers kept until confirmed, and those of one
        # code's steps, are no answers.
        items = [e for e in entries
                 if not e.startswith(".") and not e.startswith("code-") and e not in ("unconfirmed", "kept")]
        if not items:
            return default
        return load_item(os.path.join(folder, items[0]))


def openssl(*args):
    subprocess.run(("openssl",) + args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certs(folder):
    os.makedirs(folder, exist_ok=True)
    p = lambda name: os.path.join(folder, name)
    ec = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes")
    openssl("req", "-x509", *ec, "-keyout", p("ca.key"), "-out", p("ca.pem"), "-days", "3650",
            "-subj", "/CN=faxgate test CA")

    def signed(name, cn, san, days, serial, usage="serverAuth"):
        with open(p(name + ".ext"), "w") as f:
            f.write("subjectAltName=%s\nextendedKeyUsage=%s\n" % (san, usage))
        openssl("req", "-new", *ec, "-keyout", p(name + ".key"), "-out", p(name + ".csr"), "-subj", "/CN=" + cn)
        openssl("x509", "-req", "-in", p(name + ".csr"), "-CA", p("ca.pem"), "-CAkey", p("ca.key"),
                "-set_serial", str(serial), "-days", days,
                "-extfile", p(name + ".ext"), "-out", p(name + ".pem"))
        os.remove(p(name + ".csr"))
        os.remove(p(name + ".ext"))

    signed("server", "127.0.0.1", "IP:127.0.0.1,DNS:localhost", "3650", 2)
    # -days -1 ends the validity a day before it begins: expired from the start.
    signed("expired", "127.0.0.1", "IP:127.0.0.1,DNS:localhost", "-1", 3)
    signed("wronghost", "wrong-host.invalid", "DNS:wrong-host.invalid", "3650", 4)
    signed("client", "faxgate client", "DNS:faxgate-client.invalid", "3650", 5, usage="clientAuth")
    openssl("req", "-x509", *ec, "-keyout", p("selfsigned.key"), "-out", p("selfsigned.pem"), "-days", "3650",
            "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost")


def main():
    parser = argparse.ArgumentParser(description="Local EDI server for tests and the demo.")
    parser.add_argument("--answers", help="folder of canned answers")
    parser.add_argument("--record", help="folder that keeps every request")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-fd", type=int, help="also write the PORT line to this descriptor")
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--client-ca")
    parser.add_argument("--make-certs", metavar="DIR")
    args = parser.parse_args()

    if args.make_certs:
        make_certs(args.make_certs)
        return 0
    if not args.answers:
        parser.error("--answers is required")
    context = None
    if args.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert, args.tls_key)
        if args.client_ca:
            context.verify_mode = ssl.CERT_REQUIRED
            context.load_verify_locations(args.client_ca)
    if args.record:
        os.makedirs(args.record, exist_ok=True)
    server = Server(("127.0.0.1", args.port), os.path.abspath(args.answers), args.record, context)
    line = "PORT %d" % server.server_address[1]
    if args.port_fd is not None:
        with os.fdopen(args.port_fd, "w") as f:
            f.write(line + "\n")
    else:
        print(line, flush=True)
    try:
        server.serve_forever(poll_interval=0.05)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
