"""A recording FTP peer for the transfer tests (pyftpdlib, 127.0.0.1 only).

Usage: ftp_peer.py DIR LOG [--refuse-passive] [--rest-reply TEXT]
                   [--size-offset N] [--lifetime SECONDS]
Prints "ready PORT" once listening. Every command received is appended to LOG.
With --refuse-passive, PASV and EPSV are answered 502, so a client has to use
PORT. With --rest-reply, a REST above 0 is answered TEXT and not honoured
(STOR then writes from the start). With --size-offset, SIZE reports the size
plus N. The peer ends by itself after --lifetime seconds (default 120).
"""

import logging
import os
import sys
import threading
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    args = sys.argv[1:]
    folder, log_path = args[0], args[1]
    refuse = "--refuse-passive" in args
    rest_reply = args[args.index("--rest-reply") + 1] if "--rest-reply" in args else None
    size_offset = int(args[args.index("--size-offset") + 1]) if "--size-offset" in args else 0
    lifetime = float(args[args.index("--lifetime") + 1]) if "--lifetime" in args else 120.0
    log = open(log_path, "a")
    logging.getLogger("pyftpdlib").setLevel(logging.WARNING)
    warnings.simplefilter("ignore")

    auth = DummyAuthorizer()
    auth.add_anonymous(folder, perm="elradfmwMT")
    auth.add_user("member", "secret", folder, perm="elradfmwMT")

    class Handler(FTPHandler):
        authorizer = auth
        timeout = 30

        def pre_process_command(self, line, cmd, arg):
            log.write(line + "\n")
            log.flush()
            return super().pre_process_command(line, cmd, arg)

        def ftp_PASV(self, line):
            if refuse:
                self.respond("502 Passive mode refused.")
            else:
                super().ftp_PASV(line)

        def ftp_REST(self, line):
            if rest_reply is not None and line.strip() not in ("", "0"):
                self.respond(rest_reply)
            else:
                super().ftp_REST(line)

        def ftp_SIZE(self, path):
            if not size_offset:
                return super().ftp_SIZE(path)
            try:
                size = self.run_as_current_user(self.fs.getsize, path)
            except OSError as err:
                self.respond("550 %s." % err)
                return
            self.respond("213 %s" % (size + size_offset))

        def ftp_EPSV(self, line):
            if refuse:
                self.respond("502 Passive mode refused.")
            else:
                super().ftp_EPSV(line)

    server = FTPServer(("127.0.0.1", 0), Handler)
    print("ready %d" % server.address[1], flush=True)
    timer = threading.Timer(lifetime, lambda: os._exit(0))
    timer.daemon = True
    timer.start()
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
