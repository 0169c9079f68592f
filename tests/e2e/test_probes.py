"""The status probes "onInit" and "onChkDrv" and the action "def.set" through
the real program under Wine: exit codes only (they write no log), over
printers and drivers that the printers helper sets up as a user's machine
has them."""

import shutil

from scenario import DRIVER, MONITOR, PRINTER, Scenario
from wine_prefix import HELPERS_WIN, WIN64_DIR

OTHER_DRIVER = "Other printer"


class Probes(Scenario):
    def probe(self, prefix, word: str, code: int, default) -> None:
        self.assertRun(prefix, word, code)
        self.assertEqual(prefix.printers()["default_printer"], default, word)

    def test_probes_follow_the_product_printer_and_the_default_printer(self):
        prefix = self.prefix()
        # (word, exit code, default printer afterwards)
        for step in [("onInit", 102, None),     # no default printer
                     ("onChkDrv", 3, None),     # no product printer
                     ("def.set", 4, None)]:     # nothing to make the default
            self.probe(prefix, *step)

        prefix.add_driver(DRIVER)
        prefix.add_driver(OTHER_DRIVER)
        prefix.add_printer("Lupin", MONITOR, DRIVER)
        prefix.add_printer("Other", "FILE:", OTHER_DRIVER, default=True)
        for step in [("onChkDrv", 103, "Other"),  # Lupin's driver file has build 2446
                     ("onInit", 102, "Other"),    # the default is not a product printer
                     ("def.set", 4, "Lupin"),
                     ("onInit", 3, "Lupin")]:
            self.probe(prefix, *step)

    def test_probes_after_install_wine_see_a_printer_they_cannot_open(self):
        # Wine half-makes the installer's printer (no data type): open fails
        # with 1801, so onChkDrv gives 3 (Windows: 103) and onInit 102 (Windows: 3).
        prefix = self.prefix()
        self.assertExit(prefix.install("in"), 100)
        self.probe(prefix, "onChkDrv", 3, None)
        self.probe(prefix, "def.set", 4, PRINTER)  # Wine's SetDefaultPrinterW takes the half-made printer
        self.probe(prefix, "onInit", 102, PRINTER)

    def test_onInit_deletes_a_pending_leftover_and_exits_200_for_a_pending_product_rename(self):
        prefix = self.prefix()
        stage = prefix.unix_path(HELPERS_WIN + r"\stage")
        stage.mkdir()
        for name in ("vexui64.dll", "VEXDRV64.DLL"):
            shutil.copy2(WIN64_DIR / "product" / "bin" / name.lower(), stage / name)
        leftover = "\\??\\" + HELPERS_WIN + r"\stage\vexui64.dll"
        prefix.set_pending_renames([(leftover, "")])
        self.assertEqual(prefix.state()["pending_renames"], [leftover, ""])
        # Deleted now, so nothing is pending: the default-printer probe answers.
        self.probe(prefix, "onInit", 102, None)
        self.assertFalse(prefix.state(HELPERS_WIN + r"\stage\vexui64.dll")["files"][0]["exists"])

        # A rename (not a deletion) stays pending through both spooler
        # restarts; the name is matched without regard to case.
        prefix.set_pending_renames([("\\??\\" + HELPERS_WIN + r"\stage\VEXDRV64.DLL",
                                     "!\\??\\C:\\windows\\system32\\vexdrv64.dll")])
        self.probe(prefix, "onInit", 200, None)
        self.assertTrue(prefix.state(HELPERS_WIN + r"\stage\VEXDRV64.DLL")["files"][0]["exists"])


def build_gate(layout: str, code: int):
    def test(self):
        prefix = self.prefix()
        source = r"C:\layouts" + "\\" + layout
        prefix.lay_out(layout, target=source)
        prefix.add_driver(DRIVER, source + r"\bin")
        prefix.add_printer("Lupin", MONITOR, DRIVER)
        self.probe(prefix, "onChkDrv", code, None)
    return test


# The driver file's build against the threshold 2416.
for _layout, _code in (("product-2415", 3), ("product-2416", 103)):
    setattr(Probes, "test_onChkDrv_driver_build_%s_exits_%d" % (_layout[-4:], _code), build_gate(_layout, _code))
