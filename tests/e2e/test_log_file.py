"""The run log kept as a file in C:\\ProgramData\\Ravelquill\\Logs (Wine's
drive_c/ProgramData): what the log window showed, the lines written after it
closed, and the exit code; the 20 newest files kept."""

import re
import subprocess

from scenario import ERROR_TITLE, Scenario

LOGS = r"C:\ProgramData\Ravelquill\Logs"
EXIT_100 = "exit code: 100 (error lines written to the run log)\r\n"


class LogFile(Scenario):
    def local_now(self, prefix) -> str:
        """The time as Wine's GetLocalTime reads it: the host's zone."""
        return subprocess.run(["date", "+%Y%m%d-%H%M%S"], env=prefix.env(), capture_output=True, text=True,
                              check=True).stdout.strip()

    def test_install_keeps_the_window_text_then_the_lines_after_it_and_the_exit_code_wine_error_15(self):
        prefix = self.prefix()
        before = self.local_now(prefix)
        run = prefix.install("IN")
        after = self.local_now(prefix)
        self.assertExit(run, 100)  # Windows: 1
        self.assertLogWindow(run, ERROR_TITLE)
        files = list(prefix.unix_path(LOGS).iterdir())
        self.assertEqual(len(files), 1, files)
        name = re.fullmatch(r"vexinst64-(\d{8}-\d{6})-in\.log", files[0].name)
        self.assertIsNotNone(name, files[0].name)
        self.assertTrue(before <= name.group(1) <= after, (before, name.group(1), after))
        self.assertEqual(files[0].read_bytes().decode("utf-8"), run.window["text"] + ">>0020\r\n" + EXIT_100)

    def test_a_run_keeps_the_20_newest_of_25_older_logs_and_no_other_file(self):
        prefix = self.prefix()
        folder = prefix.unix_path(LOGS)
        folder.mkdir(parents=True)
        old = ["vexinst64-20240101-0000%02d-un.log" % i for i in range(25)]
        foreign = ["vexinst64-20200101-000000-un.log.bak", "VEXINST64-20200101-000000-UN.LOG", "notes.txt"]
        for name in old + foreign:
            (folder / name).write_bytes(b"old\r\n")
        self.assertExit(prefix.install("un"), 2)
        left = sorted(path.name for path in folder.iterdir())
        new = [name for name in left if name not in old + foreign]
        self.assertEqual(len(new), 1, left)
        self.assertTrue(new[0].endswith("-un.log") and (folder / new[0]).read_bytes().endswith(b"exit code: 2 (uninstalled)\r\n"))
        self.assertEqual(left, sorted(old[6:] + foreign + new))
