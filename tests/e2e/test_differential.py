"""Differential runs: three generated machines staged under Wine, each command
word of their chain predicted by vexsim and run for real, every difference a
named Wine difference; and the comparison itself on made-up machines."""

import re
import sys
import unittest

from scenario import Scenario
from wine_prefix import ROOT

sys.path.insert(0, str(ROOT / "tools" / "differential"))
import differential  # noqa: E402
from differential import (MONITOR, PORTS, PRINTER, WINE_DIFFERENCES, compare_machines, describe,  # noqa: E402
                          explain_machine, generate, run_state, staging_script)

# No build, another vendor's monitor with two printers on its port (one the
# default), jobs waiting and a product file pending a rename; build 2415
# with 2416's files, settings links, jobs in a product printer, its monitor
# pending deletion, the tray running; build 2416 with 2446's files beside
# that monitor, a printer on its port with the product's driver, jobs in
# every printer, the monitor's module read-only and pending deletion.
SEEDS = (141, 551, 578)

HALF_MADE = WINE_DIFFERENCES[0].what
DRIVER_KEPT = WINE_DIFFERENCES[1].what
X86_MONITORS = WINE_DIFFERENCES[2].what


def machine(printers=(), default=None, drivers=(), files=(), settings=None, monitors=()):
    def data(name):
        subkey = [{"name": "SubKey", "type": "REG_SZ", "data": settings}] if settings else []
        return {"PrinterDriverData": subkey, "DsUser": subkey} if name != PRINTER else {"dsuser": subkey}
    return {"spooler": {"printers": [{"name": n, "port": "LPT1:", "driver": "D", "comment": c, "data": data(n)}
                                     for n, c in printers],
                        "defaultPrinter": default, "drivers": [{"name": d} for d in drivers],
                        "monitors": [{"name": m} for m in monitors]},
            "files": {"files": [{"path": p, "version": v} for p, v in files]}}


class Differential(Scenario):
    def test_generated_states_differ_from_wine_only_as_named(self):
        for seed in SEEDS:
            with self.subTest(seed=seed):
                report = run_state(seed)
                print(describe(report))
                self.assertTrue(report["ok"], describe(report))
                self.assertEqual([c.word for c in report["compared"]], differential.generate(seed)["commands"])


class Generator(unittest.TestCase):
    def test_a_state_is_its_seeds_and_a_monitor_comes_before_the_printers_on_its_port(self):
        for seed in range(300):
            state, steps = generate(seed), staging_script(generate(seed))
            self.assertEqual(generate(seed), state)
            self.assertTrue({p["port"] for p in state["printers"]} <= set(PORTS) | {MONITOR} |
                            {m["port"] for m in state["monitors"]}, seed)
            for monitor in state["monitors"]:
                registered = steps.index(["printers", "add-monitor", monitor["name"], monitor["dll"]])
                self.assertEqual(steps[registered - 1][0], "copy", seed)
                self.assertTrue(all(registered < i for i, step in enumerate(steps)
                                    if step[:2] == ["printers", "add"] and step[3] == monitor["port"]), seed)


class Comparison(unittest.TestCase):
    def test_a_difference_is_explained_only_by_a_named_difference_the_run_met(self):
        monitor = r"C:\windows\system32\vexmon64.dll"
        driver_file = r"C:\windows\system32\spool\drivers\x64\3\vexdrv64.dll"
        rows = [
            # (what, vexsim's machine, Wine's, differences met, half-made printers, left unexplained)
            ("the same machine", machine([("A", "x")]), machine([("A", "x")]), set(), set(), []),
            ("a foreign printer's comment lost", machine([("A", "x")]), machine([("A", "")]), {HALF_MADE}, set(),
             ["printer 'A': comment 'x' vs ''"]),
            ("a half-made printer's comment lost", machine([("A", "x")]), machine([("A", "")]), {HALF_MADE}, {"A"},
             []),
            ("a settings link changed", machine([("A", "")], settings="a"), machine([("A", "")], settings="b"),
             {HALF_MADE}, {"A"}, ["printer 'A': settings ('a', 'a') vs ('b', 'b')"]),
            ("a settings link under DsUser only", machine([(PRINTER, "")], settings="a"),
             machine([(PRINTER, "")], settings=None), set(), set(),
             ["printer 'Ravelquill': settings (None, 'a') vs (None, None)"]),
            ("the half-made default kept", machine(default="B"), machine(default=PRINTER), {HALF_MADE}, {PRINTER}, []),
            ("a default kept, nothing half-made", machine(default="B"), machine(default="C"), {HALF_MADE}, set(),
             ["default printer: vexsim 'B', Wine 'C'"]),
            ("the driver kept, its refusal met", machine(), machine(drivers=[differential.DRIVER],
                                                                     files=[(driver_file, "7.0.0.2446")]),
             {DRIVER_KEPT}, set(), []),
            ("the driver kept, its refusal not met", machine(), machine(drivers=[differential.DRIVER]), set(), set(),
             ["driver 'Ravelquill printer': vexsim none, Wine present"]),
            ("a file of another version", machine(files=[(monitor, "7.0.0.2446")]),
             machine(files=[(monitor, "7.0.0.2415")]), {d.what for d in WINE_DIFFERENCES}, set(),
             [r"file C:\WINDOWS\SYSTEM32\VEXMON64.DLL: vexsim 7.0.0.2446, Wine 7.0.0.2415"]),
            # Another vendor's monitor is never the product's to remove: no
            # named difference covers it going.
            ("the product's monitor kept by vexsim, its x86 listing met", machine(monitors=["Lakeside Port", MONITOR]),
             machine(monitors=["Lakeside Port"]), {X86_MONITORS}, set(), []),
            ("a foreign monitor removed", machine(monitors=["Lakeside Port"]), machine(),
             {d.what for d in WINE_DIFFERENCES}, set(), ["monitor 'Lakeside Port': vexsim present, Wine none"]),
            ("a foreign monitor's module deleted", machine(files=[(r"C:\windows\system32\lakemon64.dll", None)]),
             machine(), {d.what for d in WINE_DIFFERENCES}, set(),
             [r"file C:\WINDOWS\SYSTEM32\LAKEMON64.DLL: vexsim None, Wine absent"]),
        ]
        for what, predicted, real, met, half_made, unexplained in rows:
            with self.subTest(what):
                self.assertEqual(explain_machine(compare_machines(predicted, real), met, half_made), unexplained)

    def test_pending_renames_compare_by_pair_as_text_list_and_raw_bytes(self):
        def machine_with(texts, raw):
            data = texts
            if raw:  # as a saved machine writes bytes, with a run of zeros
                encoded = ("".join(text + "\0" for text in texts) + "\0").encode("utf-16-le")
                body = encoded.rstrip(b"\0")
                data = {"hex": "%s 00*%d" % (body.hex(), len(encoded) - len(body))}
            return {"registry": {"keys": [{"path": differential.SESSION_MANAGER, "values": [
                {"name": "PendingFileRenameOperations", "data": data}]}]}}
        a, b, c = "\\??\\C:\\a.dll", "\\??\\C:\\b.tmp", "\\??\\C:\\c.tmp"
        pairs = [a, "", b, b + ".old", c, ""]
        rows = [
            ("the same, the last target empty", pairs, []),
            ("one source another", [c + "x"] + pairs[1:],
             ["pending rename '%s' to '': vexsim present, Wine none" % a,
              "pending rename '%sx' to '': vexsim none, Wine present" % c]),
            ("a deletion dropped", pairs[:4], ["pending rename '%s' to '': vexsim present, Wine none" % c]),
            ("the same pairs in another order", pairs[2:] + pairs[:2],
             ["pending renames in another order: vexsim %r, Wine %r" % (
                 [(a, ""), (b, b + ".old"), (c, "")], [(b, b + ".old"), (c, ""), (a, "")])]),
        ]
        for what, wine, lines in rows:
            with self.subTest(what):
                self.assertEqual(compare_machines(machine_with(pairs, False), machine_with(wine, True)), lines)

    def test_each_named_difference_is_the_one_its_conformance_case_names(self):
        cases = {}
        for source in sorted((ROOT / "tests" / "conformance").glob("*_cases.cpp")):
            text = source.read_text(encoding="utf-8")
            starts = list(re.finditer(r"CONFORMANCE_CASE\((\w+)\)", text))
            for start, end in zip(starts, starts[1:] + [None]):
                body = text[start.end():end.start() if end else len(text)]
                cases[start.group(1)] = {
                    "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', pieces)).replace('\\"', '"')
                    for pieces in re.findall(r'WineDiffers\(((?:\s*"(?:[^"\\]|\\.)*")+)\s*\)', body)}
        for difference in WINE_DIFFERENCES:
            with self.subTest(difference.case):
                self.assertIn(difference.what, cases.get(difference.case, set()))
