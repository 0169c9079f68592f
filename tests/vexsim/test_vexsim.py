"""vexsim through its built binary: its own failures, --trace, --changes, show.

Run by CTest as `test_vexsim.py VEXSIM`."""
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

VEXSIM = None  # the binary, from the command line


class VexsimTest(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.machine = os.path.join(self.directory.name, "machine.json")

    def tearDown(self):
        self.directory.cleanup()

    def vexsim(self, *arguments):
        result = subprocess.run([VEXSIM, *arguments], capture_output=True, text=True, timeout=60)
        # An ASan build warns once that it follows the program's own stacks
        # only roughly; that line is the sanitizer's, not vexsim's.
        result.stderr = re.sub(r"(?m)^==\d+==WARNING: ASan doesn't fully support makecontext/swapcontext[^\n]*\n", "",
                               result.stderr)
        return result

    def run_installer(self, *arguments):
        return self.vexsim("--machine", self.machine, *arguments)

    def on_file(self, arguments):
        """vexsim with FILE in `arguments` standing for a machine file not yet there."""
        if os.path.exists(self.machine):
            os.remove(self.machine)
        return self.vexsim(*[self.machine if a == "FILE" else a for a in arguments])

    def saved_machine(self):
        if not os.path.exists(self.machine):
            return None
        with open(self.machine) as file:
            return file.read()

    def assert_refused(self, result, where):
        """vexsim's own failure: exit 2 and one line on stderr that says where."""
        self.assertEqual(result.returncode, 2, result.stdout)
        self.assertRegex(result.stderr, r"^vexsim: [^\n]*" + re.escape(where))
        self.assertEqual(result.stdout, "")

    def assert_refused_and_kept(self, result, where, machine):
        """A refusal in one line that left the machine file as `machine`."""
        self.assert_refused(result, where)
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        self.assertEqual(self.saved_machine(), machine)

    def test_bad_machine_files_are_refused_and_kept(self):
        machine = self.vexsim("new", "--machine", self.machine)
        self.assertEqual(machine.returncode, 0, machine.stderr)
        with open(self.machine) as file:
            whole = file.read()
        cases = [
            ("truncated", whole[: len(whole) // 2], "not JSON"),
            ("wrong type", '{"lastError": "none"}', "machine.lastError: expected"),
            ("unknown field", '{"colour": 1}', 'unknown field "colour"'),
            ("printer without a name", '{"spooler": {"printers": [{"port": "LPT1:"}]}}',
             'machine.spooler.printers[0]: missing field "name"'),
        ]
        for what, text, where in cases:
            with self.subTest(what):
                with open(self.machine, "w") as file:
                    file.write(text)
                for command in (["show"], ["restart"], ["install"]):
                    self.assert_refused_and_kept(self.vexsim(*command, "--machine", self.machine), where, text)

    def test_bad_arguments_are_refused_before_anything_runs(self):
        cases = [
            (["--machine", "FILE", "--frobnicate", "install"], 'unknown argument "--frobnicate"'),
            (["--frobnicate", "--machine", "FILE", "show"], 'unknown argument "--frobnicate"'),
            (["--machine", "FILE", "--close", "maybe", "install"], '--close takes ok, cancel or x, not "maybe"'),
            (["--machine", "FILE", "install", "--owner"], "--owner needs a value"),
            (["show", "--machine", "FILE", "--trace"], 'unknown argument "--trace"'),
            (["--trace", "--machine", "FILE", "show"], 'unknown argument "--trace"'),
            (["--from", "fresh-machine", "--machine", "FILE", "install"], 'unknown argument "--from"'),
            (["--machine", "FILE", "restart", "now"], 'unknown argument "now"'),
            (["--machine", "FILE", "show", "--", "install"], 'unknown argument "--"'),
            (["new", "--machine", "FILE", "--from"], "--from needs a value"),
            (["--machine", "FILE", "--fail", "GlobalAlloc#0:8", "in"], '--fail takes API[#K]:ERROR, not "GlobalAlloc#0:8"'),
            (["--machine", "FILE", "--fail-call", "x:5", "in"], '--fail-call takes N:ERROR, not "x:5"'),
            (["show", "--machine", "FILE", "--fail-call", "1:5"], 'unknown argument "--fail-call"'),
        ]
        self.assertEqual(self.vexsim("new", "--machine", self.machine).returncode, 0)
        fresh = self.saved_machine()
        for arguments, where in cases:
            with self.subTest(arguments):
                result = self.vexsim(*[self.machine if a == "FILE" else a for a in arguments])
                self.assert_refused_and_kept(result, where, fresh)

    def test_options_stand_before_the_subcommand_as_after_it(self):
        cases = [
            (["--machine", "FILE", "show"], ["show", "--machine", "FILE"]),
            (["--machine", "FILE", "restart"], ["restart", "--machine", "FILE"]),
            (["--from", "older-monitor-kept", "--machine", "FILE", "new"],
             ["new", "--machine", "FILE", "--from", "older-monitor-kept"]),
            (["--machine", "FILE", "--shift", "install"], ["--machine", "FILE", "install", "--shift"]),
        ]
        for before, after in cases:
            with self.subTest(before):
                results = []
                for arguments in (before, after):
                    result = self.on_file(arguments)
                    results.append((result.returncode, result.stdout, result.stderr, self.saved_machine()))
                self.assertEqual(results[0], results[1])
                ran = "exit code: " in results[0][1]
                self.assertEqual(ran, after[0] not in ("show", "restart", "new"), results[0][1])

    def test_help_and_words_after_the_end_of_options(self):
        cases = [
            # arguments, exit code, a line of the output, the machine file saved
            (["--help"], 0, r"^usage: vexsim ", False),
            (["show", "--help"], 0, r"^usage: vexsim ", False),
            (["--machine", "FILE", "--help", "install"], 0, r"^usage: vexsim ", False),
            (["--machine", "FILE", "--", "show"], 6, r"^exit code: 6 \(no command\)$", True),
            (["--machine", "FILE", "--", "--help"], 6, r"^exit code: 6 \(no command\)$", True),
            (["--machine", "FILE", "--", "--trace", "install"], 6, r"^exit code: 6 \(no command\)$", True),
        ]
        for arguments, exit_code, line, saved in cases:
            with self.subTest(arguments):
                result = self.on_file(arguments)
                self.assertEqual(result.returncode, exit_code, result.stderr)
                self.assertEqual(result.stderr, "")
                self.assertRegex(result.stdout, re.compile(line, re.M))
                self.assertNotRegex(result.stdout, re.compile(r"^\[", re.M), "the words were the installer's")
                self.assertEqual(self.saved_machine() is not None, saved)

    def test_trace_shows_the_refused_driver_deletions_around_the_spooler_restart(self):
        self.assertEqual(self.run_installer("install").returncode, 1)
        self.edit_machine(lambda machine: machine.update(
            faults={"DeletePrinterDriverExW": {"error": 3001, "count": 2}}))

        result = self.run_installer("--trace", "install")
        self.assertEqual(result.returncode, 100, result.stdout)
        calls = [line for line in result.stdout.splitlines() if line.startswith("[")]
        refused = [i for i, line in enumerate(calls)
                   if '] DeletePrinterDriverExW(NULL, "Windows x64", "Ravelquill printer", ' in line
                   and line.endswith(") = FALSE, error 3001")]
        self.assertEqual(len(refused), 2, "\n".join(calls))
        between = [re.sub(r"^\[ *\d+\.\d{3}\] ", "", line) for line in calls[refused[0] + 1 : refused[1]]]
        stop = next(i for i, call in enumerate(between) if re.match(r"ControlService\(0x\w+, SERVICE_CONTROL_STOP, .*\) = TRUE$", call))
        start = next(i for i, call in enumerate(between) if re.match(r"StartServiceW\(0x\w+, 0, NULL\) = TRUE$", call))
        self.assertLess(stop, start, "\n".join(between))

    def test_a_fault_from_the_command_line_fails_the_call_it_names(self):
        """The second OpenSCManagerW of a reinstall is the spooler restart's; the
        run's first call that can fail is CommandLineToArgvW; an unfired fault stays."""
        self.assertEqual(self.run_installer("install").returncode, 1)
        self.edit_machine(lambda machine: machine.update(
            faults={"DeletePrinterDriverExW": {"error": 3001, "count": 1}}))
        result = self.run_installer("--trace", "--fail", "OpenSCManagerW#2:5", "install")
        self.assertEqual(result.returncode, 100, result.stdout)
        opened = [line for line in result.stdout.splitlines() if "] OpenSCManagerW(" in line]
        self.assertTrue(opened[0].endswith(", error 0"), opened)
        self.assertTrue(opened[1].endswith("= NULL, error 5"), opened)
        self.assertEqual(self.run_installer("--fail-call", "1:8", "--fail", "DeleteFileW#9999:5", "in").returncode, 6)
        shown = self.vexsim("show", "--machine", self.machine)
        self.assertIn("  DeleteFileW: error 5, calls 1, skips 9998\n", shown.stdout)

    def test_the_installer_runs_where_the_machine_has_it(self):
        """A snapshot keeps the installer where it was found; vexsim runs it there."""
        self.assertEqual(self.vexsim("new", "--machine", self.machine).returncode, 0)

        def move(machine):
            for file in machine["files"]["files"]:
                if file["path"].endswith("\\vexinst64.exe"):
                    file["path"] = "D:\\Setup\\vexinst64.exe"
        self.edit_machine(move)
        result = self.run_installer("--trace", "onChkDrv")
        self.assertIn('GetCommandLineW() = "\\"D:\\Setup\\vexinst64.exe\\" onChkDrv"', result.stdout)

    def edit_machine(self, edit):
        with open(self.machine) as file:
            machine = json.load(file)
        edit(machine)
        with open(self.machine, "w") as file:
            json.dump(machine, file)

    def test_changes_list_what_a_run_added_removed_and_changed(self):
        store = r"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\"
        run_log = r"\+ file C:\\ProgramData\\Ravelquill\\Logs\\vexinst64-\d{8}-\d{6}-%s(-\d+)?\.log: size \d+ bytes$"

        def default_product_printer(machine):
            machine["spooler"]["defaultPrinter"] = "Ravelquill"

        def older_driver_copy(machine):
            for file in machine["files"]["files"]:
                if file["path"].endswith(r"\3\vexdrv64.dll"):
                    file["version"] = "7.0.0.2415"

        cases = [
            ("an install on a fresh machine", None, "install", 1, [
                r'\+ monitor "Ravelquill:" \(Windows x64\): dll vexmon64\.dll',
                r'\+ driver "Ravelquill printer" \(Windows x64, version 3\): driver vexdrv64\.dll, .*config vexui64\.dll, help vexhelp\.chm',
                r'\+ printer "Ravelquill": port Ravelquill:, driver "Ravelquill printer"',
                r"\+ file C:\\Windows\\system32\\vexmon64\.dll: size \d+ bytes, version 7\.0\.0\.2446",
                r"\+ file " + store + r"vexdrv64\.dll: ",
                r"\+ file " + store + r"vexui64\.dll: ",
                r"\+ file " + store + r"vexhelp\.chm: ",
                r'\+ registry value HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run RavelquillTray: data REG_SZ "C:\\Program Files\\Ravelquill\\ravtray\.exe"',
                r"\+ running program ravtray\.exe \(pid \d+\)",
                run_log % "install",
            ]),
            ("an uninstall of the default printer", default_product_printer, "uninstall", 2, [
                r'- monitor "Ravelquill:" \(Windows x64\)$',
                r'- driver "Ravelquill printer" \(Windows x64, version 3\)$',
                r'- printer "Ravelquill"$',
                r'~ default printer "Microsoft Print to PDF": was "Ravelquill"$',
                r"- file C:\\Program Files\\Ravelquill\\ravtray\.exe$",
                r"- file C:\\Windows\\system32\\vexmon64\.dll$",
                r"- file " + store + r"vexdrv64\.dll$",
                r"- file " + store + r"vexui64\.dll$",
                r"- file " + store + r"vexhelp\.chm$",
                r"- registry value HKLM\\.*\\Run RavelquillTray$",
                r"- running program ravtray\.exe \(pid \d+\)$",
                run_log % "uninstall",
            ]),
            ("a reinstall over an older driver copy", older_driver_copy, "install", 1, [
                r"~ file " + store + r"vexdrv64\.dll: version 7\.0\.0\.2415 -> 7\.0\.0\.2446$",
                r"- file C:\\Program Files\\Ravelquill\\ravtray\.exe$",
                r"- running program ravtray\.exe \(pid \d+\)$",
                run_log % "install",
            ]),
        ]
        for what, edit, word, exit_code, expected in cases:
            with self.subTest(what):
                if os.path.exists(self.machine):
                    os.remove(self.machine)
                if edit is not None:
                    self.assertEqual(self.run_installer("install").returncode, 1)
                    self.edit_machine(edit)
                result = self.run_installer("--changes", word)
                self.assertEqual(result.returncode, exit_code, result.stdout)
                changes = result.stdout.split("changes:\n", 1)[1].splitlines()[:-1]
                for pattern in expected:
                    self.assertEqual(len([c for c in changes if re.match("  " + pattern, c)]), 1,
                                     pattern + " in\n" + "\n".join(changes))
                self.assertEqual(len(changes), len(expected), "\n".join(changes))

    def test_show_reads_what_the_install_left(self):
        self.assertEqual(self.run_installer("install").returncode, 1)
        shown = self.vexsim("show", "--machine", self.machine).stdout
        for section, line in [
            ("printers", r'"Ravelquill": port Ravelquill:, driver "Ravelquill printer"'),
            ("product files", r"C:\\Windows\\system32\\vexmon64\.dll: size \d+ bytes, version 7\.0\.0\.2446"),
            ("Run value", r'HKLM\\.*\\Run RavelquillTray: data REG_SZ "C:\\Program Files\\Ravelquill\\ravtray\.exe"'),
            ("pending file operations", None),
        ]:
            with self.subTest(section):
                if line is None:
                    self.assertIn("\n" + section + ": none\n", shown)
                else:
                    self.assertRegex(shown, "\n" + section + r":\n(  .*\n)*  " + line + "\n")

    LOGS = "C:\\ProgramData\\Ravelquill\\Logs\\"

    def place_run_logs(self):
        """Run logs as the installer leaves them, and files that are none."""
        self.assertEqual(self.vexsim("new", "--machine", self.machine).returncode, 0)
        files = [
            # path, text, when written on the clock
            (self.LOGS + "vexinst64-20260105-090000-install.log", "first\r\nrun\r\n", 1000),
            (self.LOGS + "vexinst64-20260105-090000-install-2.log", "\ufeffsecond \u00e9\r\n", 1000),
            (self.LOGS + "VEXINST64-20260106-101500-uninstall.LOG", "third\r\nline\r\n", 5000),
            (self.LOGS + "other.log", "not a run log", 9000),
            (self.LOGS + "vexinst64-x.log.bak", "not a run log", 9000),
            ("C:\\ProgramData\\Ravelquill\\vexinst64-20260107-000000-install.log", "elsewhere", 9000),
        ]

        def add(machine):
            machine["files"]["dirs"] += ["C:\\ProgramData\\Ravelquill", self.LOGS[:-1]]
            machine["files"]["files"] += [{"path": path, "data": text.encode("utf-8").hex(), "written": written}
                                          for path, text, written in files]
        self.edit_machine(add)
        return self.saved_machine()

    def test_show_lists_the_run_logs_newest_first(self):
        self.place_run_logs()
        shown = self.vexsim("show", "--machine", self.machine).stdout
        self.assertIn("\nrun logs:\n"
                      "  VEXINST64-20260106-101500-uninstall.LOG: size 13 bytes\n"
                      "  vexinst64-20260105-090000-install-2.log: size 14 bytes\n"
                      "  vexinst64-20260105-090000-install.log: size 12 bytes\n"
                      "Run value:", shown)

    def test_log_prints_a_run_log_as_text_and_saves_nothing(self):
        placed = self.place_run_logs()
        cases = [
            # arguments, exit code, stdout, stderr
            (["log", "--machine", "FILE"], 0, "third\nline\n", ""),
            (["--machine", "FILE", "log", "1"], 0, "third\nline\n", ""),
            (["log", "2", "--machine", "FILE"], 0, "second \u00e9\n", ""),
            (["log", "--machine", "FILE", "3"], 0, "first\nrun\n", ""),
            (["log", "4", "--machine", "FILE"], 2, "",
             "vexsim: no run log 4 in C:\\ProgramData\\Ravelquill\\Logs: there are 3\n"),
            (["log", "0", "--machine", "FILE"], 2, "",
             'vexsim: log takes a number from 1, not "0" (vexsim --help shows the usage)\n'),
            (["log", "x", "--machine", "FILE"], 2, "",
             'vexsim: log takes a number from 1, not "x" (vexsim --help shows the usage)\n'),
            (["log", "1", "2", "--machine", "FILE"], 2, "",
             'vexsim: unknown argument "2" (vexsim --help shows the usage)\n'),
            (["log", "--trace", "--machine", "FILE"], 2, "",
             'vexsim: unknown argument "--trace" (vexsim --help shows the usage)\n'),
        ]
        for arguments, exit_code, stdout, stderr in cases:
            with self.subTest(arguments):
                result = subprocess.run([VEXSIM, *[self.machine if a == "FILE" else a for a in arguments]],
                                        capture_output=True, timeout=60)
                self.assertEqual((result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")),
                                 (exit_code, stdout, stderr))
                self.assertEqual(self.saved_machine(), placed)

    def test_log_without_run_logs_is_refused(self):
        for arguments in (["log"], ["log", "1"]):
            with self.subTest(arguments):
                result = self.on_file(["--machine", "FILE", *arguments])
                self.assert_refused(result, "no run log in C:\\ProgramData\\Ravelquill\\Logs")
                self.assertIsNone(self.saved_machine(), "nothing saved")


if __name__ == "__main__":
    VEXSIM = sys.argv.pop(1)
    unittest.main()
