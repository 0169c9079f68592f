"""The owner window on the command line: the third element, used only when
the line has exactly three elements and the number names a window."""

from scenario import ERROR_TITLE, Scenario


class OwnerWindow(Scenario):
    def owner(self, prefix):
        helper = prefix.start(prefix.helper("ownerwindow"))
        self.addCleanup(helper.finish)  # closing its stdin ends it
        handle = helper.line()
        self.assertRegex(handle, r"^-?[0-9]+$", "the owner window helper gave no handle")
        return handle

    def test_window_named_by_the_number_owns_the_log_window_wine_no_clean_install(self):
        prefix = self.prefix()
        handle = self.owner(prefix)
        # Without an error line the owner changes nothing. The uninstall:
        # under Wine no install runs clean (error 15).
        self.assertRun(prefix, ["un", handle], 2)

        self.break_local_print_provider(prefix)
        for word in ("in", "un"):
            run = prefix.install(word, handle)
            self.assertExit(run, 100, [word, handle])
            self.assertLogWindow(run, ERROR_TITLE)
            self.assertEqual(run.window["owner"], int(handle))

    def test_number_naming_no_window_or_a_fourth_element_leaves_it_unowned(self):
        prefix = self.prefix()
        handle = self.owner(prefix)
        stale = next(n for n in ("123456", "7", "-2", "99999999")
                     if prefix.run(prefix.helper("ownerwindow"), "--is-window", n).stdout.strip() == "0")
        self.break_local_print_provider(prefix)
        for words in (["in", stale], ["in", "0"], ["in", "window"], ["in", handle, "extra"],
                      ["un", handle, "extra"]):
            run = prefix.install(*words)
            self.assertExit(run, 100, words)
            self.assertLogWindow(run, ERROR_TITLE)
            self.assertEqual(run.window["owner"], 0, words)
