#!/usr/bin/python3
"""A mail server on loopback for the end-to-end tests: every mail it takes becomes a JSON file in --out
(envelope, decoded subject and body, whether the session was encrypted and who logged in). It writes
--out/ready once it listens, and runs until it is stopped."""

import argparse
import email
import json
import os
import signal
import ssl
import threading
from email import policy

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--tls", choices=["none", "starttls", "implicit"], default="none")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--login", help="user:password; without it the server offers no AUTH")
    parser.add_argument("--lax", action="store_true", help="offer AUTH on a connection in clear")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    context = None
    if args.tls != "none":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    class Handler:
        count = 0

        async def handle_DATA(self, server, session, envelope):
            message = email.message_from_bytes(envelope.original_content, policy=policy.default)
            Handler.count += 1
            record = {
                "mail_from": envelope.mail_from,
                "rcpt_tos": envelope.rcpt_tos,
                "from": str(message["from"]),
                "to": str(message["to"]),
                "subject": str(message["subject"]),
                "body": message.get_body(("plain",)).get_content().replace("\r\n", "\n"),
                "tls": args.tls == "implicit" or session.ssl is not None,
                "login": session.auth_data.login.decode() if session.authenticated else "",
            }
            path = os.path.join(args.out, "mail-%03d.json" % Handler.count)
            with open(path + ".part", "w") as file:
                json.dump(record, file)
            os.rename(path + ".part", path)
            return "250 OK"

    def authenticator(server, session, envelope, mechanism, auth_data):
        user, password = args.login.split(":", 1)
        good = isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user \
            and auth_data.password.decode() == password
        return AuthResult(success=good, handled=False, auth_data=auth_data)

    kwargs = {}
    if args.tls == "starttls":
        kwargs["tls_context"] = context
    if args.login:
        kwargs["authenticator"] = authenticator
        # aiosmtpd counts only STARTTLS as encryption; a connection that is TLS from the start is one too.
        kwargs["auth_require_tls"] = not args.lax and args.tls != "implicit"
    controller = Controller(Handler(), hostname="127.0.0.1", port=args.port,
                            ssl_context=context if args.tls == "implicit" else None, **kwargs)
    controller.start()
    open(os.path.join(args.out, "ready"), "w").close()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
