"""tarnwick-cli get with several files at once, and the queue command changing
the rows of a running get.

The fault proxy stands in front of the storage host and slows the bodies, so
the rows are still running when the test looks at them or changes them.
"""

import json
import os
import time
import unittest

import support
from support import Cli, Member, Proxy, read

STORAGE = os.environ.get("TARNWICK_STORAGE_HOST", "")
SIZE = 2 << 20
RATE = 1 << 20  # bytes a second per connection through the proxy


def setUpModule():
    global member
    member = Member(1943, "faultqueue")


def tearDownModule():
    member.remove()


class Queue(unittest.TestCase):
    def setUp(self):
        self.cli = Cli()
        self.addCleanup(self.cli.close)
        self.cli.login(member.account)
        self.proxy = Proxy(STORAGE, ["slow /up/ %d" % RATE])
        self.addCleanup(self.proxy.stop)
        self.via_proxy = {"TARNWICK_STORAGE_HOST": self.proxy.url}

    def files(self, tag, n, size=SIZE):
        out = []
        for i in range(n):
            data = support.fresh_bytes(size, hash((tag, i)) & 0xffff)
            out.append((member.store("%s-%d.bin" % (tag, i), data), "%s-%d.bin" % (tag, i), data))
        return out

    def spawn_get(self, args):
        """get in the background, its standard output in a file of its own (the
        queue commands run meanwhile write theirs)."""
        self.get_out = self.cli.path("get-stdout")
        with open(self.get_out, "wb") as out:
            return self.cli.spawn(["get"] + args, env=self.via_proxy, stdout=out)

    def finish_get(self, proc):
        result = self.cli.finish(proc)
        result.out = read(self.get_out).decode("utf-8", "replace")
        return result

    def queue_rows(self):
        """The queue command's rows, by name."""
        listed = self.cli.run(["queue", "--json"])
        self.assertEqual(listed.code, 0, listed)
        return {r["name"]: r for r in json.loads(listed.out)}

    def listed_when(self, names):
        """The queue command's rows in order, once every name is among them
        (the running get writes its rows a moment after it queues them)."""
        listed = []
        def complete():
            listed[:] = json.loads(self.cli.run(["queue", "--json"]).out)
            return set(names) <= {r["name"] for r in listed}
        support.wait_for(complete, timeout=10)
        return listed

    def test_three_at_once_arrive_byte_exact(self):
        files = self.files("three", 3)
        folder = self.cli.path("three")
        proc = self.spawn_get([str(f[0]) for f in files] + ["-o", folder, "--parallel", "3"])
        together = support.wait_for(lambda: len(support.partials(folder)) == 3, timeout=20)
        result = self.finish_get(proc)
        self.assertTrue(together, "the three files never moved at once")
        self.assertEqual(result.code, 0, result)
        for _, name, data in files:
            self.assertEqual(support.md5(read(os.path.join(folder, name))), support.md5(data), name)
        self.assertEqual(support.partials(folder), [])

    def test_hold_of_a_running_row_takes_effect_within_two_seconds(self):
        (a, a_name, a_data), (b, b_name, b_data) = self.files("hold", 2, 3 << 20)
        folder = self.cli.path("hold")
        proc = self.spawn_get([str(a), str(b), "-o", folder, "--parallel", "2"])
        self.assertTrue(support.wait_for(lambda: len(support.partials(folder)) == 2, timeout=20))
        self.listed_when([a_name, b_name])
        self.assertTrue(support.wait_for(lambda: self.queue_rows()[b_name]["state"] == "running", timeout=5))
        row = self.queue_rows()[b_name]
        asked = time.time()
        held = self.cli.run(["queue", "hold", str(row["row"])])
        self.assertEqual(held.code, 0, held)
        self.assertTrue(support.wait_for(lambda: self.queue_rows()[b_name]["state"] == "held", timeout=3))
        self.assertLess(time.time() - asked, 2.0 * support.SCALE / 2 + 0.5, "the hold took too long")
        # The held file stops growing; the other goes on to its end.
        kept = [p for p in support.partials(folder) if b_name in p]
        self.assertEqual(len(kept), 1)
        size = os.path.getsize(kept[0])
        result = self.finish_get(proc)
        self.assertEqual(result.code, 5, result)  # one done, one held
        self.assertIn(a_name, result.out)
        self.assertEqual(support.md5(read(os.path.join(folder, a_name))), support.md5(a_data))
        self.assertEqual(os.path.getsize(kept[0]), size)
        # A held row is not removed by accident: only when asked.
        self.assertEqual(self.cli.run(["queue", "resume", str(row["row"])]).code, 0)
        self.proxy.set_rules()
        self.proxy.forget()
        again = self.cli.run(["get", str(b), "-o", folder], env=self.via_proxy)
        self.assertEqual(again.code, 0, again)
        self.assertGreater(self.proxy.ranges("/up/")[0], 0, "started again from 0")
        self.assertEqual(support.md5(read(os.path.join(folder, b_name))), support.md5(b_data))

    def test_move_changes_which_row_starts_next_and_a_running_row_is_not_removed(self):
        files = self.files("move", 3, 3 << 20)
        folder = self.cli.path("move")
        proc = self.spawn_get([str(f[0]) for f in files] + ["-o", folder, "--parallel", "1"])
        self.assertTrue(support.wait_for(lambda: len(support.partials(folder)) == 1, timeout=20))
        listed = self.listed_when([f[1] for f in files])  # in queue order: as asked
        self.assertEqual([r["name"] for r in listed], [f[1] for f in files])
        first, last = listed[0], listed[2]
        self.assertTrue(support.wait_for(lambda: self.queue_rows()[first["name"]]["state"] == "running", timeout=5))
        refused = self.cli.run(["queue", "rm", str(first["row"])])
        self.assertEqual(refused.code, 1, refused)
        self.assertIn("hold it first", refused.err)
        moved = self.cli.run(["queue", "move", str(last["row"]), "--to", "top"])
        self.assertEqual(moved.code, 0, moved)
        self.assertEqual([r["name"] for r in json.loads(self.cli.run(["queue", "--json"]).out)],
                         [files[2][1], files[0][1], files[1][1]])
        self.proxy.set_rules("slow /up/ %d" % (4 * RATE))
        result = self.finish_get(proc)
        self.assertEqual(result.code, 0, result)
        order = [line.split("\t")[0] for line in result.out.splitlines()]
        self.assertEqual(order, [str(files[0][0]), str(files[2][0]), str(files[1][0])])


if __name__ == "__main__":
    unittest.main()
