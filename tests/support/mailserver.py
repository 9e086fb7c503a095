#!/usr/bin/python3
# A real SMTP server for the mail tests, on Debian's aiosmtpd: STARTTLS (required) or implicit TLS or neither on a
# certificate the test made, a login it sets, and refusals it asks for. Each accepted message becomes a file
# "message-N" in the records folder: "from ADDRESS", a "to ADDRESS" line per recipient, an empty line, then the data
# bytes as received. Every AUTH command, taken or not, adds a line to "auth-attempts" there. Prints "listening" once
# it listens.
import argparse
import asyncio
import itertools
import logging
import os
import ssl
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

options = argparse.ArgumentParser()
options.add_argument("--address", required=True)
options.add_argument("--port", type=int, required=True)
options.add_argument("--records", required=True)
options.add_argument("--tls", choices=["starttls", "implicit", "none"], default="starttls")
options.add_argument("--certificate")
options.add_argument("--key")
options.add_argument("--user")
options.add_argument("--password")
options.add_argument("--only-mechanism", help="offer this login mechanism alone (LOGIN or PLAIN)")
options.add_argument("--refuse-recipient", help="refused with 550")
options.add_argument("--refuse-marker", help="data holding it is refused with 554")
options.add_argument("--silent", action="store_true", help="take connections and never answer")
arguments = options.parse_args()
# aiosmtpd warns of a login offered without TLS, which is what the mode without TLS is for, and of its own
# deprecations; its errors still show.
warnings.simplefilter("ignore")
logging.getLogger("mail.log").setLevel(logging.ERROR)
# Started again on the same folder, it numbers on after what it took before.
numbers = itertools.count(1 + sum(name.startswith("message-") for name in os.listdir(arguments.records)))


class Recorder:
    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address == arguments.refuse_recipient:
            return "550 5.1.1 no such mailbox"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if arguments.refuse_marker and arguments.refuse_marker.encode() in envelope.content:
            return "554 5.6.0 message refused"
        lines = ["from " + envelope.mail_from] + ["to " + address for address in envelope.rcpt_tos]
        path = os.path.join(arguments.records, "message-%d" % next(numbers))
        with open(path + ".part", "wb") as record:
            record.write(("\n".join(lines) + "\n\n").encode() + envelope.content)
        os.rename(path + ".part", path)
        return "250 OK"


def authenticate(server, session, envelope, mechanism, data):
    good = isinstance(data, LoginPassword) and data.login.decode() == arguments.user \
        and data.password.decode() == arguments.password
    return AuthResult(success=good, handled=False)


class RecordingSMTP(SMTP):
    async def smtp_AUTH(self, arg):
        with open(os.path.join(arguments.records, "auth-attempts"), "a") as attempts:
            attempts.write("AUTH %s\n" % arg.split(" ")[0])
        await super().smtp_AUTH(arg)


def context():
    made = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    made.load_cert_chain(arguments.certificate, arguments.key)
    return made


def smtp():
    login = {}
    if arguments.user:
        others = [name for name in ("LOGIN", "PLAIN") if arguments.only_mechanism not in (None, name)]
        login = dict(auth_required=True, authenticator=authenticate, auth_exclude_mechanism=others)
    if arguments.tls == "starttls":
        return RecordingSMTP(Recorder(), tls_context=context(), require_starttls=True, **login)
    # Without TLS, AUTH is offered in clear all the same: a client that sent a password then would be caught.
    return RecordingSMTP(Recorder(), auth_require_tls=False, **login)


async def silence(reader, writer):
    await reader.read()


async def main():
    loop = asyncio.get_running_loop()
    if arguments.silent:
        server = await asyncio.start_server(silence, arguments.address, arguments.port)
    else:
        server = await loop.create_server(smtp, arguments.address, arguments.port,
                                          ssl=context() if arguments.tls == "implicit" else None)
    print("listening", flush=True)
    async with server:
        await server.serve_forever()


asyncio.run(main())
