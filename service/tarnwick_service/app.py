"""Runs the HTTP and FTP servers in the foreground until SIGINT or SIGTERM."""

import argparse
import os
import signal
import sys
import threading

from . import account, browser, ftp, seed, settings, upload
from .common import Context
from .db import Database
from .web import Handler, Server


def build_routes():
    routes = {}
    for module in (account, browser, upload, settings):
        for path, func in module.ROUTES.items():
            assert path not in routes, path
            routes[path.lower()] = func
    return routes


def bind(ctx, func):
    def bound(req):
        return func(ctx, req)
    # The marks of web.safe / web.streamed travel with the bound handler.
    bound.safe = getattr(func, "safe", False)
    bound.streamed = getattr(func, "streamed", False)
    return bound


def _sweep_interval():
    value = os.environ.get("TARNWICK_TEMP_SWEEP_SECONDS", "")
    return max(1, int(value)) if value.strip().isdigit() else 3600


def main(argv=None):
    parser = argparse.ArgumentParser(prog="service/start", description="Local Tarnwick service")
    parser.add_argument("--http", type=int, default=8080, help="HTTP port (0 = any free port)")
    parser.add_argument("--ftp", type=int, default=2121, help="FTP port (0 = any free port)")
    parser.add_argument("--data", required=True, help="data folder (created and seeded when new)")
    args = parser.parse_args(argv)

    os.makedirs(args.data, exist_ok=True)
    db = Database(os.path.join(args.data, "tarnwick.db"))
    ctx = Context(db, args.data)
    if db.one("SELECT COUNT(*) AS n FROM members")["n"] == 0:
        seed.seed(ctx)

    Handler.routes = {path: bind(ctx, func) for path, func in build_routes().items()}
    Handler.prefix_routes = [(prefix, bind(ctx, func)) for prefix, func in browser.PREFIX_ROUTES]
    Handler.log_file = open(os.path.join(ctx.data_dir, "http.log"), "a", encoding="utf-8")
    http_server = Server(("127.0.0.1", args.http), Handler)
    http_port = http_server.server_address[1]
    ctx.base_url = "http://127.0.0.1:%d" % http_port
    ftp_server = ftp.make_server(ctx, args.ftp, os.path.join(ctx.data_dir, "ftp.log"))
    ftp_port = ftp_server.address[1]

    stop = threading.Event()
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    signal.signal(signal.SIGTERM, lambda *_: stop.set())

    # Temporary uploads left for a day are removed now and then every sweep interval.
    upload.sweep_temporary_files(ctx)

    def sweep():
        while not stop.wait(_sweep_interval()):
            upload.sweep_temporary_files(ctx)

    def run_ftp():
        while not stop.is_set():
            ftp_server.ioloop.loop(0.2, blocking=False)
        ftp_server.close_all()

    threads = [threading.Thread(target=http_server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True),
               threading.Thread(target=run_ftp, daemon=True),
               threading.Thread(target=sweep, daemon=True)]
    for t in threads:
        t.start()
    # Both sockets listen since their construction; the line tells the caller where.
    print("ready http://127.0.0.1:%d ftp://127.0.0.1:%d" % (http_port, ftp_port), flush=True)
    while not stop.wait(0.5):
        pass
    http_server.shutdown()
    http_server.server_close()
    for t in threads:
        t.join(timeout=5)
    db.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
