"""tarnwick-cli exit codes of local failures: a local file that could not be
read or written ends the run with 4, not with 3 (the service refused)."""

import os
import signal
import subprocess
import unittest

import support
from support import INTERRUPTED, Cli, Member, write

LOCAL_FILE = 4


def setUpModule():
    global member
    member = Member(1943, "faultcode")


def tearDownModule():
    member.remove()


def mount_small_tmpfs(folder, size):
    """A tmpfs of size bytes at folder; a reason when it cannot be had."""
    if os.geteuid() != 0:
        return "needs root to mount a tmpfs"
    os.makedirs(folder, exist_ok=True)
    r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", folder], capture_output=True)
    return None if r.returncode == 0 else "mount failed: %s" % r.stderr.decode(errors="replace").strip()


class ExitCodes(unittest.TestCase):
    def setUp(self):
        self.cli = Cli()
        self.addCleanup(self.cli.close)
        self.cli.login(member.account)

    def test_full_disk_during_get(self):
        data = support.fresh_bytes(2 << 20, 5)
        fid = member.store("too-big.bin", data)
        folder = self.cli.path("small-disk")
        why = mount_small_tmpfs(folder, 512 << 10)
        if why:
            self.skipTest(why)
        try:
            r = self.cli.run(["get", str(fid), "-o", folder])
            self.assertEqual(r.code, LOCAL_FILE, r)
            self.assertFalse(os.path.exists(os.path.join(folder, "too-big.bin")))
        finally:
            subprocess.run(["umount", "-l", folder])

    def test_target_is_a_directory(self):
        """The name the file would take is a directory: it stays as it is; replacing
        ends the run with 4, --rename saves the file under another name."""
        rows = [("replace", [], LOCAL_FILE), ("--rename", ["--rename"], 0)]
        for n, (what, extra, code) in enumerate(rows):
            with self.subTest(what):
                name = "folder-in-the-way%d.bin" % n
                data = support.fresh_bytes(64 << 10, 10 + n)
                fid = member.store(name, data)
                folder = self.cli.path("dir-target-%d" % n)
                write(os.path.join(folder, name, "inside.txt"), b"kept")
                r = self.cli.run(["get", str(fid), "-o", folder] + extra)
                self.assertEqual(r.code, code, r)
                self.assertEqual(os.listdir(os.path.join(folder, name)), ["inside.txt"])
                saved = [f for f in os.listdir(folder) if f != name and not f.endswith(".tnwkpart")]
                self.assertEqual([support.read(os.path.join(folder, f)) for f in saved], [data] if code == 0 else [])

    def test_local_file_vanished_before_retry(self):
        """put waits for an unreachable service and is stopped; the file is deleted;
        put --retry reports the missing local file with 4."""
        path = self.cli.path("files", "vanishing.bin")
        write(path, support.fresh_bytes(32 << 10, 3))
        with support.refusing_port() as down:
            proc = self.cli.spawn(["put", path], env={"TARNWICK_MAIN_HOST": down, "TARNWICK_FTP_HOST": down[7:]})
            support.wait_for(lambda: False, timeout=1.5)
            support.stop(proc, signal.SIGINT)
        stopped = self.cli.finish(proc)
        self.assertEqual(stopped.code, INTERRUPTED, stopped)
        self.assertEqual(len(self.cli.queue_rows("uploads")), 1, "the row was not kept")
        os.unlink(path)
        r = self.cli.run(["put", "--retry", "--json"])
        self.assertEqual(r.code, LOCAL_FILE, r)
        self.assertIn("vanishing.bin", r.out)


if __name__ == "__main__":
    unittest.main(verbosity=2)
