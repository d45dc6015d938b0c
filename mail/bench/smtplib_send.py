"""The peer of the mail benchmark: Python's email and smtplib send the same
files as one multipart message to the loopback server.

Usage: smtplib_send.py PORT FILE...  Prints the seconds taken.
"""
import os
import smtplib
import sys
import time
from email.message import EmailMessage


def main():
    port, files = int(sys.argv[1]), sys.argv[2:]
    start = time.perf_counter()
    msg = EmailMessage()
    msg["From"] = "scanner@example.com"
    msg["To"] = "desk@example.com"
    msg["Subject"] = "Scan"
    msg.set_content("Pages attached.\r\n")
    for path in files:
        with open(path, "rb") as f:
            msg.add_attachment(f.read(), maintype="application", subtype="octet-stream",
                               filename=os.path.basename(path))
    with smtplib.SMTP("127.0.0.1", port) as s:
        s.send_message(msg)
    print("%.6f" % (time.perf_counter() - start))


if __name__ == "__main__":
    main()
