"""Signs on a site broker bridged to a central one (the example bridge, Mosquitto's own) take a
bundle published, and answer a screenshot and a playlog request sent, through the centre."""
import csv
import io
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import deskfixture as fx  # noqa: E402

TOOL = os.environ.get("ZORLED_TOOL", "")


def example_bridge(central_port):
    """packaging/fleet/bridge.conf pointed at the test's central broker, over plain loopback."""
    lines = []
    for line in open(os.path.join(fx.SOURCE, "packaging", "fleet", "bridge.conf")).read().splitlines():
        if line.startswith("address "):
            line = "address 127.0.0.1:%d" % central_port
        elif line.startswith("bridge_cafile "):
            continue
        lines.append(line)
    return "\n".join(lines) + "\n"


class BridgedSites(unittest.TestCase):
    def test_signs_behind_a_bridge_answer_the_centre(self):
        fleet = fx.Fleet(TOOL, {"s1": ["g1"], "s2": ["g1"]})
        try:
            central = fleet.start_broker("central", extra_users={"bridge-north": "change-me-bridge"},
                                         extra_acl="\nuser bridge-north\ntopic readwrite zorled/#\n")
            site = fleet.start_broker("site", extra_conf=example_bridge(central.port))
            days = {}
            for sign, seconds in (("s1", 120), ("s2", 45)):
                fleet.start_sign(sign, site)
                days[sign] = fleet.seed_play_log(sign, 1, [("main", "notice", seconds)])
            ini = fleet.publisher_ini(central)
            home = os.path.join(fleet.root, "desk-home")
            fleet.make_home(home, "bridged")

            def both_online():
                r = fleet.run_tool(["fleet", "--fleet", ini])
                lines = [l.split("\t") for l in r.stdout.splitlines()]
                return sum(1 for l in lines if len(l) > 1 and l[1] == "online") == 2
            fx.wait_for("both signs' states at the centre", both_online, 90)

            published = fleet.run_tool(["publish", "--fleet", ini, "--group", "g1", "--home", home, "--wait", "90"])
            self.assertEqual(published.returncode, 0, published.stdout + published.stderr)
            self.assertIn("2 of 2 signs of group g1 applied it", published.stdout)
            for sign in ("s1", "s2"):
                pas = open(os.path.join(fleet.sign_home(sign), "pagedef", "notice.Pas")).read()
                self.assertIn("// bridged", pas)

            png = os.path.join(fleet.root, "s1.png")
            shot = fleet.run_tool(["shot", "--fleet", ini, "--sign", "s1", png])
            self.assertEqual(shot.returncode, 0, shot.stderr)
            self.assertEqual(open(png, "rb").read()[:8], b"\x89PNG\r\n\x1a\n")

            day = days["s1"]
            log = fleet.run_tool(["playlog", "--fleet", ini, "--from", day, "--to", day])
            self.assertEqual(log.returncode, 0, log.stderr)
            rows = list(csv.DictReader(io.StringIO(log.stdout)))
            self.assertEqual(sorted((r["sign"], r["day"], r["page"], r["seconds"]) for r in rows),
                             [("s1", day, "notice", "120"), ("s2", day, "notice", "45")])

            # A sign that is gone is named, not waited for.
            fleet.kill_sign("s2")
            fx.wait_for("s2 offline at the centre", lambda: not both_online(), 60)
            log = fleet.run_tool(["playlog", "--fleet", ini, "--group", "g1", "--from", day, "--to", day])
            self.assertEqual(log.returncode, 3)
            self.assertIn("s2", log.stderr)
            self.assertIn("s1,%s,main,notice,120" % day, log.stdout)
        finally:
            fleet.stop()


if __name__ == "__main__":
    if len(sys.argv) > 1:
        TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
