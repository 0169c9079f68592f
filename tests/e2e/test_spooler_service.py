"""The spooler check of every install and uninstall run, against Wine's own
service control manager."""

from scenario import ERROR_TITLE, PRINTER, Scenario, add_printer_error
from wine_prefix import SPOOLER_SERVICE_KEY


class SpoolerService(Scenario):
    def test_stopped_spooler_is_started_by_install_and_uninstall_wine_install_error_15(self):
        prefix = self.prefix()
        # A fresh prefix, like a fresh Windows with the spooler on demand start.
        # The uninstall first: on a machine without the product it runs clean.
        self.assertEqual(prefix.state()["spooler"], "stopped")
        run = prefix.install("un")
        self.assertExit(run, 2)
        self.assertNoLogWindow(run)
        self.assertEqual(prefix.state()["spooler"], "running")

        prefix.restart_wine()  # the spooler is stopped again
        self.assertEqual(prefix.state()["spooler"], "stopped")
        run = prefix.install("in")
        self.assertExit(run, 100)  # Wine refuses the printer: error 15 (Windows: 1)
        self.assertEqual(self.errorLines(self.assertLogWindow(run, ERROR_TITLE)), [add_printer_error(PRINTER)])
        self.assertEqual(prefix.state()["spooler"], "running")

    def test_running_spooler_is_left_running_wine_install_error_15(self):
        prefix = self.prefix()
        started = prefix.run("net", "start", "spooler")
        self.assertEqual(prefix.state()["spooler"], "running", started.stdout)
        run = prefix.install("uninstall")
        self.assertExit(run, 2)
        self.assertNoLogWindow(run)
        self.assertEqual(prefix.state()["spooler"], "running")
        run = prefix.install("install")
        self.assertExit(run, 100)  # Wine refuses the printer: error 15 (Windows: 1)
        self.assertEqual(self.errorLines(self.assertLogWindow(run, ERROR_TITLE)), [add_printer_error(PRINTER)])
        self.assertEqual(prefix.state()["spooler"], "running")

    def test_missing_spooler_service_is_error_2_wine_text(self):
        prefix = self.prefix()
        prefix.reg("delete", SPOOLER_SERVICE_KEY, "/f")
        prefix.restart_wine()  # the service manager reads its services at start
        self.assertEqual(prefix.state()["spooler"], "missing")
        run = prefix.install("in")
        self.assertExit(run, 100)
        lines = self.assertLogWindow(run, ERROR_TITLE)
        # Wine's text for 1060; Windows says "The specified service does not
        # exist as an installed service."
        self.assertEqual(lines[1:3], [">Check Spooler", "  Error(2): Can't open the spooler - (Service does not exist.)"])

    def test_disabled_spooler_is_error_4_after_the_10_second_wait_wine_text(self):
        prefix = self.prefix()
        prefix.reg_add(SPOOLER_SERVICE_KEY, "Start", "4", kind="REG_DWORD")
        prefix.restart_wine()
        run = prefix.install("un", timeout=45)
        self.assertExit(run, 100)
        lines = self.assertLogWindow(run, ERROR_TITLE)
        # Wine's text for 1058; Windows says "The service cannot be started,
        # either because it is disabled or because it has no enabled devices
        # associated with it."
        self.assertEqual(lines[1:3], [">Check Spooler", "  Error(4): Can't start the spooler - (Service is disabled.)"])
        # 50 polls 200 ms apart, then the error; the window's time is in there too.
        self.assertGreaterEqual(run.seconds, 10.0)
        self.assertLess(run.seconds, 30.0)
        self.assertEqual(prefix.state()["spooler"], "stopped")
