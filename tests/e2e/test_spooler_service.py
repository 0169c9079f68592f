"""The spooler check of every install and uninstall run, against Wine's own
service control manager."""

from scenario import ERROR_TITLE, Scenario
from wine_prefix import SPOOLER_SERVICE_KEY


class SpoolerService(Scenario):
    def runs_leave_the_spooler_running(self, prefix, before: str) -> None:
        # The uninstall first: on a machine without the product it runs clean.
        for word, code in (("un", 2), ("in", 100)):
            self.assertEqual(prefix.state()["spooler"], before)
            if code == 2:
                self.assertRun(prefix, word, code)
            else:
                self.assertWineInstall(prefix, word)
            self.assertEqual(prefix.state()["spooler"], "running")
            if before == "stopped" and code == 2:
                prefix.restart_wine()  # the spooler is stopped again

    def test_stopped_spooler_is_started_by_install_and_uninstall_wine_install_error_15(self):
        # A fresh prefix, like a fresh Windows with the spooler on demand start.
        self.runs_leave_the_spooler_running(self.prefix(), "stopped")

    def test_running_spooler_is_left_running_wine_install_error_15(self):
        prefix = self.prefix()
        started = prefix.run("net", "start", "spooler")
        self.assertEqual(prefix.state()["spooler"], "running", started.stdout)
        self.runs_leave_the_spooler_running(prefix, "running")

    def test_missing_spooler_service_is_error_2_wine_text(self):
        prefix = self.prefix()
        prefix.reg("delete", SPOOLER_SERVICE_KEY, "/f")
        prefix.restart_wine()  # the service manager reads its services at start
        self.assertEqual(prefix.state()["spooler"], "missing")
        lines = self.assertRun(prefix, "in", 100, ERROR_TITLE)
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
