"""A loopback SMTP server for the mail tests (aiosmtpd).

Usage: smtp_server.py OUTDIR [--user U --password P] [--cert C --key K
                       --tls starttls|implicit] [--host H] [--port N]
                       [--refuse ADDRESS] [--hold ADDRESS]
Listens on 127.0.0.1 (or H, another loopback address) on a free port unless
given, and prints "PORT <n>". With a user, AUTH (LOGIN, PLAIN and CRAM-MD5)
is required. RCPT TO the refused address is answered with 550; RCPT TO the
held address is answered once the file OUTDIR/release exists (which is then
removed), so that a test can act while the client waits. With --tls
starttls the server requires STARTTLS before anything else; with implicit
it speaks TLS from the first byte. Each message N is stored as
N.eml (as received), N.envelope (sender, then recipients, one a line),
N.subject and N.body (decoded, UTF-8), N.att<k> (decoded attachment k) and
N.names (decoded attachment file names, UTF-8, one a line); N.done is
written last. With --discard only N.size and N.done are written.
"""
import argparse
import asyncio
import email
import email.header
import email.policy
import hmac
import os
import ssl
import sys
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def decoded(value):
    return str(email.header.make_header(email.header.decode_header(value)))


class Handler:
    def __init__(self, outdir, user, password, discard, refuse, hold):
        self.outdir, self.user, self.password = outdir, user, password
        self.discard, self.refuse, self.hold = discard, refuse, hold
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.refuse and address.lower() == self.refuse.lower():
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        if self.hold and address.lower() == self.hold.lower():
            release = os.path.join(self.outdir, "release")
            deadline = time.monotonic() + 300
            while not os.path.exists(release):
                if time.monotonic() > deadline:
                    return "451 4.3.0 never released"
                await asyncio.sleep(0.05)
            os.remove(release)
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def auth_CRAM__MD5(self, server, args):  # "__" names the "-"
        challenge = ("<%d.%d@loopback>" % (os.getpid(), id(server))).encode()
        answer = await server.challenge_auth(challenge)
        if not isinstance(answer, bytes) or b" " not in answer:
            return AuthResult(success=False, handled=False)
        login, digest = answer.rsplit(b" ", 1)
        want = hmac.new(self.password.encode(), challenge, "md5").hexdigest().encode()
        ok = login.decode() == self.user and hmac.compare_digest(digest, want)
        return AuthResult(success=ok, handled=False, auth_data=login)

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        if mechanism == "CRAM-MD5":
            return AuthResult(success=True)  # checked in auth_CRAM_MD5
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login.decode() == self.user
              and auth_data.password.decode() == self.password)
        return AuthResult(success=ok, handled=False)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.outdir, str(self.count))
        raw = envelope.original_content
        if self.discard:  # benchmarks: the size is enough
            with open(base + ".size", "w") as f:
                f.write(str(len(raw)))
            open(base + ".done", "w").close()
            return "250 Message accepted for delivery"
        with open(base + ".eml", "wb") as f:
            f.write(raw)
        with open(base + ".envelope", "w") as f:
            f.write("\n".join([envelope.mail_from] + envelope.rcpt_tos) + "\n")
        msg = email.message_from_bytes(raw, policy=email.policy.compat32)
        with open(base + ".subject", "w", encoding="utf-8") as f:
            f.write(decoded(msg["Subject"]))
        names, k = [], 0
        body = ""
        for part in msg.walk():
            if part.is_multipart():
                continue
            payload = part.get_payload(decode=True)
            if part.get_content_maintype() == "text" and not part.get_filename():
                body += payload.decode(part.get_content_charset())
                continue
            k += 1
            with open("%s.att%d" % (base, k), "wb") as f:
                f.write(payload)
            names.append(decoded(part.get_filename()))
        with open(base + ".body", "w", encoding="utf-8", newline="") as f:
            f.write(body)
        with open(base + ".names", "w", encoding="utf-8") as f:
            f.write("".join(n + "\n" for n in names))
        open(base + ".done", "w").close()
        return "250 Message accepted for delivery"


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("outdir")
    ap.add_argument("--user")
    ap.add_argument("--password", default="")
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ap.add_argument("--tls", choices=["starttls", "implicit"])
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--refuse", help="a recipient address answered with 550")
    ap.add_argument("--hold", help="a recipient address answered once OUTDIR/release exists")
    ap.add_argument("--discard", action="store_true", help="keep only N.size and N.done")
    a = ap.parse_args()
    handler = Handler(a.outdir, a.user, a.password, a.discard, a.refuse, a.hold)
    kwargs = dict(decode_data=False, auth_require_tls=False, enable_SMTPUTF8=False,
                  data_size_limit=512 * 1024 * 1024)
    if a.user:
        kwargs.update(auth_required=True, authenticator=handler.authenticate)
    context = None
    if a.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.cert, a.key)
    if a.tls == "starttls":
        kwargs.update(tls_context=context, require_starttls=True)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: SMTP(handler, hostname="loopback", **kwargs),
                                      a.host, a.port,
                                      ssl=context if a.tls == "implicit" else None)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
