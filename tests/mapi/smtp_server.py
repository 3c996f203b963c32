"""A local SMTP server for the mail library's tests (run under /usr/bin/python3 for aiosmtpd).

Listens on 127.0.0.1 at a free port and prints "READY <port>". Each message is stored in the
spool folder as <n>.env (MAIL FROM, then one RCPT TO per line) and <n>.eml (the data as received).
  --tls CERT KEY   offer STARTTLS (required before AUTH) with this certificate
  --smtps          implicit TLS on connect instead (needs --tls)
  --auth USER:PASS require this login before MAIL
  --reject ADDR    refuse this recipient with 550
"""
import argparse
import logging
import socket
import ssl
import sys
import threading
import time
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Handler:
    def __init__(self, spool, reject):
        self.spool = spool
        self.reject = reject
        self.count = 0
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.reject:
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        with open(f"{self.spool}/{n}.eml", "wb") as f:
            f.write(envelope.original_content)
        with open(f"{self.spool}/{n}.env", "w") as f:
            f.write(envelope.mail_from + "\n" + "".join(r + "\n" for r in envelope.rcpt_tos))
        return "250 Message accepted"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--spool", required=True)
    p.add_argument("--tls", nargs=2)
    p.add_argument("--smtps", action="store_true")
    p.add_argument("--auth")
    p.add_argument("--reject", action="append", default=[])
    a = p.parse_args()
    # Refused handshakes and logins are part of the tests; keep their tracebacks out of the output.
    logging.disable(logging.CRITICAL)
    warnings.filterwarnings("ignore")

    context = None
    if a.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.tls[0], a.tls[1])

    kwargs = {}
    if a.auth:
        user, password = a.auth.split(":", 1)

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user \
                and auth_data.password.decode() == password
            return AuthResult(success=ok, handled=False)

        kwargs.update(authenticator=authenticator, auth_required=True,
                      auth_require_tls=not a.smtps)
    if context is not None and not a.smtps:
        kwargs.update(tls_context=context, require_starttls=True)
    if a.smtps:
        kwargs.update(ssl_context=context)

    port = free_port()
    controller = Controller(Handler(a.spool, set(a.reject)), hostname="127.0.0.1", port=port,
                            data_size_limit=64 * 1024 * 1024, server_hostname="localhost", **kwargs)
    controller.start()
    print(f"READY {port}", flush=True)
    try:
        sys.stdin.read()  # ends when the test closes our input or kills us
        while True:
            time.sleep(3600)
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
