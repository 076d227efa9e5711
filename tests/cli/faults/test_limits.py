"""tarnwick-cli get and put under --limit-down / --limit-up: a limited run
keeps to its rate for the whole file and still ends, byte-exact, without
being taken for a stalled connection.
"""

import os
import time
import unittest

import support
from support import Cli, Member, read

KIB = 1024


def setUpModule():
    global member
    member = Member(1947, "faultlimits")


def tearDownModule():
    member.remove()


class Limits(unittest.TestCase):
    def setUp(self):
        self.cli = Cli()
        self.addCleanup(self.cli.close)
        self.cli.login(member.account)

    def test_limited_runs_keep_their_rate_and_finish(self):
        # (command, limit, bytes, shortest and longest run in seconds)
        cases = [
            ("get", "200K", 2 << 20, 8.0, 14.0),
            ("put", "1K", 20000, 14.0, 30.0),
        ]
        for seed, (command, limit, size, shortest, longest) in enumerate(cases):
            with self.subTest(command=command, limit=limit):
                data = support.fresh_bytes(size, 4700 + seed)
                if command == "get":
                    fid = member.store("limited-%d.bin" % seed, data)
                    folder = self.cli.path("limited-%d" % seed)
                    args = ["get", str(fid), "-o", folder, "--limit-down", limit]
                else:
                    path = self.cli.path("limited-%d.bin" % seed)
                    support.write(path, data)
                    args = ["put", path, "--limit-up", limit]
                began = time.monotonic()
                r = self.cli.run(args, timeout=90)
                took = time.monotonic() - began
                self.assertEqual(r.code, 0, r)
                self.assertTrue(shortest <= took <= longest, "%s took %.1f s\n%r" % (command, took, r))
                if command == "get":
                    self.assertEqual(read(os.path.join(folder, "limited-%d.bin" % seed)), data)
                    self.assertEqual(support.partials(folder), [])
                else:
                    self.assertEqual(member.count_md5(data), 1)
                    stored = support.sql("SELECT storage FROM files WHERE owner=? AND md5=?",
                                         (member.id, support.md5(data)))[0][0]
                    self.assertEqual(read(os.path.join(support.DATA, "storage", stored)), data)

    def test_unreadable_rate_is_bad_usage(self):
        for limit in ("fast", "-5K", "2X", "1.5M"):
            with self.subTest(limit=limit):
                r = self.cli.run(["get", "1", "-o", self.cli.path("never"), "--limit-down", limit])
                self.assertEqual(r.code, 1, r)
                self.assertFalse(os.path.exists(self.cli.path("never")))


if __name__ == "__main__":
    unittest.main()
