"""A loopback POP3 server for the mail tests: Dovecot with one user.

Usage: pop3_server.py WORKDIR USER PASSWORD [--host H] [--port N]
                      [--cert C --key K]
Starts Dovecot (as root; its processes run as nobody) on 127.0.0.1 (or H,
another loopback address) on a free port unless given, prints "PORT <n>"
once it accepts connections, and stops it on SIGTERM. With a certificate and
key it offers STLS (RFC 2595).
"""
import argparse
import os
import pwd
import signal
import socket
import subprocess
import sys
import time

CONFIG = """base_dir = {w}/run
state_dir = {w}/state
log_path = {w}/dovecot.log
protocols = pop3
listen = {host}
{ssl}
disable_plaintext_auth = no
auth_mechanisms = plain
default_login_user = dovenull
default_internal_user = dovecot
first_valid_uid = 1
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {w}/users
}}
userdb {{
  driver = static
  args = uid=nobody gid=nogroup home={w}/home/%u
}}
mail_location = maildir:~/Maildir
service pop3-login {{
  inet_listener pop3 {{
    port = {port}
  }}
}}
"""


def free_port(host):
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def accepts(host, port):
    try:
        with socket.create_connection((host, port), timeout=1) as s:
            return s.recv(64).startswith(b"+OK")
    except OSError:
        return False


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("work")
    ap.add_argument("user")
    ap.add_argument("password")
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--cert")
    ap.add_argument("--key")
    a = ap.parse_args()
    ssl = "ssl = no"
    if a.cert:
        ssl = "ssl = yes\nssl_cert = <%s\nssl_key = <%s" % (os.path.abspath(a.cert),
                                                           os.path.abspath(a.key))
    work, user, password, host = a.work, a.user, a.password, a.host
    nobody = pwd.getpwnam("nobody")
    for d in ("run", "state", "home"):
        os.makedirs(os.path.join(work, d), exist_ok=True)
    os.chmod(work, 0o755)
    os.chown(os.path.join(work, "home"), nobody.pw_uid, nobody.pw_gid)
    with open(os.path.join(work, "users"), "w") as f:
        f.write("%s:{PLAIN}%s::::::\n" % (user, password))
    # Another program may take a free port between the probe and the bind; a
    # port given is tried once.
    for _ in range(1 if a.port else 5):
        port = a.port or free_port(host)
        with open(os.path.join(work, "dovecot.conf"), "w") as f:
            f.write(CONFIG.format(w=work, host=host, port=port, ssl=ssl))
        proc = subprocess.Popen(["dovecot", "-F", "-c", os.path.join(work, "dovecot.conf")])
        deadline = time.monotonic() + 120
        while proc.poll() is None and time.monotonic() < deadline and not accepts(host, port):
            time.sleep(0.1)
        if proc.poll() is None and accepts(host, port):
            break
        proc.kill()
        proc.wait()
    else:
        sys.exit("dovecot did not start; see %s/dovecot.log" % work)
    # Only passes the signal on: the wait below (which holds Popen's lock) ends then.
    signal.signal(signal.SIGTERM, lambda *_: proc.terminate())
    print("PORT %d" % port, flush=True)
    proc.wait()


if __name__ == "__main__":
    main()
