"""The run log kept as a file in C:\\ProgramData\\Ravelquill\\Logs (Wine's
drive_c/ProgramData): the log window's text, the lines written after it
closed, and the exit code; the 20 newest files kept, no other touched."""

import re
import subprocess

from scenario import ERROR_TITLE, Scenario

LOGS = r"C:\ProgramData\Ravelquill\Logs"


def local_now(prefix) -> str:
    """The time in the zone Wine's GetLocalTime reads (the host's)."""
    return subprocess.run(["date", "+%Y%m%d-%H%M%S"], env=prefix.env(), capture_output=True, text=True,
                          check=True).stdout.strip()


class LogFile(Scenario):
    def test_install_keeps_the_window_text_then_the_lines_after_it_and_the_exit_code_wine_error_15(self):
        prefix = self.prefix()
        before, run, after = local_now(prefix), prefix.install("IN"), local_now(prefix)
        self.assertExit(run, 100)  # Windows: 1
        self.assertLogWindow(run, ERROR_TITLE)
        [log] = prefix.unix_path(LOGS).iterdir()
        stamp = re.fullmatch(r"vexinst64-(\d{8}-\d{6})-in\.log", log.name).group(1)
        self.assertTrue(before <= stamp <= after, (before, stamp, after))
        self.assertEqual(log.read_bytes().decode("utf-8"), run.window["text"] + ">>0020\r\n"
                         "exit code: 100 (error lines written to the run log)\r\n")

    def test_a_run_keeps_the_20_newest_of_25_older_logs_and_no_other_file(self):
        prefix = self.prefix()
        folder = prefix.unix_path(LOGS)
        folder.mkdir(parents=True)
        old = ["vexinst64-20240101-0000%02d-un.log" % i for i in range(25)]
        foreign = ["vexinst64-20200101-000000-un.log.bak", "VEXINST64-20200101-000000-UN.LOG", "notes.txt"]
        for name in old + foreign:
            (folder / name).write_bytes(b"old\r\n")
        self.assertExit(prefix.install("un"), 2)
        [new] = set(path.name for path in folder.iterdir()) - set(old + foreign)
        self.assertTrue((folder / new).read_bytes().endswith(b"exit code: 2 (uninstalled)\r\n"), new)
        self.assertEqual(sorted(path.name for path in folder.iterdir()), sorted(old[6:] + foreign + [new]))
