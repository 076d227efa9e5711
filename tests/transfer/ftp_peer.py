"""A recording FTP peer for the transfer tests (pyftpdlib, 127.0.0.1 only).

Usage: ftp_peer.py DIR LOG [--refuse-passive] [--lifetime SECONDS]
Prints "ready PORT" once listening. Every command received is appended to LOG.
With --refuse-passive, PASV and EPSV are answered 502, so a client has to use
PORT. The peer ends by itself after --lifetime seconds (default 120).
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
