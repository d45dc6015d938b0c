"""Reads back messages written by our MIME coders with Python's email package.

Usage: mime_peer.py DIR. Each subfolder of DIR is one case: message.eml and
the original texts in the system's code page (codepage.txt names it):
subject.orig, body.orig, and optionally name.orig (the display name of From
and To) with addr.txt for the To address. Prints "OK <case>" or
"FAIL <case>: ..." per case.
"""
import email
import email.policy
import email.utils
import os
import sys
import unicodedata


def original(case, name, codepage):
    with open(os.path.join(case, name), "rb") as f:
        text = f.read().decode(codepage)
    # Half-width katakana are sent full-width, with their sound marks joined.
    if codepage == "cp932":
        text = unicodedata.normalize("NFKC", text)
    return text.replace("\r\n", "\n")


def check(case):
    with open(os.path.join(case, "codepage.txt")) as f:
        codepage = f.read().strip()
    with open(os.path.join(case, "message.eml"), "rb") as f:
        raw = f.read()
    if any(b > 0x7F for b in raw) and codepage != "latin-1":
        return "8-bit bytes on the wire"
    if any(len(line) > 998 for line in raw.split(b"\r\n")):
        return "a line longer than 998 bytes on the wire"
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    plain_msg = email.message_from_bytes(raw, policy=email.policy.compat32)
    problems = []
    subject = str(msg["subject"])
    want = original(case, "subject.orig", codepage)
    if subject != want:
        problems.append("subject %r != %r" % (subject, want))
    payload = msg.get_payload(decode=True)
    body = payload.decode(msg.get_content_charset()).replace("\r\n", "\n")
    want = original(case, "body.orig", codepage)
    if body != want:
        problems.append("body %r != %r" % (body, want))
    if os.path.exists(os.path.join(case, "name.orig")):
        want = original(case, "name.orig", codepage)
        with open(os.path.join(case, "addr.txt")) as f:
            addr = f.read().strip()
        for field in ("from", "to"):
            addresses = msg[field].addresses
            # The plain address-list parser sees one mailbox too.
            plain = email.utils.getaddresses([plain_msg[field]])
            if len(addresses) != 1 or len(plain) != 1 or addresses[0].display_name != want:
                problems.append("%s %r, name %r" % (field, addresses, want))
        if msg["to"].addresses[0].addr_spec != addr:
            problems.append("address %r != %r" % (msg["to"].addresses[0].addr_spec, addr))
    for name, value in msg.items():
        if msg.policy.header_factory(name, value).defects:
            problems.append("defects in %s" % name)
    return "; ".join(problems)


def main():
    root = sys.argv[1]
    failed = 0
    for case in sorted(os.listdir(root)):
        try:
            problem = check(os.path.join(root, case))
        except Exception as e:  # a decoding error is a finding, not a crash
            problem = "%s: %s" % (type(e).__name__, e)
        if problem:
            failed += 1
            print("FAIL %s: %s" % (case, problem))
        else:
            print("OK %s" % case)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
