"""tarnwick-cli put -r and get -r: folders moved whole.

A local tree goes up and comes back down equal (same relative paths, same
bytes), with a folder whose name the service refuses left out and reported;
a create-folder request whose reply is lost makes no second folder when the
run is tried again; two cloud files of one name in one folder both arrive;
a run killed in the middle of a tree is finished by the next one.
"""

import os
import signal
import unittest

import support
from support import Cli, Member, Proxy, fresh_bytes, sql, write

MAIN = os.environ.get("TARNWICK_MAIN_HOST", "")
CREATE = "/post/cjml.php"


def setUpModule():
    global member
    member = Member(1947, "faulttree")


def tearDownModule():
    member.remove()


def tree_of(root):
    """{relative path: bytes} of every file, and the set of every folder, under root."""
    files, folders = {}, set()
    for here, dirs, names in os.walk(root):
        rel = os.path.relpath(here, root)
        if rel != ".":
            folders.add(rel)
        for n in names:
            with open(os.path.join(here, n), "rb") as f:
                files[os.path.normpath(os.path.join(rel, n))] = f.read()
    return files, folders


def cloud_folders(name, parent=None):
    rows = sql("SELECT id, parent FROM folders WHERE owner=? AND name=?", (member.id, name))
    return [r for r in rows if parent is None or r[1] == parent]


class Trees(unittest.TestCase):
    def setUp(self):
        self.cli = Cli()
        self.cli.login(member.account)

    def tearDown(self):
        self.cli.close()

    def test_a_tree_goes_up_and_comes_back_equal(self):
        top = self.cli.path("up", "相册 2026")
        layout = {
            "a.txt": fresh_bytes(3000, 1),
            "空文件.bin": b"",
            "年/b c.txt": fresh_bytes(70000, 2),
            "年/月/深处.dat": fresh_bytes(5000, 3),
            "年/月/日/d.txt": fresh_bytes(10, 4),
            "R&D/left out.txt": b"never sent",
        }
        for rel, data in layout.items():
            write(os.path.join(top, rel), data)
        os.makedirs(os.path.join(top, "空的"))
        r = self.cli.run(["put", "-r", top])
        self.assertEqual(r.code, 5, r)  # the rest went; the refused folder is reported
        self.assertIn("R&D", r.err)
        made = cloud_folders("相册 2026", 0)
        self.assertEqual(len(made), 1, r)
        # mkdir tells the same reason before it sends anything.
        m = self.cli.run(["mkdir", "R&D"])
        self.assertEqual(m.code, 3, m)
        self.assertIn("名称含有不能用的字符：&", m.err)

        down = self.cli.path("down")
        g = self.cli.run(["get", "-r", str(made[0][0]), "-o", down])
        self.assertEqual(g.code, 0, g)
        files, folders = tree_of(os.path.join(down, "相册 2026"))
        expected = {os.path.normpath(k): v for k, v in layout.items() if not k.startswith("R&D")}
        self.assertEqual(files, expected)
        self.assertEqual(folders, {"年", "年/月", "年/月/日", "空的"})

        # Again: the existing cloud folders are used, not duplicated.
        again = self.cli.run(["put", "-r", top])
        self.assertEqual(again.code, 5, again)
        self.assertEqual(len(cloud_folders("相册 2026", 0)), 1)
        self.assertEqual(len(cloud_folders("年")), 1)

    def test_a_create_without_a_reply_makes_no_second_folder(self):
        top = self.cli.path("lost", "lost-reply")
        for i in range(3):
            write(os.path.join(top, "inner", "f%d.txt" % i), fresh_bytes(2000, 10 + i))
        proxy = Proxy(MAIN, ["swallow %s 1" % CREATE])
        try:
            env = {"TARNWICK_MAIN_HOST": proxy.url}
            # The folder row waits, looks the folder up and finds it: the
            # service made it all the same. Whether this run or the next
            # one finishes, nothing is made twice.
            first = self.cli.run(["put", "-r", top], env=env)
            self.assertTrue(proxy.saw("swallowed", CREATE), proxy.lines())
            self.assertEqual(len(cloud_folders("lost-reply", 0)), 1)
            if first.code != 0:
                second = self.cli.run(["put", "-r", top], env=env)
                self.assertEqual(second.code, 0, second)
        finally:
            proxy.stop()
        self.assertEqual(len(cloud_folders("lost-reply", 0)), 1)
        inner = cloud_folders("inner")
        self.assertEqual(len(inner), 1)
        names = sorted(n for (n,) in sql("SELECT name FROM files WHERE owner=? AND folder=?", (member.id, inner[0][0])))
        self.assertEqual(names, ["f0.txt", "f1.txt", "f2.txt"])

    def test_two_cloud_files_of_one_name_both_arrive(self):
        folder = sql("INSERT INTO folders(owner, name, parent) VALUES (?, 'twins', 0) RETURNING id", (member.id,))[0][0]
        member.store("same.txt", b"first", folder)
        member.store("same.txt", b"second", folder)
        down = self.cli.path("twins-down")
        g = self.cli.run(["get", "-r", str(folder), "-o", down])
        self.assertEqual(g.code, 0, g)
        files, _ = tree_of(os.path.join(down, "twins"))
        self.assertEqual(sorted(files.values()), [b"first", b"second"])
        self.assertIn("same.txt", files)

    def test_the_whole_account_comes_down_as_a_tree(self):
        """get -r 0: the default folder's files into the folder itself, every
        top-level folder as a subfolder."""
        member.store("account-root.txt", b"in the default folder")
        folder = sql("INSERT INTO folders(owner, name, parent) VALUES (?, 'account-top', 0) RETURNING id",
                     (member.id,))[0][0]
        member.store("inside.txt", b"in a top-level folder", folder)
        down = self.cli.path("account-down")
        g = self.cli.run(["get", "-r", "0", "-o", down])
        self.assertEqual(g.code, 0, g)
        files, _ = tree_of(down)
        self.assertEqual(files.get("account-root.txt"), b"in the default folder")
        self.assertEqual(files.get(os.path.join("account-top", "inside.txt")), b"in a top-level folder")

    def test_a_run_killed_in_the_middle_is_finished_by_the_next(self):
        top = self.cli.path("killed", "many")
        layout = {"d%d/f%d.bin" % (i % 4, i): fresh_bytes(40000, 100 + i) for i in range(24)}
        for rel, data in layout.items():
            write(os.path.join(top, rel), data)
        proc = self.cli.spawn(["put", "-r", "--parallel", "2", top])
        support.wait_for(lambda: sql("SELECT count(*) FROM files WHERE owner=? AND name LIKE 'f%%.bin'",
                                     (member.id,))[0][0] >= 3, timeout=30)
        support.stop(proc, signal.SIGKILL)
        again = self.cli.run(["put", "-r", top])
        self.assertEqual(again.code, 0, again)
        self.assertEqual(len(cloud_folders("many", 0)), 1)
        for i in range(4):
            self.assertEqual(len(cloud_folders("d%d" % i)), 1)
        counts = sql("SELECT name, count(*) FROM files WHERE owner=? AND name LIKE 'f%%.bin' GROUP BY name",
                     (member.id,))
        self.assertEqual(len(counts), 24)
        self.assertTrue(all(c == 1 for _, c in counts), counts)


if __name__ == "__main__":
    unittest.main(verbosity=2)
