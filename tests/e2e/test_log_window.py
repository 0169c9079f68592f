"""The log window as the real dialog shows it, read from another process the
way a screen reader reads it. The error line comes from a local print provider
that cannot be loaded: GetPrinterDriverDirectoryW then fails with 1722, as on
Windows when the spooler cannot be reached."""

from scenario import DRIVER_DIRECTORY_ERROR, ERROR_TITLE, PLAIN_TITLE, Scenario


class LogWindow(Scenario):
    def test_install_and_uninstall_with_an_error_line_show_the_whole_run_log_wine_text(self):
        prefix = self.prefix()
        self.break_local_print_provider(prefix)
        for word in ("in", "uninstall"):
            run = prefix.install(word)
            self.assertExit(run, 100, [word])
            lines = self.assertLogWindow(run, ERROR_TITLE)
            self.assertEqual(lines[:3], ["Ravelquill 2446", ">Check Spooler", DRIVER_DIRECTORY_ERROR])
            # Only the install marks its sequence.
            self.assertEqual(">>0010" in lines, word == "in", word)
            self.assertErrorLinesWellFormed(lines)
            # Without an owner window on the command line the dialog has none.
            self.assertEqual(run.window["owner"], 0)

    def test_every_way_of_closing_gives_the_same_exit_code_and_no_window_once_the_error_is_gone_wine_no_clean_install(
            self):
        # The uninstall: it changes nothing here, so every run logs the same
        # (the install's first run copies the monitor file, later ones do
        # not), and under Wine no install runs clean (error 15).
        prefix = self.prefix()
        self.break_local_print_provider(prefix)
        texts = set()
        for close in ("ok", "cancel", "close"):
            run = prefix.install("un", close=close)
            self.assertExit(run, 100, ["un", "closed by " + close])
            self.assertLogWindow(run, ERROR_TITLE)
            texts.add(run.window["text"])
        self.assertEqual(len(texts), 1, texts)
        self.repair_local_print_provider(prefix)
        self.assertRun(prefix, "un", 2)

    def test_shift_held_at_the_end_shows_the_log_of_a_clean_uninstall_wine_no_clean_install(self):
        # Wine has no keyboard here; Shift is pressed as injected input, which
        # every program of the session sees in GetAsyncKeyState. Under Wine no
        # install runs clean (error 15), so the clean runs are uninstalls.
        prefix = self.prefix()
        shift = prefix.start(prefix.helper("holdshift"))
        self.addCleanup(shift.finish)
        self.assertEqual(shift.line(), "holding")
        lines = self.assertRun(prefix, "un", 2, PLAIN_TITLE)
        self.assertEqual(lines[:2], ["Ravelquill 2446", ">Check Spooler"])
        self.assertIn(r"PrinterDriverDirectory(2):C:\windows\system32\spool\drivers\x64" + "\\", lines)
        self.assertFalse(any("Error(" in line for line in lines), lines)
        shift.finish()
        self.assertRun(prefix, "un", 2)
