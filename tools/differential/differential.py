#!/usr/bin/env python3
"""Differential runs: vexsim against Wine on generated machines.

A seed gives a machine state (foreign printers and drivers, another vendor's
port monitor with printers on its port, product printers with or without
settings, a default printer, an installed build or the files of one build
under another's registration, the tray's Run value and process, pending
renames, a product file made read-only, print jobs waiting: those on
vexsim's side only, as Wine's spooler keeps no job between programs). The
state is staged in a Wine prefix by a staging script (the helper calls, kept
beside the results) and snapshotted by vexsnap. Then a chain of command words
runs: for each, vexsim predicts the run from the snapshot taken just before
it, the real installer runs in the prefix, and the log lines, the exit code
and the machine afterwards (vexsnap again, against vexsim's saved machine)
are compared. Every difference is one of WINE_DIFFERENCES (each with the
conformance case that pins it) or a finding.

  differential.py [--states N] [--seed S] [--jobs J]
"""

import argparse
import difflib
import json
import random
import re
import shutil
from collections import Counter
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field
from pathlib import Path

sys.dont_write_bytecode = True
# The Wine prefixes are the end-to-end suite's.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))

from wine_prefix import (HELPERS_WIN, PRODUCT_WIN, ROOT, TRAY_QUIT_MESSAGE, TRAY_WINDOW_CLASS,  # noqa: E402
                         WIN64_DIR, E2EError, Prefix, wait_until)

VEXSIM = ROOT / "build" / "linux" / "vexsim"
VEXSNAP_WIN = HELPERS_WIN + r"\vexsnap.exe"
SNAPSHOT_WIN = HELPERS_WIN + r"\vexsnap.json"
LOGS_WIN = r"C:\ProgramData\Ravelquill\Logs"
RESULTS_DIR = ROOT / "build" / "differential"

MONITOR = "Ravelquill:"
DRIVER = "Ravelquill printer"
PRINTER = "Ravelquill"
SYSTEM32 = r"C:\windows\system32"
DRIVER_STORE = SYSTEM32 + r"\spool\drivers\x64\3"
RUN_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
SESSION_MANAGER = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager"
SETTINGS_ROOT = r"HKEY_CURRENT_USER\Software\Morvath Software KFT\Ravelquill\Ravelquills" + "\\"
TRAY_MUTEX_PREFIX = "rvs::"
MODULES = ("vexdrv64.dll", "vexui64.dll", "vexhelp.chm")
TRAY_START_SECONDS = 5


@dataclass
class WineDifference:
    """Where Wine's spooler parts from Windows (the conformance case that
    pins it down), and what it accounts for: log lines vexsim predicts for
    Windows, log lines the run under Wine writes instead, and differences of
    the machine afterwards (as `compare_machines` words them)."""
    what: str
    case: str
    predicted: tuple = ()
    wine: tuple = ()
    machine: tuple = ()
    # Its error lines turn an exit code the prediction had into 100.
    errors: bool = False
    # What vexsnap says of a machine that has it, before a run writes a log.
    snapshot: tuple = ()
    # Exit codes it changes: (word, vexsim's, Wine's).
    exits: tuple = ()
    # Whether the machine before a run (normalised) is one where it shows.
    when: object = None


WINE_DIFFERENCES = [
    WineDifference("AddPrinterW with no data type fails with 1801 and leaves a printer it cannot open",
                   "add_get_and_set_printer",
                   predicted=(r"OK", r"OK :\)"),
                   wine=(r"Error\(15\): Can`t add printer '[^']*' - \(Invalid printer name\.\)",
                         r"Error\(16\): Can`t open printer '[^']*' - \(Invalid printer name\.\)",
                         # with no printer re-created, the product's own is tried
                         r">AddPrinter\(%s\)" % PRINTER, r"Let's check our port monitors", r"Port monitor is found"),
                   # Wine's half-made printer cannot be opened, so it is never
                   # deleted: it stays, default, with its settings link unread
                   # and its data lost; the probes find it unreadable.
                   machine=(r"printer '(?P<printer>[^']*)': (settings|comment|location) .* vs (''|None)",
                            r"printer '(?P<printer>[^']*)': vexsim none, Wine present",
                            r"default printer: vexsim .*, Wine '(?P<printer>[^']*)'",
                            # re-created half-made, it cannot be made the default again
                            r"default printer: vexsim '(?P<printer>[^']*)', Wine .*",
                            r"settings key '[^']*': deleted vexsim None, Wine '1'"),
                   errors=True,
                   snapshot=(r'vexsnap: left out the data of printer "(?P<printer>[^"]*)" \(error 1801\)',),
                   exits=(("onChkDrv", 103, 3), ("onInit", 3, 102))),
    WineDifference("DeletePrinterDriverExW refuses every delete flag with 87", "printer_drivers",
                   predicted=(r"OK :\)",),
                   wine=(r"Can't delete driver\. Trying to restart spooler", r">Restart Spooler",
                         r"Error\(14\): Can`t remove the printer-driver '%s' - \(Invalid parameter\.\)" % DRIVER),
                   machine=(r"driver '%s': vexsim none, Wine present" % DRIVER,
                            r"file .*\\X64\\3\\VEX(DRV64\.DLL|UI64\.DLL|HELP\.CHM): vexsim absent, Wine .*"),
                   errors=True),
    # The snapshot records the environment Wine reports, so vexsim's spooler
    # knows no x64 monitor to delete and keeps its module loaded.
    WineDifference("EnumMonitorsW reports every monitor's environment as \"Windows NT x86\"",
                   "enum_monitors_lays_out_records_then_strings",
                   predicted=(r"Can't delete monitor from the first try", r"Can't open printer .*", r">Restart Spooler",
                              r"Error\(12\): Can`t remove the port monitor '%s' - \(The specified print monitor is "
                              r"unknown\.\)" % MONITOR, r"Copy Failed :\(", r">CopyFile vexmon64\.dll to .*"),
                   # the removed monitor's module, pending deletion, is tried at once
                   wine=(r"Monitor was removed :\)", r"DeleteFile-try"),
                   machine=(r"monitor '%s': vexsim present, Wine none" % MONITOR,
                            r"file .*\\SYSTEM32\\VEXMON64\.DLL: vexsim [\d.]+, Wine absent",
                            # the removed monitor's module, held or read-only, goes at the restart
                            r"(?i)pending rename '.*\\system32\\vexmon64\.dll' to '': vexsim none, Wine present")),
    # Windows' spooler keeps a registered monitor's module loaded (deleting it
    # gives 5); Wine's runs inside each program, so only a program that used
    # the monitor holds it, and the installer's delete of a module pending
    # deletion succeeds.
    WineDifference("A registered monitor's module is held only by a program that loaded it",
                   "a_monitor_registered_by_a_program_that_ended_keeps_its_module_loaded",
                   machine=(r"file .*\\SYSTEM32\\VEXMON64\.DLL: vexsim [\d.]+, Wine absent",),
                   when=lambda before: any(path.upper().endswith("\\SYSTEM32\\VEXMON64.DLL")
                                           for path, _ in before["pending renames"] or []),
                   # onInit's delete of the pending module succeeds: nothing left pending
                   exits=(("onInit", 200, 3), ("onInit", 200, 102))),
    # Wine runs as root here, and root opens a file whatever its mode.
    WineDifference("a read-only file opens for writing, run as root (Windows: 5)",
                   "read_only_file_refuses_write_access",
                   predicted=(r"Error\(9\): Cant't open destination file: .* - \(Access is denied\.\)",),
                   wine=(r"Copy Succeeded :\)",),
                   machine=(r"file .*: vexsim \S+ read-only, Wine \S+ read-only",),
                   when=lambda before: any(v and v.endswith(" read-only") for v in before["files"].values()),
                   exits=(("install", 100, 1),)),
]


CASES = {d.what: d.case for d in WINE_DIFFERENCES}


# -- logs ------------------------------------------------------------------------


def explain(predicted: list, real: list, differences=WINE_DIFFERENCES):
    """The lines no named difference accounts for, and the differences met."""
    unexplained, met = [], set()

    def account(line, side, where):
        for difference in differences:
            if any(re.fullmatch(pattern, line.strip()) for pattern in getattr(difference, side)):
                met.add(difference.what)
                return
        unexplained.append("%s: %s" % (where, line))

    matcher = difflib.SequenceMatcher(None, predicted, real, autojunk=False)
    for tag, i1, i2, j1, j2 in matcher.get_opcodes():
        if tag != "equal":
            for line in predicted[i1:i2]:
                account(line, "predicted", "vexsim")
            for line in real[j1:j2]:
                account(line, "wine", "Wine")
    return unexplained, met


def log_lines(text: str):
    """The run log's lines and the exit code its last line names."""
    lines = text.replace("\r\n", "\n").rstrip("\n").split("\n")
    code = re.fullmatch(r"exit code: (\d+) .*", lines[-1])
    if code is None:
        raise E2EError("a run log without its exit code line: %r" % lines[-3:])
    return lines[:-1], int(code.group(1))


# -- the generator ------------------------------------------------------------------

BUILDS = (None, 2415, 2416, 2446)
FOREIGN_NAMES = ("Front Desk", "Plotter", "Labels", "Kitchen", "Étage 2", "Lager Süd", "Принтер", "事務所")
PORTS = ("LPT1:", "LPT2:", "FILE:", "COM1:")
COMMENTS = (None, "", "Reception, ground floor", "Large format", "Ça coûte cher", "A" * 255)
LOCATIONS = (None, "", "Hall", "Floor 3", "Ливерпуль")
SETTINGS = ("invoices", "letters", "Ravelquill", "labels-2")
COMMANDS = ("uninstall", "onInit", "onChkDrv", "def.set", "removetray")
JOBS = (0, 0, 0, 1, 3)  # waiting in one printer
# Another vendor's monitor with a port of its own (the e2e helpers build it).
FOREIGN_MONITORS = ({"name": "Lakeside Port", "dll": "lakemon64.dll", "port": "LAKE1:"},)
# The product's files the installer itself copies, replaces or deletes.
READ_ONLY = (SYSTEM32 + r"\vexmon64.dll", PRODUCT_WIN + r"\ravtray.exe")


def layout(build) -> str:
    return "product" if build in (None, 2446) else "product-%d" % build


def generate(seed: int) -> dict:
    """A machine state and its chain of command words, from the seed alone."""
    rng = random.Random(seed)
    state = {"seed": seed}
    # The build installed, or one build registered with another's files.
    build = rng.choice(BUILDS)
    state["build"] = build
    state["files_of"] = rng.choice([b for b in (2415, 2416, 2446) if b != build]) if build and rng.random() < 0.25 \
        else None
    drivers = []
    for number in range(rng.choice((0, 1, 1, 2))):
        drivers.append({"name": "Foreign Laser %d" % (number + 1), "files": rng.choice((2415, 2416, 2446))})
    state["drivers"] = drivers
    usable = [d["name"] for d in drivers] + ([DRIVER] if build else [])
    printers = []
    if usable:
        for name in rng.sample(FOREIGN_NAMES, rng.randint(0, 3)):
            foreign = [d["name"] for d in drivers]
            printers.append({"name": name, "port": rng.choice(PORTS),
                             "driver": rng.choice(foreign) if foreign and rng.random() < 0.8 else rng.choice(usable),
                             "comment": rng.choice(COMMENTS), "location": rng.choice(LOCATIONS), "settings": None})
    if build:
        for settings in rng.sample(SETTINGS, rng.randint(0, 2)):
            printers.append({"name": "Ravelquill %s" % settings.title(), "port": MONITOR, "driver": DRIVER,
                             "comment": rng.choice(COMMENTS), "location": None,
                             "settings": settings if rng.random() < 0.7 else None,
                             "deleted": rng.random() < 0.3})
    state["printers"] = printers
    # Drawn from a stream of their own, so a seed's other choices stay as
    # they were before machines had foreign monitors.
    extra = random.Random("foreign monitors %d" % seed)
    state["monitors"] = [dict(m) for m in FOREIGN_MONITORS if extra.random() < 1 / 3]
    for monitor in state["monitors"]:
        for printer in printers:
            if printer["port"] != MONITOR and extra.random() < 0.6:
                printer["port"] = monitor["port"]
    state["default"] = rng.choice([None] + [p["name"] for p in printers]) if printers else None
    # The tray: its Run value (the product's, another program's path, or
    # none) and whether it runs; an install leaves both as it makes them.
    state["run_value"] = rng.choice(("keep", "none", "other")) if build else rng.choice(("none", "none", "other"))
    state["tray"] = rng.choice((True, False)) if build else False
    pending = []
    product_files = [SYSTEM32 + r"\vexmon64.dll"] + [DRIVER_STORE + "\\" + m for m in MODULES[:2]]
    foreign_files = [r"C:\windows\temp\setup-%d.tmp" % rng.randint(1, 99), HELPERS_WIN + r"\old-report.txt"]
    for path in rng.sample(product_files + foreign_files, rng.choice((0, 0, 1, 2))):
        pending.append([path, rng.choice(("", path + ".old"))])
    state["pending"] = pending
    chain = list(COMMANDS)
    rng.shuffle(chain)
    at = rng.randint(0, len(chain))
    state["commands"] = chain[:at] + ["install", "install"] + chain[at:]
    state["jobs"] = {p["name"]: n for p in printers for n in [rng.choice(JOBS)] if n}
    # A product file made read-only (as some copy tools leave files), from a
    # stream of its own too.
    read_only = random.Random("read-only %d" % seed)
    state["read_only"] = read_only.choice(READ_ONLY) if build and read_only.random() < 0.3 else None
    return state


def with_jobs(machine: dict, jobs: dict) -> dict:
    """The machine with the state's jobs waiting in the printers of those
    names it has. Wine's spooler keeps no job between programs, so only
    vexsim's side has them: a Windows machine would, and as the installer
    purges a queue before deleting it, they must change nothing."""
    spooler = machine.setdefault("spooler", {})
    number = spooler.get("nextJobId", 1)
    for printer in spooler.get("printers", []):
        for _ in range(jobs.get(printer["name"], 0)):
            printer.setdefault("jobs", []).append({"id": number, "document": "waiting %d" % number})
            number += 1
    spooler["nextJobId"] = number
    return machine


def staging_script(state: dict) -> list:
    """The steps that make the state in a fresh prefix, in order: each a
    list whose first item says what it is (a helper program's arguments, a
    registry value, a file laid out). Kept with the results for rerunning."""
    build = state["build"]
    steps = [["layout", layout(build)]]
    if build:
        steps.append(["install", "in"])
        steps.append(["layout", "product"])  # the current build runs every command
    if state["files_of"]:
        source = layout(state["files_of"])
        steps.append(["copy", source + "/bin/vexmon64.dll", SYSTEM32 + r"\vexmon64.dll"])
        for module in MODULES:
            steps.append(["copy", source + "/bin/" + module, DRIVER_STORE + "\\" + module])
    for monitor in state.get("monitors", []):
        steps.append(["copy", "e2e-helpers/" + monitor["dll"], SYSTEM32 + "\\" + monitor["dll"]])
        steps.append(["printers", "add-monitor", monitor["name"], monitor["dll"]])
    for driver in state["drivers"]:
        folder = HELPERS_WIN + "\\" + driver["name"].replace(" ", "")
        names = ["laser%s%s" % (driver["name"].split()[-1], m[3:]) for m in MODULES]
        for module, name in zip(MODULES, names):
            steps.append(["copy", layout(driver["files"]) + "/bin/" + module, folder + "\\" + name])
        steps.append(["printers", "add-driver", driver["name"]] + [folder + "\\" + n for n in names])
    for printer in state["printers"]:
        args = ["printers", "add", printer["name"], printer["port"], printer["driver"]]
        for option in ("comment", "location", "settings"):
            if printer.get(option) is not None:
                args += ["--" + option, printer[option]]
        if printer["name"] == state["default"]:
            args.append("--default")
        steps.append(args)
        if printer.get("settings") and printer.get("deleted"):
            steps.append(["reg", SETTINGS_ROOT + printer["settings"], "deleted", "1"])
    if state["run_value"] == "none":
        steps.append(["reg-delete", RUN_KEY, "RavelquillTray"])
    elif state["run_value"] == "other":
        steps.append(["reg", RUN_KEY, "RavelquillTray", r"C:\Tools\tray.exe /quiet"])
    if build and not state["tray"]:
        steps.append(["tray-quit"])
    if state.get("read_only"):
        steps.append(["attrib", "+r", state["read_only"]])
    if state["pending"]:
        steps.append(["pending"] + [text for pair in state["pending"] for text in pair])
    return steps


def stage(prefix: Prefix, steps: list) -> None:
    for step in steps:
        kind, args = step[0], step[1:]
        if kind == "layout":
            prefix.lay_out(args[0])
        elif kind == "install":
            prefix.install(*args)
            wait_until(lambda: prefix.state()["tray_window"], 20, "the tray program", interval=0.2)
        elif kind == "copy":
            target = prefix.unix_path(args[1])
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(WIN64_DIR / args[0], target)
        elif kind == "printers":
            prefix.run_checked(" ".join(step), prefix.helper("printers"), *args)
        elif kind == "reg":
            prefix.reg_add(args[0], args[1], args[2])
        elif kind == "attrib":
            prefix.run_checked(" ".join(step), "attrib", *args)
        elif kind == "reg-delete":
            prefix.run("reg", "delete", args[0], "/v", args[1], "/f")  # absent is fine
        elif kind == "tray-quit":
            prefix.run(prefix.helper("postmessage"), TRAY_WINDOW_CLASS, str(TRAY_QUIT_MESSAGE), "0", "0")
            wait_until(lambda: not prefix.state()["tray_window"], 20, "the tray program to quit", interval=0.2)
        elif kind == "pending":
            for path in args[0::2]:  # a foreign file pending a rename exists
                if path.startswith(HELPERS_WIN) or "\\temp\\" in path:
                    prefix.unix_path(path).parent.mkdir(parents=True, exist_ok=True)
                    prefix.unix_path(path).write_text("pending\r\n")
            prefix.set_pending_renames([("\\??\\" + a, ("\\??\\" + b) if b else "")
                                        for a, b in zip(args[0::2], args[1::2])])
        else:
            raise E2EError("unknown staging step %r" % step)


# -- the machine compared ----------------------------------------------------------


def _fold(path: str) -> str:
    return path.replace("/", "\\").upper()


PRODUCT_FOLDERS = (_fold(PRODUCT_WIN) + "\\", _fold(SYSTEM32 + r"\spool\drivers\x64") + "\\")
# The product's monitor module and the foreign ones, which a run must leave be.
MONITOR_MODULES = {_fold(SYSTEM32 + "\\" + dll) for dll in ["vexmon64.dll"] + [m["dll"] for m in FOREIGN_MONITORS]}


def machine_bytes(text: str) -> bytes:
    """A machine file's hex bytes ("4d5a 00*4094")."""
    out = b""
    for token in text.split():
        byte, _, count = token.partition("*")
        out += bytes.fromhex(byte) * (int(count) if count else 1)
    return out


def normalise(machine: dict) -> dict:
    """What both vexsnap and vexsim's saved machine hold of a machine, in one
    shape: printers, drivers, monitors, the default printer, the settings
    keys, the Run value, whether the tray runs, the product files' versions
    and the pending renames."""
    spooler = machine.get("spooler", {})
    printers = {}
    for p in spooler.get("printers", []):
        printers[p["name"]] = {k: p.get(k) for k in ("port", "driver", "comment", "location")}
        # The settings link, plain and under DsUser; None for a printer whose data could not be read.
        data = {key.upper(): values for key, values in p["data"].items()} if "data" in p else None
        printers[p["name"]]["settings"] = None if data is None else tuple(
            next((v["data"] for v in data.get(key, []) if v["name"].upper() == "SUBKEY"), None)
            for key in ("PRINTERDRIVERDATA", "DSUSER"))
    keys = {_fold(k["path"]): k for k in machine.get("registry", {}).get("keys", [])}

    def value(key, name):
        for v in keys.get(_fold(key), {}).get("values", []):
            if v["name"].upper() == name.upper():
                return v["data"]
        return None

    settings = {path[len(_fold(SETTINGS_ROOT)):]: value(path, "deleted") for path in keys
                if path.startswith(_fold(SETTINGS_ROOT)) and "\\" not in path[len(_fold(SETTINGS_ROOT)):]}
    files = {}
    for f in machine.get("files", {}).get("files", []):
        path = _fold(f["path"])
        if path.startswith(PRODUCT_FOLDERS) or path in MONITOR_MODULES:
            read_only = f.get("attributes", 0) & 1  # FILE_ATTRIBUTE_READONLY
            files[path] = "%s read-only" % f.get("version") if read_only else f.get("version")
    windows = machine.get("desktop", {}).get("windows", [])
    pending = value(SESSION_MANAGER, "PendingFileRenameOperations")
    if isinstance(pending, dict):  # raw bytes: a list with an empty string in it
        pending = machine_bytes(pending["hex"]).decode("utf-16-le", "replace")
    elif isinstance(pending, list):
        pending = "\0".join(pending)
    if pending:
        # Trailing empty targets go with the terminators; put them back.
        texts = pending.rstrip("\0").split("\0")
        texts += [""] * (len(texts) % 2)
        pending = list(zip(texts[0::2], texts[1::2]))
    else:
        pending = None
    return {
        "printers": printers,
        "default printer": spooler.get("defaultPrinter"),
        "drivers": sorted(d["name"] for d in spooler.get("drivers", [])),
        "monitors": sorted(m["name"] for m in spooler.get("monitors", [])),
        "settings keys": settings,
        "Run value": value(RUN_KEY, "RavelquillTray"),
        "tray running": any(w.get("className") == TRAY_WINDOW_CLASS for w in windows),
        "files": files,
        "pending renames": pending,
    }


def compare_machines(vexsim: dict, wine: dict) -> list:
    """Each difference as one line, worded as WINE_DIFFERENCES match them."""
    a, b = normalise(vexsim), normalise(wine)
    out = []
    for name in sorted(set(a["printers"]) | set(b["printers"])):
        pa, pb = a["printers"].get(name), b["printers"].get(name)
        if pa is None or pb is None:
            out.append("printer '%s': vexsim %s, Wine %s" % (name, "present" if pa else "none",
                                                              "present" if pb else "none"))
            continue
        for key in pa:
            if pa[key] != pb[key]:
                out.append("printer '%s': %s %r vs %r" % (name, key, pa[key], pb[key]))
    for kind, key in (("driver", "drivers"), ("monitor", "monitors")):
        for name in sorted(set(a[key]) ^ set(b[key])):
            out.append("%s '%s': vexsim %s, Wine %s" % (kind, name, "present" if name in a[key] else "none",
                                                          "present" if name in b[key] else "none"))
    for path in sorted(set(a["files"]) | set(b["files"])):
        va, vb = a["files"].get(path, "absent"), b["files"].get(path, "absent")
        if va != vb:
            out.append("file %s: vexsim %s, Wine %s" % (path, va, vb))
    for name in sorted(set(a["settings keys"]) | set(b["settings keys"])):
        da, db = a["settings keys"].get(name, "absent"), b["settings keys"].get(name, "absent")
        if da != db:
            out.append("settings key '%s': deleted vexsim %r, Wine %r" % (name, da, db))
    for key in ("default printer", "Run value", "tray running"):
        if a[key] != b[key]:
            out.append("%s: vexsim %r, Wine %r" % (key, a[key], b[key]))
    pa, pb = Counter(a["pending renames"] or []), Counter(b["pending renames"] or [])
    for (source, target), count in sorted(((pa - pb) + (pb - pa)).items()):
        out.append("pending rename '%s' to '%s': vexsim %s, Wine %s" % (
            source, target, "present" if pa[(source, target)] > pb[(source, target)] else "none",
            "present" if pb[(source, target)] > pa[(source, target)] else "none"))
    if pa == pb and a["pending renames"] != b["pending renames"]:
        out.append("pending renames in another order: vexsim %r, Wine %r" % (a["pending renames"],
                                                                           b["pending renames"]))
    return out


def explain_machine(lines: list, met: set, half_made: set, used: set = None):
    """The machine's differences no named difference accounts for; a
    difference is only explained by one the run met, and a printer's only
    when Wine has it half-made (vexsnap could not read it). The differences
    that explained one are added to `used`."""
    def explained(line):
        for d in WINE_DIFFERENCES:
            if d.what not in met:
                continue
            for pattern in d.machine:
                match = re.fullmatch(pattern, line)
                if match and match.groupdict().get("printer") in half_made | {None}:
                    if used is not None:
                        used.add(d.what)
                    return True
        return False
    return [line for line in lines if not explained(line)]


def half_made_printers(left_out: list) -> set:
    return {m.group(1) for m in (re.fullmatch(r'vexsnap: left out the data of printer "(.*)" \(error 1801\)', line)
                                 for line in left_out) if m}


# -- one state -------------------------------------------------------------------------


@dataclass
class Compared:
    word: str
    exits: tuple
    log: list = field(default_factory=list)  # unexplained log lines
    machine: list = field(default_factory=list)  # unexplained machine lines
    met: set = field(default_factory=set)  # the named differences that explained one
    exit_explained: bool = True
    counts: dict = field(default_factory=dict)  # differences by kind

    @property
    def ok(self) -> bool:
        return not self.log and not self.machine and self.exit_explained


def vexsim(*args: str):
    return subprocess.run([str(VEXSIM), *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          timeout=120, check=False)


def snapshot(prefix: Prefix, target: Path):
    """The machine as vexsnap writes it, and what it says it left out."""
    result = prefix.run(VEXSNAP_WIN, SNAPSHOT_WIN)
    if result.returncode != 0:
        raise E2EError("vexsnap failed (%d): %s" % (result.returncode, result.errors))
    shutil.copy2(prefix.unix_path(SNAPSHOT_WIN), target)
    said = [line for line in result.errors.splitlines() if line.startswith("vexsnap: left out")]
    return json.loads(target.read_text(encoding="utf-8")), said


def settle_tray(prefix: Prefix, expected: bool) -> None:
    """The installer starts the tray program without waiting for it: give it
    the moment it takes to hold its mutex and show its window (or to be seen
    not to), so the snapshot finds it up or gone, not half-started."""
    def settled():
        state = prefix.state()
        return state["tray_mutex"] == state["tray_window"] and (state["tray_window"] or not expected)
    try:
        wait_until(settled, TRAY_START_SECONDS, "the tray program", interval=0.2)
    except E2EError:
        pass  # the snapshot shows what there is; a difference stays one


def machine_logs(machine: dict) -> list:
    logs = _fold(LOGS_WIN) + "\\"
    return sorted(f["path"] for f in machine.get("files", {}).get("files", []) if _fold(f["path"]).startswith(logs))


def compare_one(prefix: Prefix, word: str, step: int, folder: Path, jobs: dict) -> Compared:
    stem = "%02d-%s" % (step, word)
    before = folder / (stem + "-before.json")
    before_machine, left_out = snapshot(prefix, before)
    predicted_machine = folder / (stem + "-vexsim.json")
    predicted_machine.write_text(json.dumps(with_jobs(json.loads(before.read_text(encoding="utf-8")), jobs),
                                            ensure_ascii=False), encoding="utf-8")
    predicted = vexsim("--machine", str(predicted_machine), "--trace", word)
    (folder / (stem + "-vexsim.trace")).write_text(predicted.stdout + predicted.stderr)
    if predicted.returncode == 2 and predicted.stderr.startswith("vexsim:"):
        raise E2EError("vexsim cannot run %s: %s" % (word, predicted.stderr))
    logs_dir = prefix.unix_path(LOGS_WIN)
    earlier = set(logs_dir.glob("*.log")) if logs_dir.exists() else set()
    real = prefix.install(word)
    saved = json.loads(predicted_machine.read_text(encoding="utf-8"))
    settle_tray(prefix, normalise(saved)["tray running"])
    after, left_after = snapshot(prefix, folder / (stem + "-wine.json"))

    new_logs = sorted(set(logs_dir.glob("*.log")) - earlier) if logs_dir.exists() else []
    predicted_lines, real_lines = [], []
    if machine_logs(saved):
        predicted_lines, _ = log_lines(vexsim("--machine", str(predicted_machine), "log").stdout)
    if new_logs:
        real_lines, _ = log_lines(new_logs[-1].read_text(encoding="utf-8"))
    (folder / (stem + "-vexsim.log")).write_text("\n".join(predicted_lines) + "\n")
    (folder / (stem + "-wine.log")).write_text("\n".join(real_lines) + "\n")
    log, used = explain(predicted_lines, real_lines)
    met = set(used)
    met |= {d.what for d in WINE_DIFFERENCES if any(re.fullmatch(p, line) for p in d.snapshot for line in left_out)}
    met |= {d.what for d in WINE_DIFFERENCES if d.when and d.when(normalise(before_machine))}
    if bool(machine_logs(saved)) != bool(new_logs):
        log.append("a run log written by %s only" % ("vexsim" if new_logs == [] else "Wine"))
    machine_lines = compare_machines(saved, after)
    machine = explain_machine(machine_lines, met, half_made_printers(left_out + left_after), used)
    exits = (predicted.returncode, real.exit_code)
    # Wine's extra error lines make any exit code 100.
    exit_explaining = [d.what for d in WINE_DIFFERENCES if exits[0] != exits[1] and d.what in met and (
        (d.errors and exits[1] == 100) or (word, *exits) in d.exits)]
    exit_explained = exits[0] == exits[1] or bool(exit_explaining)
    used.update(exit_explaining[:1])
    counts = {"log lines": len([1 for _ in difflib.unified_diff(predicted_lines, real_lines, n=0)
                                if not _.startswith(("---", "+++", "@@"))]),
              "machine": len(machine_lines), "exit code": int(exits[0] != exits[1])}
    return Compared(word, exits, log, machine, used, exit_explained, counts)


def run_state(seed: int, keep_all: bool = False) -> dict:
    state = generate(seed)
    steps = staging_script(state)
    folder = RESULTS_DIR / str(seed)
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    (folder / "state.json").write_text(json.dumps(state, indent=1, ensure_ascii=False) + "\n")
    (folder / "staging.json").write_text(json.dumps(steps, indent=1, ensure_ascii=False) + "\n")
    started = time.monotonic()
    report = {"seed": seed, "state": state, "compared": [], "error": None}
    prefix = None
    try:
        prefix = Prefix("differential-%d" % seed, layout=layout(state["build"]))
        shutil.copy2(WIN64_DIR / "vexsnap.exe", prefix.unix_path(HELPERS_WIN))
        stage(prefix, steps)
        for number, word in enumerate(state["commands"], 1):
            report["compared"].append(compare_one(prefix, word, number, folder, state["jobs"]))
    except (E2EError, subprocess.SubprocessError, OSError, ValueError, KeyError) as failure:
        report["error"] = "%s: %s" % (type(failure).__name__, failure)
    finally:
        if prefix is not None:
            prefix.close()
    report["seconds"] = time.monotonic() - started
    report["ok"] = report["error"] is None and all(c.ok for c in report["compared"])
    if report["ok"] and not keep_all:
        shutil.rmtree(folder, ignore_errors=True)
    return report


def describe(report: dict) -> str:
    state = report["state"]
    monitors = "".join(", foreign monitor %r with %d printers on %s" % (
        m["name"], len([p for p in state["printers"] if p["port"] == m["port"]]), m["port"])
        for m in state.get("monitors", []))
    head = ("state %d: build %s%s, %d printers (%d print jobs), %d foreign drivers%s, default %r, Run %s, tray %s, "
            "%d pending (%.0f s)") % (
        report["seed"], state["build"], " with %s's files" % state["files_of"] if state["files_of"] else "",
        len(state["printers"]), sum(state["jobs"].values()), len(state["drivers"]), monitors, state["default"],
        state["run_value"], "running" if state["tray"] else "not running", len(state["pending"]), report["seconds"])
    if state.get("read_only"):
        head += ", read-only " + state["read_only"].rsplit("\\", 1)[-1]
    lines = [head]
    for c in report["compared"]:
        named = ", ".join(sorted(CASES[what] for what in c.met)) or "-"
        lines.append("  %-10s exit vexsim %s / Wine %s; differences %s; explained by %s%s" % (
            c.word, c.exits[0], c.exits[1],
            ", ".join("%s %d" % kv for kv in c.counts.items() if kv[1]) or "none", named,
            "" if c.ok else "  ** FINDING"))
        for line in c.log:
            lines.append("      log: " + line)
        for line in c.machine:
            lines.append("      machine: " + line)
        if not c.exit_explained:
            lines.append("      exit code: vexsim %d, Wine %d" % c.exits)
    if report["error"]:
        lines.append("  ** ERROR " + report["error"])
    if not report["ok"]:
        lines.append("  kept in %s" % (RESULTS_DIR / str(report["seed"])))
    return "\n".join(lines)


def main(argv) -> int:
    parser = argparse.ArgumentParser(description="vexsim against Wine on generated machines")
    parser.add_argument("--states", type=int, default=3)
    parser.add_argument("--seed", type=int, default=None, help="the first state's seed (default: from the time)")
    parser.add_argument("--jobs", type=int, default=1, help="states run at once")
    parser.add_argument("--keep", action="store_true", help="keep every state's files, not only failing ones")
    options = parser.parse_args(argv)
    if not VEXSIM.exists() or not (WIN64_DIR / "vexsnap.exe").exists():
        print("differential: vexsim (linux preset) and vexsnap.exe (win64 preset) must be built first",
              file=sys.stderr)
        return 2
    first = options.seed if options.seed is not None else int(time.time()) % 100000 * 100
    seeds = [first + i for i in range(options.states)]
    print("differential: %d states from seed %d" % (len(seeds), first), flush=True)
    reports = []
    with ThreadPoolExecutor(max_workers=max(1, options.jobs)) as pool:
        for report in pool.map(lambda s: run_state(s, options.keep), seeds):
            print(describe(report), flush=True)
            reports.append(report)
    compared = [c for r in reports for c in r["compared"]]
    kinds = {}
    for c in compared:
        for kind, count in c.counts.items():
            kinds[kind] = kinds.get(kind, 0) + count
    named = {}
    for c in compared:
        for what in c.met:
            named[what] = named.get(what, 0) + 1
    failing = [r for r in reports if not r["ok"]]
    print("\nsummary: %d states, %d commands compared, %.0f s per state" % (
        len(reports), len(compared), sum(r["seconds"] for r in reports) / max(1, len(reports))))
    print("  differences by kind: " + (", ".join("%s %d" % kv for kv in sorted(kinds.items())) or "none"))
    for what, count in sorted(named.items()):
        print("  %3d commands with the Wine difference %s (%s)" % (count, what, CASES[what]))
    print("  commands with findings: %d; states with errors: %d" % (
        len([c for c in compared if not c.ok]), len([r for r in reports if r["error"]])))
    if failing:
        print("  failing states (rerun with --seed S --states 1): " + " ".join(str(r["seed"]) for r in failing))
    return 1 if failing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
