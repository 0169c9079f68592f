"""Wine prefixes with the Ravelquill product laid out, and the installer run in them.

One booted template prefix per test run; each scenario works in a `cp -a`
copy of it, with the product under C:\\Program Files\\Ravelquill\\ and the
Windows test helpers under C:\\ravelquill-e2e\\. Every wait polls with a bound,
and every prefix ends with `wineserver -k`, so no Wine process outlives it.
"""

import json
import os
import platform
import select
import shutil
import subprocess
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

ROOT = Path(__file__).resolve().parents[2]
WIN64_DIR = Path(os.environ.get("E2E_WIN64_DIR", ROOT / "build" / "win64"))
WORK_DIR = Path(os.environ.get("E2E_WORK_DIR", ROOT / "build" / "e2e"))
TEMPLATE_DIR = WORK_DIR / "template"
SCENARIO_DIR = WORK_DIR / "scenarios"

WINE = shutil.which("wine64", path="/usr/lib/wine:" + os.environ.get("PATH", "")) or "/usr/lib/wine/wine64"
WINESERVER = (shutil.which("wineserver", path="/usr/lib/wine:" + os.environ.get("PATH", ""))
              or "/usr/lib/wine/wineserver")
# Every Windows program starts without address randomisation. Debian's Wine has
# no preloader to reserve the low addresses Windows needs, so the loader's own
# heap lands anywhere in the gigabyte above it, and about one start in two
# thousand finds it on the shared user data page at 0x7ffe0000: that program
# ends at once with exit 1 ("failed to map the shared user data"). Without
# randomisation the heap always sits right above the loader, far below it.
# Wine's own processes inherit the setting.
WINE_COMMAND = ["setarch", platform.machine(), "--addr-no-randomize", WINE]

PRODUCT_WIN = r"C:\Program Files\Ravelquill"
INSTALLER_WIN = PRODUCT_WIN + r"\bin\vexinst64.exe"
HELPERS_WIN = r"C:\ravelquill-e2e"
HELPERS = ("holdfile", "holdshift", "logwindow", "spoolstate", "ownerwindow", "postmessage", "printers", "ready")

TRAY_WINDOW_CLASS = "rvs::{05759F8E-103D-41B6-8A61-EFAA89516692}"
TRAY_QUIT_MESSAGE = 1026

SPOOLER_SERVICE_KEY = r"HKLM\System\CurrentControlSet\Services\Spooler"

# Bounds of every wait, in seconds.
BOOT_TIMEOUT = 180
RUN_TIMEOUT = 60
KILL_TIMEOUT = 30


class E2EError(AssertionError):
    pass


def wine_environment(prefix: Path, display: Optional[str] = None) -> dict:
    """The environment of every Wine process: nothing of the developer's own
    session leaks in (no display, no printers of the host, no home)."""
    home = WORK_DIR / "home"
    home.mkdir(parents=True, exist_ok=True)
    env = {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "HOME": str(home),
        "LC_ALL": "C.UTF-8",
        "WINEPREFIX": str(prefix),
        # Wine's error lines only; they go to each program's error file.
        "WINEDEBUG": "fixme-all",
        # No Mono or Gecko installer dialogs while the prefix is booted, and no
        # menu builder: at every boot it opened and closed a desktop of its
        # own while the scenario's first programs came up.
        "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
        # The host's CUPS printers would otherwise appear in every prefix.
        "CUPS_SERVER": str(WORK_DIR / "no-cups.sock"),
    }
    if "TMPDIR" in os.environ:
        env["TMPDIR"] = os.environ["TMPDIR"]
    if display is not None:
        env["DISPLAY"] = display
    return env


def kill_wineserver(prefix: Path) -> None:
    """Ends every Wine process of the prefix; the registry is saved on the way."""
    if not prefix.exists():
        return
    subprocess.run([WINESERVER, "-k"], env=wine_environment(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=KILL_TIMEOUT, check=False)
    # -k returns once the server is told; wait until its socket is gone.
    wait_until(lambda: not server_running(prefix), KILL_TIMEOUT, "wineserver of %s to exit" % prefix)


def server_running(prefix: Path) -> bool:
    env = wine_environment(prefix)
    # Signal 0 only asks whether a server answers for the prefix.
    result = subprocess.run([WINESERVER, "-k0"], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=KILL_TIMEOUT, check=False)
    return result.returncode == 0


def wait_until(condition, timeout: float, what: str, interval: float = 0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise E2EError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def require_build() -> None:
    missing = [p for p in [WIN64_DIR / "product" / "bin" / "vexinst64.exe"]
               + [WIN64_DIR / "e2e-helpers" / (h + ".exe") for h in HELPERS] if not p.exists()]
    if missing:
        raise E2EError("the win64 build is incomplete (run scripts/e2e, or cmake --build --preset win64): "
                       + ", ".join(str(p) for p in missing))


def boot_prefix(path: Path) -> None:
    """A freshly booted, idle, headless prefix."""
    if path.exists():
        kill_wineserver(path)
        shutil.rmtree(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    env = wine_environment(path)
    # Wine's output goes to a file (a pipe would stay open in the processes
    # the boot leaves running) and is shown when the boot fails.
    log = path.parent / (path.name + "-boot.log")
    with open(log, "wb") as sink:
        booted = subprocess.run(WINE_COMMAND + ["wineboot", "--init"], env=env, stdout=sink, stderr=subprocess.STDOUT,
                                timeout=BOOT_TIMEOUT, check=False)
    output = log.read_text(errors="replace")
    log.unlink()
    if booted.returncode != 0:
        raise E2EError("wineboot --init exited with %d: %s" % (booted.returncode, output[-2000:]))
    # Windows and dialogs without an X display: the null graphics driver.
    subprocess.run(WINE_COMMAND + ["reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/d", "null", "/f"],
                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT, check=True)
    # Idle: everything the boot started has finished and the registry is saved.
    subprocess.run([WINESERVER, "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=BOOT_TIMEOUT, check=False)
    kill_wineserver(path)


def boot_template() -> None:
    require_build()
    boot_prefix(TEMPLATE_DIR)


def sweep() -> None:
    """Kills what an interrupted run left behind and removes its prefixes."""
    for prefix in list(SCENARIO_DIR.glob("*")) + [TEMPLATE_DIR]:
        if prefix.is_dir():
            kill_wineserver(prefix)
            shutil.rmtree(prefix, ignore_errors=True)
    if SCENARIO_DIR.is_dir() and not any(SCENARIO_DIR.iterdir()):
        SCENARIO_DIR.rmdir()


@dataclass
class Finished:
    returncode: int
    stdout: str
    errors: str  # stderr: Wine's error lines and whatever the program wrote there


class WineProcess:
    """A Windows program under Wine. Its stdout and stderr go to files, never
    pipes: Wine's own background processes that a program happens to start
    inherit them, and a pipe would never reach its end. Its stdin is a pipe
    that the helpers watch: closing it tells them to stop."""

    def __init__(self, command: list, env: dict, output: Path, cwd: Optional[Path] = None):
        self.name = command[len(WINE_COMMAND)]
        self.output_path = output
        self.errors_path = output.with_suffix(".err")
        with open(output, "wb") as sink, open(self.errors_path, "wb") as errors:
            self.popen = subprocess.Popen(command, env=env, cwd=str(cwd) if cwd else None, stdin=subprocess.PIPE,
                                          stdout=sink, stderr=errors)

    def output(self) -> str:
        return self.output_path.read_text(encoding="utf-8", errors="replace")

    def errors(self) -> str:
        return self.errors_path.read_text(encoding="utf-8", errors="replace")

    def line(self, timeout: float = RUN_TIMEOUT) -> str:
        """The first line the program prints, once it is complete."""
        text = wait_until(lambda: self.output() if "\n" in self.output() or self.popen.poll() is not None else "",
                          timeout, "a line from " + self.name)
        return text.split("\n", 1)[0].strip()

    def wait(self, timeout: float = RUN_TIMEOUT) -> Finished:
        """Waits for the program to end by itself; its stdin stays open."""
        try:
            code = self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise E2EError("%s did not end within %.0f s; Wine's errors: %r" % (self.name, timeout, self.errors()))
        self.close_stdin()
        return Finished(code, self.output(), self.errors())

    def finish(self, timeout: float = RUN_TIMEOUT) -> Finished:
        """Closes stdin (the helpers' signal to stop) and waits for the end."""
        self.close_stdin()
        return self.wait(timeout)

    def close_stdin(self) -> None:
        if self.popen.stdin and not self.popen.stdin.closed:
            self.popen.stdin.close()

    def kill(self) -> None:
        self.close_stdin()
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait()


def window_report(result: Finished) -> Optional[dict]:
    """The log window helper's report; None when no window opened."""
    lines = result.stdout.strip().splitlines()
    if not lines or not lines[-1].startswith("{"):
        raise E2EError("the log window helper ended with %d: %r; Wine's errors: %r" % (result.returncode, result.stdout,
                                                                                       result.errors))
    window = json.loads(lines[-1])
    return window if window.get("found") else None


@dataclass
class Run:
    exit_code: int
    window: Optional[dict]  # what the log window showed, None when it never opened
    seconds: float
    output: str = ""
    errors: str = ""  # Wine's error lines


class Prefix:
    """One scenario's prefix, copied from the template, with the product laid out."""

    def __init__(self, name: str, layout: str = "product", template: Path = TEMPLATE_DIR,
                 path: Optional[Path] = None, display: Optional[str] = None):
        require_build()
        self.path = path or SCENARIO_DIR / name
        self.display = display
        self._outputs = 0
        if path is None:
            if not template.exists():
                raise E2EError("no template prefix at %s (ctest boots it; or run tests/e2e/harness.py boot)"
                               % template)
            if self.path.exists():
                kill_wineserver(self.path)
                shutil.rmtree(self.path)
            self.path.parent.mkdir(parents=True, exist_ok=True)
            subprocess.run(["cp", "-a", str(template), str(self.path)], check=True, timeout=RUN_TIMEOUT)
        self.lay_out(layout)
        self.boot()

    # -- layout ---------------------------------------------------------------

    @property
    def drive_c(self) -> Path:
        return self.path / "drive_c"

    def unix_path(self, windows_path: str) -> Path:
        assert windows_path[:3].upper() == "C:\\", windows_path
        return self.drive_c.joinpath(*windows_path[3:].split("\\"))

    def lay_out(self, layout: str, target: str = PRODUCT_WIN) -> None:
        """The product as its setup installs it: modules and installer in bin\\,
        the tray program in the product directory."""
        source = WIN64_DIR / layout
        if not (source / "bin" / "vexinst64.exe").exists():
            raise E2EError("no product layout at %s" % source)
        shutil.copytree(source, self.unix_path(target), dirs_exist_ok=True)
        helpers = self.unix_path(HELPERS_WIN)
        helpers.mkdir(parents=True, exist_ok=True)
        for helper in HELPERS:
            shutil.copy2(WIN64_DIR / "e2e-helpers" / (helper + ".exe"), helpers)

    # -- processes ------------------------------------------------------------

    def env(self) -> dict:
        return wine_environment(self.path, self.display)

    def helper(self, name: str) -> str:
        return HELPERS_WIN + "\\" + name + ".exe"

    def boot(self) -> None:
        """Starts the prefix's wineserver for the whole scenario, like a
        machine that stays up: without it the server, and with it the service
        manager and the spooler, would end whenever no program runs. Then the
        ready helper, the machine's session, starts Wine's own processes
        (service manager, drivers, desktop) and keeps the desktop up: each
        inherits the stderr of the program that starts it, and what they print
        (a Wine driver crashes now and then while it starts) must not land in
        a scenario program's output. Their output, and the session's, is the
        prefix's first output file."""
        if server_running(self.path):
            kill_wineserver(self.path)  # someone's leftovers: start from a clean machine
        subprocess.run([WINESERVER, "-p"], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=KILL_TIMEOUT, check=False)
        wait_until(lambda: server_running(self.path), KILL_TIMEOUT, "the wineserver of " + self.path.name)
        self.session = session = self.start(self.helper("ready"))
        wait_until(lambda: "ready" in session.output().splitlines() or session.popen.poll() is not None, RUN_TIMEOUT,
                   "the session of " + self.path.name)
        if "ready" not in session.output().splitlines():
            self.shut_down()
            raise E2EError("%s did not come up (%s): %r; Wine's errors: %r" % (
                self.path.name, session.popen.returncode, session.output(), session.errors()))

    def shut_down(self) -> None:
        """Every process of the machine ends, the session with them."""
        kill_wineserver(self.path)
        self.session.kill()

    def start(self, program: str, *args: str, cwd: Optional[Path] = None) -> "WineProcess":
        """A program that runs until it ends or, for the helpers that wait,
        until its stdin is closed."""
        self._outputs += 1
        output = self.path / "e2e-output" / ("%d.txt" % self._outputs)
        output.parent.mkdir(exist_ok=True)
        return WineProcess(WINE_COMMAND + [program, *args], self.env(), output, cwd)

    def run(self, program: str, *args: str, timeout: float = RUN_TIMEOUT) -> "Finished":
        process = self.start(program, *args)
        return process.finish(timeout)

    def run_checked(self, what: str, program: str, *args: str) -> "Finished":
        """Runs a program that must end with 0; otherwise says what failed,
        with the program's output and Wine's errors."""
        result = self.run(program, *args)
        if result.returncode != 0:
            raise E2EError("%s failed (%d): %r; Wine's errors: %r" % (what, result.returncode, result.stdout,
                                                                      result.errors))
        return result

    def reg(self, *args: str) -> None:
        self.run_checked("reg " + " ".join(args), "reg", *args)

    def reg_add(self, key: str, value: str, data: str, kind: str = "REG_SZ") -> None:
        self.reg("add", key, "/v", value, "/t", kind, "/d", data, "/f")

    def restart_wine(self) -> None:
        """A restart of the machine: every process ends, the registry is
        saved, and a fresh service manager reads its services anew."""
        self.shut_down()
        self.boot()

    def state(self, *files: str) -> dict:
        return json.loads(self.run_checked("spoolstate", self.helper("spoolstate"), *files).stdout)

    def printers(self) -> dict:
        """The spooler as the printer scenarios read it: the printers with
        their settings names ({"open_error": N} when they cannot be opened)
        and default flag, the default printer, the monitors' and drivers' names."""
        state = self.state()

        def text(entry: dict) -> Optional[str]:
            return entry.get("value") if entry.get("type") == 1 else None  # REG_SZ

        def settings(data: dict) -> dict:
            if "open_error" in data:
                return {"open_error": data["open_error"]}
            return {"plain": text(data["SubKey"]), "dsuser": text(data["DsUser\\SubKey"])}

        default = state["default_printer"]
        return {"printers": [{"name": p["name"], "port": p["port"], "driver": p["driver"], "comment": p["comment"],
                              "location": p["location"], "settings": settings(p["data"]),
                              "default": p["name"] == default} for p in state["printers"]],
                "default_printer": default,
                "monitors": [m["name"] for m in state["monitors"]],
                "drivers": [d["name"] for d in state["drivers"]]}

    def add_printer(self, name: str, port: str, driver: str, comment: Optional[str] = None,
                    location: Optional[str] = None, settings: Optional[str] = None, default: bool = False) -> None:
        """A printer as a user would have it: RAW data type, a device mode,
        its settings name as printer data "SubKey" (plain and under DsUser)."""
        args = ["add", name, port, driver]
        for option, value in (("--comment", comment), ("--location", location), ("--settings", settings)):
            if value is not None:
                args += [option, value]
        if default:
            args.append("--default")
        self.run_checked("printers add " + name, self.helper("printers"), *args)

    def add_driver(self, name: str, layout_bin: str = PRODUCT_WIN + r"\bin") -> None:
        """Registers a driver from a layout's driver, UI and help files."""
        files = [layout_bin + "\\" + f for f in ("vexdrv64.dll", "vexui64.dll", "vexhelp.chm")]
        self.run_checked("printers add-driver " + name, self.helper("printers"), "add-driver", name, *files)

    def set_pending_renames(self, pairs: list) -> None:
        """The system's PendingFileRenameOperations as (source, target) pairs,
        written raw (reg import of hex(7)): an empty target means "delete"."""
        strings = [text for pair in pairs for text in pair]
        data = "".join(text + "\0" for text in strings) + "\0"
        hexed = ",".join("%02x" % b for b in data.encode("utf-16-le"))
        reg_file = self.unix_path(HELPERS_WIN + r"\pending.reg")
        # UTF-16 with its mark: Wine reads hex(7) of an ANSI file as ANSI text.
        reg_file.write_text('Windows Registry Editor Version 5.00\r\n\r\n'
                            r'[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager]' + '\r\n'
                            '"PendingFileRenameOperations"=hex(7):%s\r\n' % hexed, encoding="utf-16")
        self.reg("import", HELPERS_WIN + r"\pending.reg")

    # -- the installer ----------------------------------------------------------

    def start_installer(self, *words: str, installer: str = INSTALLER_WIN) -> "WineProcess":
        return self.start(installer, *words, cwd=self.unix_path(installer).parent)

    def log_window(self, close: str, timeout: float = RUN_TIMEOUT) -> Optional[dict]:
        """Waits for the log window, reads it and closes it as asked ("ok",
        "cancel", "close" or "none"); None when it does not open in time."""
        watcher = self.start(self.helper("logwindow"), "--close", close, "--timeout-ms", str(int(timeout * 1000)))
        return window_report(watcher.wait(timeout + RUN_TIMEOUT))

    def install(self, *words: str, close: str = "ok", timeout: float = RUN_TIMEOUT,
                installer: str = INSTALLER_WIN) -> Run:
        """Runs the installer with the words while the log window helper
        watches: when the window opens it is read and closed as asked. The
        helper stops looking once the installer has ended."""
        watcher = self.start(self.helper("logwindow"), "--close", close, "--timeout-ms", str(int(timeout * 1000)))
        started = time.monotonic()
        program = self.start_installer(*words, installer=installer)
        try:
            result = program.wait(timeout)
        except E2EError as hang:
            watching = watcher.popen.poll()
            watcher.kill()
            kill_wineserver(self.path)
            raise E2EError("%s (words %r); the log window helper %s, output %r, Wine's errors %r" % (
                hang, words, "was still looking" if watching is None else "had ended with %d" % watching,
                watcher.output(), watcher.errors()))
        seconds = time.monotonic() - started
        report = watcher.finish(RUN_TIMEOUT)
        return Run(result.returncode, window_report(report), seconds, result.stdout, result.errors)

    # -- end --------------------------------------------------------------------

    def close(self, remove: bool = True) -> None:
        self.shut_down()
        if remove and not os.environ.get("E2E_KEEP"):
            shutil.rmtree(self.path, ignore_errors=True)

    def __enter__(self) -> "Prefix":
        return self

    def __exit__(self, *exc) -> None:
        self.close()


class VirtualScreen:
    """An Xvfb display of its own, for runs that draw real windows."""

    def __init__(self, size: str = "800x600x24"):
        self.size = size
        self.process = None
        self.display = None
        self.announcement = None
        self.log_path = None

    def __enter__(self) -> "VirtualScreen":
        read_end, write_end = os.pipe()
        WORK_DIR.mkdir(parents=True, exist_ok=True)
        self.log_path = WORK_DIR / ("xvfb-%d.log" % os.getpid())
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size,
                                             # The screen stays as it is between clients.
                                             "-noreset", "-nolisten", "tcp"], pass_fds=(write_end,),
                                            stdout=log, stderr=subprocess.STDOUT)
        os.close(write_end)
        # The number comes in two writes, the digits and then the line end; the
        # pipe stays open until the end, or the server dies writing to it.
        self.announcement = read_end
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(read_end, 32) if ready else b""
            if not chunk:
                break
            number += chunk
        number = number.decode().strip()
        if not number:
            log = self.log_path.read_text(errors="replace")
            self.__exit__()
            raise E2EError("Xvfb did not start: " + log)
        self.display = ":" + number
        return self

    def capture(self) -> bytes:
        """The screen's pixels, three bytes each."""
        return subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8", "RGB:-"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT,
                              check=True).stdout

    def save_png(self, path: Path) -> None:
        path.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-display", self.display, "-window", "root", str(path)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT, check=True)

    def __exit__(self, *exc) -> None:
        if self.process is not None:
            self.process.terminate()
            try:
                self.process.wait(timeout=KILL_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None
        if self.announcement is not None:
            os.close(self.announcement)
            self.announcement = None
        if self.log_path is not None and self.log_path.exists():
            self.log_path.unlink()
