"""tarnwick-cli get stopped in the middle of a file, and the run after it.

The fault proxy stands in front of the storage host and slows the file's
body, so the test can stop the client at a chosen share of the file (it
watches the partial file grow). Each row: how the run ends, and what the
next run must do.
"""

import os
import signal
import unittest

import support
from support import INTERRUPTED, Cli, Member, Proxy, read, write

STORAGE = os.environ.get("TARNWICK_STORAGE_HOST", "")
SIZE = 3 << 20
RATE = 1 << 20  # bytes a second through the proxy: about 3 s for the file


def setUpModule():
    global member
    member = Member(1942, "faultint")


def tearDownModule():
    member.remove()


class Interruption(unittest.TestCase):
    def setUp(self):
        self.cli = Cli()
        self.addCleanup(self.cli.close)
        self.cli.login(member.account)
        self.proxy = Proxy(STORAGE)
        self.addCleanup(self.proxy.stop)
        self.via_proxy = {"TARNWICK_STORAGE_HOST": self.proxy.url}

    def stop_at(self, args, folder, share, sig, stdout=None):
        """Runs get through the slowed proxy and sends sig once the partial file
        holds share of SIZE; the result and the partial's size after the end."""
        self.proxy.set_rules("slow /up/ %d" % RATE)
        proc = self.cli.spawn(["get"] + args, env=self.via_proxy, stdout=stdout)
        reached = support.wait_for(lambda: support.partial_size(folder) >= SIZE * share, timeout=30)
        support.stop(proc, sig)
        self.assertTrue(reached, "the download never reached %d%%" % (share * 100))
        return self.cli.finish(proc), support.partial_size(folder)

    def test_stopped_runs_resume(self):
        """Ctrl-C, SIGTERM, SIGHUP and SIGPIPE stop the run like Ctrl-C (exit 130,
        the partial file kept and recorded); after those and after SIGKILL the
        next get continues from the partial's bytes and the file is byte-exact."""
        rows = [
            # (signal, exit code of the stopped run; None: killed, no code of its own)
            (signal.SIGINT, INTERRUPTED),
            (signal.SIGTERM, INTERRUPTED),
            (signal.SIGHUP, INTERRUPTED),
            (signal.SIGPIPE, INTERRUPTED),
            (signal.SIGKILL, None),
        ]
        for sig, code in rows:
            with self.subTest(signal.Signals(sig).name):
                data = support.fresh_bytes(SIZE, sig)
                name = "big-%s.bin" % signal.Signals(sig).name
                fid = member.store(name, data)
                folder = self.cli.path("down-%d" % sig)
                stopped, left = self.stop_at([str(fid), "-o", folder], folder, 0.6, sig)
                if code is not None:
                    with self.subTest("exit code"):
                        self.assertEqual(stopped.code, code, stopped)
                self.assertFalse(os.path.exists(os.path.join(folder, name)))
                self.assertGreater(left, 0, "the partial file is gone")

                self.proxy.forget()
                self.proxy.set_rules()
                again = self.cli.run(["get", str(fid), "-o", folder], env=self.via_proxy)
                self.assertEqual(again.code, 0, again)
                starts = self.proxy.ranges("/up/")
                self.assertTrue(starts, "the file was not fetched again")
                self.assertGreater(starts[0], 0, "started again from 0")
                self.assertLessEqual(starts[0], left, "continued past the bytes it had")
                self.assertEqual(read(os.path.join(folder, name)), data)
                self.assertEqual(support.partials(folder), [])

    def test_closed_standard_output(self):
        """get A B | head -c1: the line of the first file meets a closed pipe
        while the second is on its way. The run stops like Ctrl-C (not killed
        by SIGPIPE), and the next run finishes the second file byte-exact."""
        small = b"small file\n" * 10
        data = support.fresh_bytes(SIZE, 77)
        first, second = member.store("first.txt", small), member.store("second.bin", data)
        folder = self.cli.path("down-pipe")
        reader, writer = os.pipe()
        os.close(reader)
        try:
            self.proxy.set_rules("slow /up/ %d" % (RATE // 2))
            proc = self.cli.spawn(["get", str(first), str(second), "-o", folder], env=self.via_proxy,
                                  stdout=writer)
        finally:
            os.close(writer)
        stopped = self.cli.finish(proc)
        self.assertEqual(stopped.code, INTERRUPTED, stopped)
        left = support.partial_size(folder)

        self.proxy.forget()
        self.proxy.set_rules()
        again = self.cli.run(["get", str(second), "-o", folder], env=self.via_proxy)
        self.assertEqual(again.code, 0, again)
        starts = self.proxy.ranges("/up/")
        self.assertTrue(starts, "the file was not fetched again")
        if left > 0:
            self.assertGreater(starts[0], 0, "started again from 0")
        self.assertEqual(read(os.path.join(folder, "second.bin")), data)
        self.assertEqual(read(os.path.join(folder, "first.txt")), small)

    def test_name_rule_stays_with_the_row(self):
        """get --rename into a folder where the name is taken, stopped by Ctrl-C;
        the run that continues it must not replace the user's file, whether it
        is get --retry or get of the same id without --rename."""
        rows = [
            ("get --retry", lambda fid: ["--retry"]),
            ("get ID again", lambda fid: [str(fid)]),
        ]
        for n, (what, again) in enumerate(rows):
            with self.subTest(what):
                data = support.fresh_bytes(SIZE, 90 + n)
                name = "taken%d.bin" % n
                fid = member.store(name, data)
                folder = self.cli.path("down-rename-%d" % n)
                mine = b"the user's own file\n"
                write(os.path.join(folder, name), mine)
                stopped, _ = self.stop_at([str(fid), "-o", folder, "--rename"], folder, 0.3, signal.SIGINT)
                self.assertEqual(stopped.code, INTERRUPTED, stopped)

                self.proxy.set_rules()
                later = self.cli.run(["get"] + again(fid) + ["-o", folder])
                self.assertEqual(later.code, 0, later)
                self.assertEqual(read(os.path.join(folder, name)), mine, "the user's file was replaced")
                others = [f for f in os.listdir(folder) if f != name]
                self.assertEqual(len(others), 1, others)
                self.assertEqual(read(os.path.join(folder, others[0])), data)


if __name__ == "__main__":
    unittest.main(verbosity=2)
