"""The base of every end-to-end scenario: a prefix of its own, removed with
its Wine processes when the test ends, and the checks the scenarios share."""

import json
import unittest

from wine_prefix import PRODUCT_WIN, Prefix, Run, wait_until

BUILD = 2446
ERROR_TITLE = "Ravelquill build %d- Install error log!" % BUILD
PLAIN_TITLE = "Ravelquill build %d- Install log." % BUILD
FIRST_LINE = "Ravelquill %d" % BUILD

# Styles of the dialog's controls that the window must really have.
ES_MULTILINE = 0x0004
ES_READONLY = 0x0800
WS_VSCROLL = 0x00200000
WS_CAPTION = 0x00C00000

# The error line of a run whose local print provider cannot be loaded:
# GetPrinterDriverDirectoryW fails with 1722, as it does on Windows when the
# spooler cannot be reached. Wine's text for 1722; Windows says "The RPC
# server is unavailable."
DRIVER_DIRECTORY_ERROR = "Error(6): Can`t retrieve printer driver directory. - (RPC server unavailable.)"

# The product's spooler objects and tray program.
MONITOR = "Ravelquill:"
DRIVER = "Ravelquill printer"
PRINTER = "Ravelquill"
TRAY_PROGRAM = PRODUCT_WIN + r"\ravtray.exe"
SYSTEM_MONITOR = r"C:\windows\system32\vexmon64.dll"
DRIVER_STORE = r"C:\windows\system32\spool\drivers\x64\3" + "\\"

# Wine's texts for the errors its spooler gives (Windows: "The printer name
# is invalid." for 1801, "The parameter is incorrect." for 87).
WINE_TEXT_1801 = "Invalid printer name."
WINE_TEXT_87 = "Invalid parameter."


def add_printer_error(name: str) -> str:
    """Error 15: Wine refuses the installer's printer (NULL data type, 1801)."""
    return "Error(15): Can`t add printer '%s' - (%s)" % (name, WINE_TEXT_1801)


def open_printer_error(name: str) -> str:
    """Error 16: the printer that Wine half-made cannot be opened (1801)."""
    return "Error(16): Can`t open printer '%s' - (%s)" % (name, WINE_TEXT_1801)


# Error 14: Wine takes no DPD_DELETE_ALL_FILES (87), not even after the restart.
DRIVER_REMOVAL_ERROR = "Error(14): Can`t remove the printer-driver 'Ravelquill printer' - (%s)" % WINE_TEXT_87


class Scenario(unittest.TestCase):
    maxDiff = None

    def prefix(self, **options) -> Prefix:
        parts = self.id().split(".")
        name = parts[0].replace("test_", "", 1) + "." + parts[-1].replace("test_", "", 1)
        prefix = Prefix(name, **options)
        self.addCleanup(prefix.close)
        return prefix

    def break_local_print_provider(self, prefix: Prefix) -> None:
        """Every spooler call of later programs fails, as with no spooler."""
        prefix.reg_add(r"HKCU\Software\Wine\DllOverrides", "localspl", "")

    def repair_local_print_provider(self, prefix: Prefix) -> None:
        prefix.reg("delete", r"HKCU\Software\Wine\DllOverrides", "/v", "localspl", "/f")

    def describe(self, run: Run) -> str:
        return "exit %d after %.1f s, window %s, output %r, Wine's errors %r" % (
            run.exit_code, run.seconds, json.dumps(run.window, indent=1), run.output, run.errors)

    def assertExit(self, run: Run, code: int, words=()) -> None:
        self.assertEqual(run.exit_code, code, "words %r: %s" % (list(words), self.describe(run)))

    def assertNoLogWindow(self, run: Run, words=()) -> None:
        self.assertIsNone(run.window, "words %r: the log window opened: %s" % (list(words), self.describe(run)))

    def assertRun(self, prefix: Prefix, words, code: int, title: str = None, **options) -> list:
        """Runs the installer with `words` (one word or a list): its exit code,
        and its log window with `title` (whose lines are returned) or none."""
        words = [words] if isinstance(words, str) else list(words)
        run = prefix.install(*words, **options)
        self.assertExit(run, code, words)
        if title is None:
            self.assertNoLogWindow(run, words)
            return []
        return self.assertLogWindow(run, title)

    def assertWineInstall(self, prefix: Prefix, word: str = "in") -> list:
        """An install on a prefix without the product: Wine refuses the
        printer, error 15 alone, exit 100 (Windows: 1)."""
        lines = self.assertRun(prefix, word, 100, ERROR_TITLE)
        self.assertEqual(self.errorLines(lines), [add_printer_error(PRINTER)])
        return lines

    def assertLogWindow(self, run: Run, title: str) -> list:
        """The window as the user sees it; returns the lines of its text box."""
        self.assertIsNotNone(run.window, "no log window: " + self.describe(run))
        window = run.window
        self.assertEqual(window["title"], title)
        self.assertEqual(window["button"], "Close")
        self.assertEqual(window["text_class"].lower(), "edit")
        style = int(window["text_style"], 16)
        for bit, name in ((ES_MULTILINE, "ES_MULTILINE"), (ES_READONLY, "ES_READONLY"), (WS_VSCROLL, "WS_VSCROLL")):
            self.assertTrue(style & bit, "text box lacks %s: %s" % (name, window["text_style"]))
        self.assertTrue(int(window["dialog_style"], 16) & WS_CAPTION == WS_CAPTION)
        self.assertTrue(window["closed"], "the window stayed open after %r" % window["close"])
        text = window["text"]
        self.assertTrue(text.endswith("\r\n"), repr(text[-40:]))
        lines = text[:-2].split("\r\n")
        self.assertNotIn("\n", "".join(lines), "a line break without carriage return")
        self.assertEqual(lines[0], FIRST_LINE)
        # Lines written after the window closed are never shown.
        self.assertNotIn(">>0020", lines)
        return lines

    def assertErrorLinesWellFormed(self, lines: list) -> None:
        """Every error line: indented in steps of two, numbered, and ending in
        the system's text for its error code, without its line end."""
        errors = [line for line in lines if "Error(" in line]
        self.assertTrue(errors, "no error line in %r" % lines)
        for line in errors:
            self.assertRegex(line, r"^(  )*Error\((\d|1[0-7])\): \S.* - \((.*\S| No Description )\)$")

    def assertLinesInOrder(self, lines: list, expected: list) -> None:
        """The expected lines, without their indentation, appear in this order."""
        stripped = [line.strip() for line in lines]
        position = 0
        for line in expected:
            try:
                position = stripped.index(line, position) + 1
            except ValueError:
                self.fail("%r missing after line %d of:\n%s" % (line, position, "\n".join(lines)))

    def errorLines(self, lines: list) -> list:
        return [line.strip() for line in lines if "Error(" in line]

    def waitForTray(self, prefix: Prefix, running: bool, timeout: float = 20) -> dict:
        """The state once the tray program's mutex and window are both there
        (or both gone)."""
        def settled():
            state = prefix.state()
            return state if (state["tray_mutex"], state["tray_window"]) == (running, running) else None
        return wait_until(settled, timeout, "the tray program to be %s" % ("running" if running else "gone"),
                          interval=0.2)
