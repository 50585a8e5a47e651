"""Loopback SMTP server for the mail tests (Debian's aiosmtpd; run with /usr/bin/python3).

Listens on 127.0.0.1 on a free port and prints "PORT <n>" once it accepts connections.
Offers AUTH LOGIN and PLAIN without TLS; --require-auth refuses mail from sessions that did not
log on. Every accepted message is written, before the server answers the end of DATA, to
<out>/msg-<k>.json: connection number, envelope, log-on, the raw message (bytes as Latin-1) and
the message as Python's mail parser reads it (decoded headers, body, defects).
Recipients in the domain reject.test are refused with 550.

Stops when its standard input closes (the test ends or dies) or after --lifetime seconds.
"""
import argparse
import asyncio
import json
import os
import sys
from email import message_from_bytes, policy

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--user", default="monitor")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--require-auth", action="store_true")
    parser.add_argument("--lifetime", type=float, default=120.0)
    args = parser.parse_args()
    counts = {"connections": 0, "messages": 0}

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == args.user.encode()
              and auth_data.password == args.password.encode())
        if ok:
            session.kivra_login = auth_data.login.decode()
            session.kivra_mechanism = mechanism
        return AuthResult(success=ok, handled=False)

    class Handler:
        async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
            if address.lower().endswith("@reject.test"):
                return "550 5.1.1 Mailbox unavailable: " + address
            envelope.rcpt_tos.append(address)
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            counts["messages"] += 1
            record = {
                "connection": server.kivra_connection,
                "mail_from": envelope.mail_from,
                "rcpt_tos": envelope.rcpt_tos,
                "authenticated": bool(session.authenticated),
                "login": getattr(session, "kivra_login", ""),
                "mechanism": getattr(session, "kivra_mechanism", ""),
                "ehlo": session.host_name or "",
                "data": envelope.original_content.decode("latin-1"),
            }
            # Python's own mail parser reads the message too: decoded headers and body, and
            # whatever it found malformed.
            try:
                parsed = message_from_bytes(envelope.original_content, policy=policy.default)
                record["headers"] = [[k, str(v)] for k, v in parsed.items()]
                record["body"] = parsed.get_content().replace("\r\n", "\n")
                record["defects"] = [type(d).__name__ for d in parsed.defects]
            except Exception as error:  # a message the parser cannot read fails the test
                record["parse_error"] = repr(error)
            path = os.path.join(args.out, "msg-%d.json" % counts["messages"])
            with open(path + ".tmp", "w", encoding="utf-8") as f:
                json.dump(record, f)
            os.rename(path + ".tmp", path)
            return "250 Message accepted"

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def factory():
        counts["connections"] += 1
        smtp = SMTP(Handler(), hostname="kivra-test.localdomain",
                    authenticator=authenticator, auth_require_tls=False,
                    auth_required=args.require_auth, loop=loop)
        smtp.kivra_connection = counts["connections"]
        return smtp

    server = loop.run_until_complete(
        loop.create_server(factory, host="127.0.0.1", port=0))
    port = server.sockets[0].getsockname()[1]

    def on_input():
        if not os.read(sys.stdin.fileno(), 4096):
            loop.stop()

    loop.add_reader(sys.stdin.fileno(), on_input)
    loop.call_later(args.lifetime, loop.stop)
    print("PORT %d" % port, flush=True)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
