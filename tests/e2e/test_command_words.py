"""Command words and exit codes, through the real program under Wine."""

from scenario import DRIVER_REMOVAL_ERROR, ERROR_TITLE, PRINTER, Scenario, add_printer_error, open_printer_error

NOT_COMMANDS = [
    [],                # the program path alone
    ["inst"],
    ["installx"],
    ["DEF.SET"],       # def.set is matched exactly, in this case only
    ["Def.Set"],
    ["def.setx"],
    ["in install"],    # one element with a blank in it
    [""],
]
INSTALL_WORDS = ["in", "IN", "In", "install", "INSTALL", "InStAlL", "serverinstall", "SERVERINSTALL",
                 "in_notray", "IN_NOTRAY"]
UNINSTALL_WORDS = ["un", "UN", "uninstall", "UNINSTALL", "UnInstall"]


class CommandWords(Scenario):
    def test_missing_or_unknown_word_exits_6_and_changes_nothing(self):
        prefix = self.prefix()
        before = prefix.state()
        for words in NOT_COMMANDS:
            self.assertRun(prefix, words, 6)
        # No installation context was set up: the spooler was never started.
        self.assertEqual(prefix.state(), before)
        self.assertEqual(before["spooler"], "stopped")

    def test_install_words_in_any_case_run_the_install_wine_exit_100(self):
        # Wine refuses the installer's printer: every install writes error 15
        # (later ones 16 and 14 too) and exits 100 (Windows: 1).
        prefix = self.prefix()
        wine_errors = {add_printer_error(PRINTER), open_printer_error(PRINTER), DRIVER_REMOVAL_ERROR}
        for word in INSTALL_WORDS:
            lines = self.assertRun(prefix, word, 100, ERROR_TITLE)
            self.assertIn(">>0010", lines, word)  # only the install marks its sequence
            self.assertLessEqual(set(self.errorLines(lines)), wine_errors, word)

    def test_uninstall_words_in_any_case_exit_2(self):
        prefix = self.prefix()
        for word in UNINSTALL_WORDS:
            self.assertRun(prefix, word, 2)
