"""tarnwick-cli put when the registration of a sent file loses its reply.

The fault proxy stands in front of the main host (the instant check, the
registration /tjwj.php and the listings go through it); FTP goes straight to
the service. Each row: what the user does, and what must hold on the
service's database afterwards.
"""

import contextlib
import os
import signal
import unittest

import support
from support import Cli, Member, Proxy, md5, sql, write

MAIN = os.environ.get("TARNWICK_MAIN_HOST", "")
REGISTER = "/tjwj.php"


def setUpModule():
    global member
    member = Member(1941, "faultreg")


def tearDownModule():
    member.remove()


class Registration(unittest.TestCase):
    @contextlib.contextmanager
    def fresh(self):
        """A client of its own (its own saved queue) and a proxy without rules."""
        self.cli = Cli()
        try:
            self.proxy = Proxy(MAIN)
        except Exception:
            self.cli.close()
            raise
        try:
            self.cli.login(member.account)
            self.via_proxy = {"TARNWICK_MAIN_HOST": self.proxy.url}
            yield
        finally:
            self.proxy.stop()
            self.cli.close()

    def put(self, args, proxied=False):
        return self.cli.run(["put"] + args, env=self.via_proxy if proxied else None)

    def test_reply_lost_after_a_same_named_file(self):
        """report.txt (A) is on the service; B of the same name and size is put while
        the registration loses its reply. An entry that was there before must not
        count as the registered file; the next run registers B exactly once."""
        rows = [
            # (what, the proxy's rule, what the user runs next)
            ("registration never reaches the service; put --retry", "drop " + REGISTER, ["--retry"]),
            ("registration never reaches the service; put the file again", "drop " + REGISTER, ["{file}"]),
            ("service took it, reply swallowed; put --retry", "swallow %s 2" % REGISTER, ["--retry"]),
            # libcurl sends a request again by itself when a kept-alive
            # connection dies before the reply: the second copy finds the
            # file taken and is refused, yet the first registered it.
            ("service took it, reply lost once, the request sent again", "swallow-once %s 1" % REGISTER,
             ["--retry"]),
        ]
        for n, (what, rule, again) in enumerate(rows):
            with self.subTest(what), self.fresh():
                self.reply_lost_row(n, rule, again)

    def reply_lost_row(self, n, rule, again):
        path = self.cli.path("files", "report%d.txt" % n)
        a, b = b"A" * 1000 + bytes([n]), b"B" * 1000 + bytes([n])
        write(path, a)
        first = self.put([path])
        self.assertEqual(first.code, 0, first)
        self.assertEqual(member.count_md5(a), 1)

        write(path, b)
        self.proxy.set_rules(rule)
        lost = self.put([path, "--json"], proxied=True)
        self.assertTrue(self.proxy.saw("request", REGISTER), "the registration never went out")
        b_rows = sql("SELECT id FROM files WHERE owner=? AND md5=?", (member.id, md5(b)))
        if rule.startswith("drop"):
            # Nothing was registered: reporting the old A entry as B is a lie.
            self.assertNotEqual(lost.code, 0, lost)
            self.assertNotIn('"done"', lost.out, lost)
            self.assertEqual(b_rows, [])
        elif lost.code == 0:
            # Done only with the entry the registration made, not A's.
            self.assertEqual(len(b_rows), 1)
            self.assertIn('"id":%d' % b_rows[0][0], lost.out.replace(" ", ""), lost)
        if rule.startswith("swallow-once"):
            # The refusal of the second copy is no failure: the first registered B.
            self.assertEqual(lost.code, 0, lost)
        self.assertEqual(member.count_md5(a), 1, "the A version must stay as it was")

        self.proxy.set_rules()
        later = self.put([path if arg == "{file}" else arg for arg in again])
        self.assertEqual(later.code, 0, later)
        self.assertEqual(member.count_md5(b), 1, "B must be registered exactly once")
        self.assertEqual(member.count_md5(a), 1)
        self.assertEqual(self.cli.queue_rows("uploads"), [])

    def test_killed_while_the_registration_is_answered(self):
        """SIGKILL while the service has taken the registration but its reply is
        held: the next run must not register the file a second time (not even
        by its MD5)."""
        rows = [
            ("put the same file again", lambda p: [p]),
            ("put --retry", lambda p: ["--retry"]),
            ("put the same file again, --no-instant", lambda p: [p, "--no-instant"]),
        ]
        for n, (what, again) in enumerate(rows):
            with self.subTest(what), self.fresh():
                path = self.cli.path("files", "killed%d.bin" % n)
                data = support.fresh_bytes(300 << 10, 40 + n)
                write(path, data)
                self.proxy.set_rules("hold %s 120" % REGISTER)
                proc = self.cli.spawn(["put", path], env=self.via_proxy)
                held = support.wait_for(lambda: self.proxy.saw("held", REGISTER), timeout=30)
                support.stop(proc, signal.SIGKILL)
                self.assertTrue(held, "the registration never reached the service")
                self.assertEqual(member.count_md5(data), 1, "the service took the registration")

                self.proxy.set_rules()
                later = self.put(again(path))
                self.assertEqual(later.code, 0, later)
                self.assertEqual(member.count_md5(data), 1, "registered a second time")
                self.assertEqual(self.cli.queue_rows("uploads"), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
