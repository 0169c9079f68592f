"""vexsnap under Wine: a machine staged in a prefix is snapshotted, vexsim
runs the installer on the snapshot, the real installer runs in the prefix,
and the two run logs agree line for line apart from the named Wine
differences. Then what vexsnap meets on awkward machines, one row each."""

import difflib
import json
import re
import shutil
import subprocess
import sys
import time

from scenario import DRIVER, MONITOR, PRINTER, Scenario
from wine_prefix import HELPERS_WIN, ROOT, WIN64_DIR, WORK_DIR, E2EError

sys.path.insert(0, str(ROOT / "tools" / "differential"))
from differential import (LOGS_WIN, SNAPSHOT_WIN, VEXSIM, VEXSNAP_WIN, WINE_DIFFERENCES, explain,  # noqa: E402
                          log_lines, normalise)

SHOWN_DIR = WORK_DIR / "vexsnap"  # the snapshot and both logs, to look at


def utf16_prefix(text: str, units: int) -> str:
    """The longest start of `text` that takes at most `units` UTF-16 units."""
    out = ""
    for c in text:
        if len((out + c).encode("utf-16-le")) // 2 > units:
            break
        out += c
    return out


class Vexsnap(Scenario):
    def setUp(self):
        if not VEXSIM.exists() or not (WIN64_DIR / "vexsnap.exe").exists():
            raise E2EError("vexsim (linux preset) and vexsnap.exe (win64 preset) must be built first")

    def snapshot(self, prefix, target: str = SNAPSHOT_WIN):
        shutil.copy2(WIN64_DIR / "vexsnap.exe", prefix.unix_path(HELPERS_WIN))
        started = time.monotonic()
        result = prefix.run(VEXSNAP_WIN, target)
        return result, time.monotonic() - started

    def vexsim(self, *args: str):
        return subprocess.run([str(VEXSIM), *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              timeout=120, check=False)

    def stage(self, prefix):
        """Build 2415 installed, the current build laid out to run, foreign
        printers with comments and a default, a product printer with its
        settings key, and a product file pending deletion."""
        self.assertExit(prefix.install("in"), 100)  # Wine half-makes "Ravelquill" (error 15)
        self.waitForTray(prefix, True)
        prefix.lay_out("product")
        laser = prefix.unix_path(HELPERS_WIN + r"\laser")
        laser.mkdir()
        files = (("vexdrv64.dll", "laserdrv.dll"), ("vexui64.dll", "laserui.dll"), ("vexhelp.chm", "laser.chm"))
        for source, name in files:
            shutil.copy2(WIN64_DIR / "product-2415" / "bin" / source, laser / name)
        prefix.run_checked("add-driver", prefix.helper("printers"), "add-driver", "Foreign Laser",
                           *[HELPERS_WIN + "\\laser\\" + name for _, name in files])
        prefix.add_printer("Front Desk", "LPT1:", "Foreign Laser", "Reception, ground floor", "Hall", default=True)
        prefix.add_printer("Plotter", "FILE:", "Foreign Laser", "Large format")
        prefix.add_printer("Invoices", MONITOR, DRIVER, "Invoices as PDF", "Accounts", "invoices")
        prefix.reg_add(r"HKCU\Software\Morvath Software KFT\Ravelquill\Ravelquills\invoices", "deleted", "1")
        prefix.set_pending_renames([(r"\??\C:\windows\system32\spool\drivers\x64\3\vexui64.dll", "")])

    def test_vexsim_on_the_snapshot_writes_the_real_runs_log_apart_from_named_wine_differences(self):
        prefix = self.prefix(layout="product-2415")
        self.stage(prefix)
        snap, seconds = self.snapshot(prefix)
        self.assertEqual(snap.returncode, 0, snap.errors)
        # Only the half-made printer cannot be read.
        self.assertEqual([line for line in snap.errors.splitlines() if line.startswith("vexsnap: left out")],
                         ['vexsnap: left out the data of printer "%s" (error 1801)' % PRINTER])
        SHOWN_DIR.mkdir(parents=True, exist_ok=True)
        machine = SHOWN_DIR / "vexsnap.json"
        shutil.copy2(prefix.unix_path(SNAPSHOT_WIN), machine)
        shutil.copy2(machine, SHOWN_DIR / "snapshot-as-taken.json")

        shown = self.vexsim("--machine", str(machine), "show")
        self.assertEqual(shown.returncode, 0, shown.stderr)
        for text in ('"Front Desk": port LPT1:, driver "Foreign Laser", comment "Reception, ground floor", '
                     'location "Hall"', 'settings name "invoices"', "ravtray.exe (pid", "version 7.0.0.2415",
                     "SERVICE_RUNNING"):
            self.assertIn(text, shown.stdout)
        # The running tray program quits when asked, as the real one does.
        removed = SHOWN_DIR / "after-removetray.json"
        shutil.copy2(machine, removed)
        self.assertEqual(self.vexsim("--machine", str(removed), "removetray").returncode, 6)
        self.assertNotIn("ravtray.exe (pid", self.vexsim("--machine", str(removed), "show").stdout)

        before = normalise(json.loads(machine.read_text(encoding="utf-8")))
        predicted = self.vexsim("--machine", str(machine), "--trace", "--changes", "install")
        self.assertNotEqual(predicted.returncode, 2, predicted.stderr)
        real = prefix.install("install")
        predicted_lines, predicted_code = log_lines(self.vexsim("--machine", str(machine), "log").stdout)
        real_log = sorted(prefix.unix_path(LOGS_WIN).glob("vexinst64-*-install.log"))[-1]
        real_lines, real_code = log_lines(real_log.read_text(encoding="utf-8"))
        (SHOWN_DIR / "predicted.log").write_text("\n".join(predicted_lines) + "\n")
        (SHOWN_DIR / "real.log").write_text("\n".join(real_lines) + "\n")

        unexplained, met = explain(predicted_lines, real_lines)
        self.assertEqual(unexplained, [], "\n".join(difflib.unified_diff(predicted_lines, real_lines, "vexsim", "Wine",
                                                                        lineterm="")))
        # Every difference of the log listed, where this machine has what it
        # needs, is still one Wine makes.
        self.assertEqual(met, {d.what for d in WINE_DIFFERENCES
                               if (d.predicted or d.wine) and (d.when is None or d.when(before))})
        self.assertEqual((predicted.returncode, real.exit_code), (predicted_code, real_code))
        # Wine's extra error lines turn an exit the prediction had as 1 into 100.
        self.assertEqual(real_code, 100)
        self.assertIn(predicted_code, (1, 100))
        self.assertLess(seconds, 30)

    def test_awkward_machines_give_a_snapshot_vexsim_loads(self):
        prefix = self.prefix()
        SHOWN_DIR.mkdir(parents=True, exist_ok=True)

        def take(name: str, target: str = SNAPSHOT_WIN):
            result, seconds = self.snapshot(prefix, target)
            self.assertEqual(result.returncode, 0, "%s: %s" % (name, result.errors))
            copy = SHOWN_DIR / (name + ".json")
            shutil.copy2(prefix.unix_path(target), copy)
            shown = self.vexsim("--machine", str(copy), "show")
            self.assertEqual(shown.returncode, 0, "%s: %s" % (name, shown.stderr))
            return result.errors, shown.stdout, seconds

        # The spooler stopped (as a fresh prefix has it): its state is kept.
        errors, shown, _ = take("spooler-stopped")
        self.assertIn("state SERVICE_STOPPED", shown)

        # An output path that cannot be written: exit 2, one line, nothing left.
        for target in (r"C:\no-such-folder\snap.json", r"C:\windows"):
            result, _ = self.snapshot(prefix, target)
            lines = [line for line in result.errors.splitlines() if line.startswith("vexsnap:")]
            self.assertEqual((result.returncode, len(lines)), (2, 1), result.errors)
            self.assertRegex(lines[0], r"^vexsnap: .*: cannot be written \(error \d+\)$")
            self.assertFalse(prefix.unix_path(target + ".tmp").exists())
            self.assertTrue(prefix.unix_path(target).is_dir() or not prefix.unix_path(target).exists())

        # (row, what sets it up) on one machine, then one snapshot for all.
        self.assertExit(prefix.install("in_notray"), 100)  # a half-made printer whose data cannot be read
        # At the limits Windows sets (220 characters of a printer name, 255 of a
        # comment, counted in UTF-16 units), with a character beyond the BMP.
        wide_name = utf16_prefix("Ελληνικά 漢字 \U0001F5A8 " * 20, 220)
        wide_comment = utf16_prefix("Çà 東京 ✓ " * 40, 255)
        prefix.add_printer(wide_name, "LPT1:", DRIVER, wide_comment, "Ливерпуль")
        prefix.run_checked("1,000 printers", prefix.helper("printers"), "add", "Bulk", "FILE:", DRIVER, "--count",
                           "1000")
        # A monitor whose module is gone, and a driver store that cannot be listed.
        prefix.unix_path(r"C:\windows\system32\vexmon64.dll").unlink()
        store = prefix.unix_path(r"C:\windows\system32\spool\drivers\x64\3")
        store.rename(store.with_name("3.aside"))
        store.symlink_to("3")  # a loop: every lookup under it fails
        errors, shown, seconds = take("awkward")
        left_out = [line for line in errors.splitlines() if line.startswith("vexsnap: left out")]
        for expected in ['the data of printer "%s" (error 1801)' % PRINTER, 'the module of monitor "%s"' % MONITOR,
                         r"the listing of C:\windows\system32\spool\drivers\x64\3"]:
            self.assertTrue(any(expected in line for line in left_out), "%r not in %r" % (expected, left_out))
        self.assertIn('"%s": port LPT1:, driver "%s", comment "%s", location "Ливерпуль"' % (
            wide_name, DRIVER, wide_comment), shown)
        self.assertEqual(len(re.findall(r'^  "Bulk-\d+": port FILE:', shown, re.M)), 1000)
        self.assertLess(seconds, 60)
        print("snapshot of 1,000 printers: %.2f s, %d bytes" % (seconds, (SHOWN_DIR / "awkward.json").stat().st_size))
