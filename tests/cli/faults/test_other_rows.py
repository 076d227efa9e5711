"""The saved rows an earlier get left behind are not this run's business: a
get of another id leaves them exactly as they were."""

import os
import signal
import subprocess
import unittest

import support
from support import Cli, Member, Proxy, write

STORAGE = os.environ.get("TARNWICK_STORAGE_HOST", "")
KEPT = ("state", "reason", "partial", "partsize", "partmtime", "total", "save", "file")


def setUpModule():
    global member
    member = Member(1945, "faultrows")


def tearDownModule():
    member.remove()


class OtherRows(unittest.TestCase):
    def fresh_cli(self):
        self.undo = []
        self.cli = Cli()
        self.cli.login(member.account)

    def drop_cli(self):
        for step in reversed(self.undo):
            step()
        self.cli.close()

    def row_of(self, fid):
        rows = [r for r in self.cli.queue_rows("downloads") if r.get("file") == str(fid).encode()]
        return {k: rows[0].get(k) for k in KEPT} if len(rows) == 1 else None

    def failed_by_directory(self, folder):
        fid = member.store("blocked.bin", support.fresh_bytes(4096, 1))
        write(os.path.join(folder, "blocked.bin", "inside.txt"), b"x")
        return fid, self.cli.run(["get", str(fid), "-o", folder])

    def failed_by_missing_bytes(self, folder):
        fid = member.store("gone.bin", support.fresh_bytes(4096, 2))
        (storage,) = support.sql("SELECT storage FROM files WHERE id=?", (fid,))[0]
        os.unlink(os.path.join(support.DATA, "storage", storage))
        return fid, self.cli.run(["get", str(fid), "-o", folder])

    def failed_by_full_disk(self, folder):
        if os.geteuid() != 0:
            self.skipTest("needs root to mount a tmpfs")
        os.makedirs(folder, exist_ok=True)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", folder]).returncode != 0:
            self.skipTest("cannot mount a tmpfs")
        self.undo.append(lambda: subprocess.run(["umount", "-l", folder]))
        fid = member.store("huge.bin", support.fresh_bytes(1 << 20, 3))
        return fid, self.cli.run(["get", str(fid), "-o", folder])

    def stopped_midway(self, folder):
        fid = member.store("stopped.bin", support.fresh_bytes(2 << 20, 4))
        proxy = Proxy(STORAGE, ["slow /up/ 262144"])
        try:
            proc = self.cli.spawn(["get", str(fid), "-o", folder], env={"TARNWICK_STORAGE_HOST": proxy.url})
            support.wait_for(lambda: support.partial_size(folder) > 100000, timeout=20)
            support.stop(proc, signal.SIGINT)
            return fid, self.cli.finish(proc)
        finally:
            proxy.stop()

    def test_a_later_get_of_another_id(self):
        rows = [
            ("failed: a directory has its name", self.failed_by_directory),
            ("failed: the service lost its bytes", self.failed_by_missing_bytes),
            ("failed: disk full", self.failed_by_full_disk),
            ("stopped by Ctrl-C", self.stopped_midway),
        ]
        for n, (what, make) in enumerate(rows):
            with self.subTest(what):
                try:
                    self.fresh_cli()
                    folder = self.cli.path("earlier")
                    fid, earlier = make(folder)
                    self.assertNotEqual(earlier.code, 0, earlier)
                    before = self.row_of(fid)
                    self.assertIsNotNone(before, "the earlier run kept no row")

                    other = member.store("other%d.bin" % n, support.fresh_bytes(8192, 20 + n))
                    later = self.cli.run(["get", str(other), "-o", self.cli.path("later")])
                    self.assertEqual(later.code, 0, later)
                    self.assertEqual(self.row_of(fid), before)
                    if before["partial"]:
                        self.assertEqual(support.partial_size(folder), max(0, int(before["partsize"])))
                finally:
                    self.drop_cli()


if __name__ == "__main__":
    unittest.main(verbosity=2)
