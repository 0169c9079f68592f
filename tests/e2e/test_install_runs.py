"""Install, uninstall, reinstall and removetray through the real program under
Wine, judged by the exit code, the log window's lines and the spooler's state.

Wine refuses every printer the installer adds (it passes no data type): the
add fails with 1801 and leaves a printer that is listed but cannot be opened.
So under Wine every install writes error 15 (exit 100, Windows: 1), and every
later uninstall or reinstall error 16 for that printer; Wine takes no
DPD_DELETE_ALL_FILES, so removing the driver writes error 14."""

from scenario import (DRIVER, DRIVER_REMOVAL_ERROR, DRIVER_STORE, ERROR_TITLE, MONITOR, PRINTER, SYSTEM_MONITOR,
                      TRAY_PROGRAM, Scenario, add_printer_error, open_printer_error)

# The install half on a machine without the product, as every fresh install logs it.
FRESH_INSTALL_LINES = [
    ">>0010", ">ReInstall", ">UnInstall", ">DeleteAllPrinters", "No Ravelquill driver was found", ">DeleteMonitor",
    "No Ravelquill port monitor was found.", "Version is unknown, proceed with reinstall",
    "Can't delete monitor and monitor was not found. So everything should be ok",
    ">AddMonitor", "Copy monitor file", "AddMonitor - OK :)", ">Add Printer Driver", "OK :)",
    ">AddPrinter(Ravelquill)", "Let's check our port monitors", "Port monitor is found",
]
USER_PRINTERS = [  # (name, comment, location, settings name, default)
    ("Aster", "Second floor", "Room 2", "Aster-1", True),
    ("Bramble", "Front desk", "Hall", "Bramble-2", False),
]


class InstallRuns(Scenario):
    def install_fresh(self, word: str, tray: bool):
        prefix = self.prefix()
        self.assertLinesInOrder(self.assertWineInstall(prefix, word), FRESH_INSTALL_LINES)

        spooler = prefix.printers()
        self.assertIn(MONITOR, spooler["monitors"])
        self.assertEqual(spooler["drivers"], [DRIVER])
        # The half-made printer: listed with its port and driver, not openable.
        self.assertEqual(spooler["printers"], [
            {"name": PRINTER, "port": MONITOR, "driver": DRIVER, "comment": "", "location": None,
             "settings": {"open_error": 1801}, "default": False}])
        state = self.waitForTray(prefix, tray)
        self.assertEqual(state["run_tray"], TRAY_PROGRAM if tray else None)
        self.assertEqual((state["tray_mutex"], state["tray_window"]), (tray, tray))
        self.assertIsNone(state["pending_renames"])
        files = prefix.state(SYSTEM_MONITOR, DRIVER_STORE + "vexdrv64.dll", DRIVER_STORE + "vexui64.dll",
                             r"C:\windows\system32\spool\drivers\x64\vexdrv64.dll")["files"]
        # Monitor and driver copies in place, of the layout's build; no staged copy left.
        self.assertEqual([(f["exists"], f["build"]) for f in files],
                         [(True, 2446), (True, 2446), (True, 2446), (False, None)])
        return prefix

    def test_install_registers_monitor_driver_tray_and_a_printer_wine_cannot_open_error_15(self):
        self.install_fresh("in", tray=True)

    def test_in_notray_registers_no_tray_wine_error_15(self):
        prefix = self.install_fresh("in_notray", tray=False)
        # Nothing named the tray program, so the uninstall half left its file.
        self.assertTrue(prefix.state(TRAY_PROGRAM)["files"][0]["exists"])

    def test_uninstall_after_install_wine_keeps_the_driver_and_the_half_made_printer_errors_16_14(self):
        prefix = self.prefix()
        self.assertExit(prefix.install("in"), 100)
        self.waitForTray(prefix, True)
        lines = self.assertRun(prefix, "un", 100, ERROR_TITLE)  # Windows: 2
        self.assertLinesInOrder(lines, [
            ">UnInstall", ">DeleteAllPrinters", ">DeletePrinter(Ravelquill)", open_printer_error(PRINTER),
            ">DeletePrinterDriver for Windows x64", "Driver is found. Index=1",
            "Can't delete driver. Trying to restart spooler", DRIVER_REMOVAL_ERROR,
            ">DeleteMonitor", "There is no check for monitor version", "Monitor was removed :)"])
        self.assertNotIn(">>0010", lines)
        self.assertEqual(self.errorLines(lines), [open_printer_error(PRINTER), DRIVER_REMOVAL_ERROR])

        spooler = prefix.printers()
        # Wine deletes a monitor that a printer still uses (Windows: 3008).
        self.assertNotIn(MONITOR, spooler["monitors"])
        self.assertEqual(spooler["drivers"], [DRIVER])  # error 14
        self.assertEqual([(p["name"], p["settings"]) for p in spooler["printers"]], [(PRINTER, {"open_error": 1801})])
        state = self.waitForTray(prefix, False)
        self.assertIsNone(state["run_tray"])
        self.assertIsNone(state["pending_renames"])
        files = prefix.state(SYSTEM_MONITOR, TRAY_PROGRAM)["files"]
        self.assertEqual([f["exists"] for f in files], [False, False])

    def test_reinstall_over_user_printers_wine_recreates_none_and_moves_the_default_errors_16_14_15(self):
        prefix = self.prefix()
        self.assertExit(prefix.install("in"), 100)
        self.waitForTray(prefix, True)
        for name, comment, location, settings, default in USER_PRINTERS:
            prefix.add_printer(name, MONITOR, DRIVER, comment, location, settings, default)
        before = prefix.printers()
        self.assertEqual([(p["name"], p["settings"], p["default"]) for p in before["printers"]], [
            ("Aster", {"plain": "Aster-1", "dsuser": "Aster-1"}, True),
            ("Bramble", {"plain": "Bramble-2", "dsuser": "Bramble-2"}, False),
            (PRINTER, {"open_error": 1801}, False)])

        lines = self.assertRun(prefix, "in", 100, ERROR_TITLE)  # Windows: 1
        # Snapshot order (Wine lists printers and monitors by name: "Local
        # Port" first, so "Index=2"); saved printers come back last-saved
        # first; with none re-created "Ravelquill" is tried.
        self.assertLinesInOrder(lines, [
            ">>0010", ">ReInstall", ">UnInstall", ">DeleteAllPrinters", ">DeletePrinter(Aster)", "OK",
            ">DeletePrinter(Bramble)", "OK", ">DeletePrinter(Ravelquill)", open_printer_error(PRINTER),
            DRIVER_REMOVAL_ERROR, ">DeleteMonitor", "Port monitor is found. Index=2",
            "Version (2446) is compatible, proceed without uninstall", "InstallMonitor == 0, CopyMonitor == 1",
            ">Add Printer Driver", "OK :)", ">AddPrinter(Bramble)", add_printer_error("Bramble"),
            ">AddPrinter(Aster)", add_printer_error("Aster"), ">AddPrinter(Ravelquill)", add_printer_error(PRINTER)])
        self.assertNotIn(">AddMonitor", [line.strip() for line in lines])  # the version gate kept it
        self.assertEqual(self.errorLines(lines), [
            open_printer_error(PRINTER), DRIVER_REMOVAL_ERROR, add_printer_error("Bramble"),
            add_printer_error("Aster"), add_printer_error(PRINTER)])

        after = prefix.printers()
        self.assertIn(MONITOR, after["monitors"])
        self.assertEqual(after["drivers"], [DRIVER])
        # Wine half-makes each re-created printer: no settings name, comment,
        # location or default carried over (Windows: all of them, Aster default).
        self.assertEqual([(p["name"], p["port"], p["driver"], p["settings"]) for p in after["printers"]],
                         [(name, MONITOR, DRIVER, {"open_error": 1801}) for name in ("Aster", "Bramble", PRINTER)])
        # Wine's DeletePrinter of the default makes the first printer left the
        # default: Aster's deletion passed it to Bramble, Bramble's to the
        # half-made "Ravelquill", which the installer cannot open to change.
        self.assertEqual(after["default_printer"], PRINTER)
        # The uninstall half deleted the tray program that the Run value
        # named; the value is written again but the start fails.
        state = prefix.state(TRAY_PROGRAM)
        self.assertEqual(state["run_tray"], TRAY_PROGRAM)
        self.assertEqual((state["tray_mutex"], state["tray_window"], state["files"][0]["exists"]), (False, False, False))

    def test_removetray_quits_the_tray_and_removes_its_file_and_run_value_exit_6(self):
        prefix = self.prefix()
        # Without a Run value nothing names a file to delete.
        self.assertRun(prefix, "removetray", 6)
        self.assertTrue(prefix.state(TRAY_PROGRAM)["files"][0]["exists"])

        prefix.reg_add(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run", "RavelquillTray", TRAY_PROGRAM)
        tray = prefix.start(TRAY_PROGRAM)
        self.addCleanup(tray.kill)
        self.waitForTray(prefix, True)
        self.assertRun(prefix, "removetray", 6)
        self.assertEqual(tray.wait(timeout=20).returncode, 0)
        state = self.waitForTray(prefix, False)
        self.assertIsNone(state["run_tray"])
        self.assertFalse(prefix.state(TRAY_PROGRAM)["files"][0]["exists"])
        # No installation context: the spooler was never started.
        self.assertEqual(state["spooler"], "stopped")
        self.assertNotIn(MONITOR, [m["name"] for m in state["monitors"]])
