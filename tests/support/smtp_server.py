#!/usr/bin/python3
"""A mail server on loopback for the end-to-end tests. Every mail it takes becomes a file mail-N.txt in
--out: lines "from=", "to=", "subject=" (decoded), "tls=0|1", "login=", a blank line and the decoded body.
It writes --out/ready once it listens, and runs until SIGTERM."""

import argparse
import email
import os
import signal
import ssl
import threading
from email import policy

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

parser = argparse.ArgumentParser()
parser.add_argument("--port", type=int, required=True)
parser.add_argument("--out", required=True)
parser.add_argument("--tls", choices=["none", "starttls", "implicit"], default="none")
parser.add_argument("--cert")
parser.add_argument("--key")
parser.add_argument("--login", help="user:password; without it the server offers no AUTH")
parser.add_argument("--lax", action="store_true", help="offer AUTH on a connection in clear")
args = parser.parse_args()


class Handler:
    count = 0

    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.original_content, policy=policy.default)
        Handler.count += 1
        login = session.auth_data.login.decode() if session.authenticated else ""
        tls = args.tls == "implicit" or session.ssl is not None
        body = message.get_body(("plain",)).get_content().replace("\r\n", "\n")
        path = os.path.join(args.out, "mail-%03d.txt" % Handler.count)
        with open(path + ".part", "w") as file:
            file.write("from=%s\nto=%s\nsubject=%s\ntls=%d\nlogin=%s\n\n%s" % (
                envelope.mail_from, ",".join(envelope.rcpt_tos), message["subject"], tls, login, body))
        os.rename(path + ".part", path)
        return "250 OK"


def authenticator(server, session, envelope, mechanism, auth_data):
    good = isinstance(auth_data, LoginPassword) and \
        auth_data.login.decode() + ":" + auth_data.password.decode() == args.login
    return AuthResult(success=good, handled=False, auth_data=auth_data)


context = None
if args.tls != "none":
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
options = {"tls_context": context} if args.tls == "starttls" else {}
if args.login:
    # aiosmtpd counts only STARTTLS as encryption; a connection that is TLS from the start is one too.
    options.update(authenticator=authenticator, auth_require_tls=not args.lax and args.tls != "implicit")
controller = Controller(Handler(), hostname="127.0.0.1", port=args.port,
                        ssl_context=context if args.tls == "implicit" else None, **options)
controller.start()
open(os.path.join(args.out, "ready"), "w").close()
stop = threading.Event()
signal.signal(signal.SIGTERM, lambda *_: stop.set())
stop.wait()
controller.stop()
