"""The FTP upload areas: pyftpdlib serving data folder/ftp and data folder/ftp-member.

Anonymous logins work in the shared area ftp/; a member's own account and
password log in to that member's folder ftp-member/<member id>/, which no
other login can see. /tjwj.php later finds a file by its temporary name in
the member's folder first, then in the shared area. Every command received is appended to data folder/ftp.log
(passwords masked) so tests can check what a client sent, e.g. "TYPE I".
ASCII-type uploads are stored the way an FTP server does it (line endings
converted), so a client that uploads binaries in ASCII type is caught.

Two variables of the environment make the server misbehave on purpose, for
tests of a client's patience: TARNWICK_FTP_RATE=<bytes/s> throttles every
data connection (both directions), TARNWICK_FTP_CLOSE_AFTER=<n> closes a
control connection right after the final reply of its n-th completed STOR.
Each successful login is logged as "LOGIN <user>", each such close as
"CLOSE after <n> STOR".
"""

import logging
import os
import threading
import time

from pyftpdlib import handlers
from pyftpdlib.authorizers import AuthenticationFailed
from pyftpdlib.servers import FTPServer

PERMS = "elawf"  # change dir, list, append, store, rename: enough to upload and resume


def _env_count(name):
    """A positive whole number from the environment, or 0 when unset or not one."""
    value = os.environ.get(name, "").strip()
    return int(value) if value.isdigit() else 0


class Authorizer:
    def __init__(self, ctx):
        self.ctx = ctx

    @staticmethod
    def _anonymous(username):
        return username.lower() in ("anonymous", "ftp")

    def validate_authentication(self, username, password, handler):
        if self._anonymous(username):
            return
        member = self.ctx.db.member_by_account(username)
        if member is None or member["password"] != password:
            raise AuthenticationFailed("Authentication failed.")

    def has_user(self, username):
        return True

    def get_home_dir(self, username):
        if self._anonymous(username):
            return self.ctx.ftp_dir
        member = self.ctx.db.member_by_account(username)
        if member is None:  # only reached after a successful login; never the shared area by accident
            raise AuthenticationFailed("Authentication failed.")
        return self.ctx.ftp_member_dir(member["id"])

    def has_perm(self, username, perm, path=None):
        return perm in PERMS

    def get_perms(self, username):
        return PERMS

    def get_msg_login(self, username):
        return "Login successful."

    def get_msg_quit(self, username):
        return "Goodbye."

    def impersonate_user(self, username, password):
        pass

    def terminate_impersonation(self, username):
        pass


def make_handler(ctx, log_path, rate=0, close_after=0):
    log_lock = threading.Lock()
    log = open(log_path, "a", encoding="utf-8", errors="backslashreplace")

    class ThrottledData(handlers.ThrottledDTPHandler):
        read_limit = rate
        write_limit = rate

    class Handler(handlers.FTPHandler):
        authorizer = Authorizer(ctx)
        banner = "Tarnwick FTP ready."
        # File names arrive as the client's bytes (GBK or UTF-8); keep them as they are.
        unicode_errors = "surrogateescape"
        permit_foreign_addresses = False
        timeout = 120
        stored = 0  # completed STORs of this control connection
        if rate:
            dtp_handler = ThrottledData

        def log_line(self, text):
            with log_lock:
                log.write("%s %s:%s %s\n" % (time.strftime("%H:%M:%S"), self.remote_ip, self.remote_port, text))
                log.flush()

        def push(self, s):
            handlers.asynchat.async_chat.push(self, s.encode("utf8", "surrogateescape"))

        def pre_process_command(self, line, cmd, arg):
            self.log_line("PASS ******" if cmd == "PASS" else line)
            return super().pre_process_command(line, cmd, arg)

        def on_login(self, username):
            self.log_line("LOGIN " + username)

        def on_file_received(self, file):
            if not close_after:
                return
            self.stored += 1
            if self.stored == close_after:
                self.log_line("CLOSE after %d STOR" % close_after)
                self.close_when_done()  # the 226 already queued goes out first

    return Handler


def make_server(ctx, port, log_path):
    logging.getLogger("pyftpdlib").setLevel(logging.WARNING)
    handler = make_handler(ctx, log_path, _env_count("TARNWICK_FTP_RATE"), _env_count("TARNWICK_FTP_CLOSE_AFTER"))
    server = FTPServer(("127.0.0.1", port), handler)
    server.max_cons = 64
    return server
