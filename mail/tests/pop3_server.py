"""A loopback POP3 server for the mail tests: Dovecot with one user.

Usage: pop3_server.py WORKDIR USER PASSWORD
Starts Dovecot (as root; its processes run as nobody) on 127.0.0.1 on a free
port, prints "PORT <n>" once it accepts connections, and stops it on SIGTERM.
"""
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
listen = 127.0.0.1
ssl = no
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


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
            return s.recv(64).startswith(b"+OK")
    except OSError:
        return False


def main():
    work, user, password = sys.argv[1], sys.argv[2], sys.argv[3]
    nobody = pwd.getpwnam("nobody")
    for d in ("run", "state", "home"):
        os.makedirs(os.path.join(work, d), exist_ok=True)
    os.chmod(work, 0o755)
    os.chown(os.path.join(work, "home"), nobody.pw_uid, nobody.pw_gid)
    with open(os.path.join(work, "users"), "w") as f:
        f.write("%s:{PLAIN}%s::::::\n" % (user, password))
    for _ in range(5):  # another program may take the port between the probe and the bind
        port = free_port()
        with open(os.path.join(work, "dovecot.conf"), "w") as f:
            f.write(CONFIG.format(w=work, port=port))
        proc = subprocess.Popen(["dovecot", "-F", "-c", os.path.join(work, "dovecot.conf")])
        deadline = time.monotonic() + 120
        while proc.poll() is None and time.monotonic() < deadline and not accepts(port):
            time.sleep(0.1)
        if proc.poll() is None and accepts(port):
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
