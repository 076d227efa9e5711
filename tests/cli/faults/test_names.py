"""tarnwick-cli get of two files of the same name (different ids) in one run:
the second must not replace the first."""

import os
import unittest

import support
from support import Cli, Member, md5, read


def setUpModule():
    global member
    member = Member(1944, "faultname")


def tearDownModule():
    member.remove()


class SameNamed(unittest.TestCase):
    def test_two_files_of_one_name_in_one_get(self):
        """Both arrive, the second under a new name the run tells on stderr; exit 0."""
        rows = [("default rule", []), ("--rename", ["--rename"])]
        for n, (what, extra) in enumerate(rows):
            with self.subTest(what):
                cli = Cli()
                try:
                    cli.login(member.account)
                    name = "twin%d.txt" % n
                    one, two = support.fresh_bytes(20000, 60 + n), support.fresh_bytes(30000, 70 + n)
                    ids = [member.store(name, one), member.store(name, two)]
                    folder = cli.path("down")
                    r = cli.run(["get"] + [str(i) for i in ids] + ["-o", folder] + extra)
                    self.assertEqual(r.code, 0, r)
                    got = {f: md5(read(os.path.join(folder, f))) for f in os.listdir(folder)}
                    self.assertEqual(sorted(got.values()), sorted([md5(one), md5(two)]), got)
                    self.assertIn(name, got)
                    (renamed,) = [f for f in got if f != name]
                    self.assertIn(renamed, r.err, "the new name is not told")
                finally:
                    cli.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
