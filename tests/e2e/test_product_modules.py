"""The stand-in product modules as Wine sees them: the build numbers of the
layouts in their version resources, and the tray program's contract."""

from scenario import Scenario
from wine_prefix import PRODUCT_WIN, TRAY_QUIT_MESSAGE, TRAY_WINDOW_CLASS, wait_until

LAYOUTS = {"product": 2446, "product-2415": 2415, "product-2416": 2416, "product-2447": 2447}
MODULES = [r"bin\vexmon64.dll", r"bin\vexdrv64.dll", r"bin\vexui64.dll", "ravtray.exe"]


class ProductModules(Scenario):
    def test_each_layout_carries_its_build_in_the_product_version(self):
        prefix = self.prefix()
        paths = {}
        for layout, build in LAYOUTS.items():
            root = r"C:\layouts" + "\\" + layout
            prefix.lay_out(layout, target=root)
            for module in MODULES:
                paths[root + "\\" + module] = build
        files = prefix.state(*paths)["files"]
        self.assertEqual({f["path"]: f["build"] for f in files}, paths)
        # The help file is copied, never versioned.
        help_file = prefix.state(PRODUCT_WIN + r"\bin\vexhelp.chm")["files"][0]
        self.assertEqual((help_file["exists"], help_file["build"]), (True, None))

    def test_tray_program_holds_its_mutex_and_quits_only_on_the_plain_quit_message(self):
        prefix = self.prefix()
        tray = prefix.start(PRODUCT_WIN + r"\ravtray.exe")
        self.addCleanup(tray.kill)

        def running():
            state = prefix.state()
            return state["tray_mutex"] and state["tray_window"]

        wait_until(running, 20, "the tray program's mutex and window", interval=0.2)
        # One instance per session: a second one ends at once.
        second = prefix.run(PRODUCT_WIN + r"\ravtray.exe", timeout=20)
        self.assertEqual(second.returncode, 0)

        # Sent, not posted: when the helper returns, the program has handled it.
        sent = prefix.run(prefix.helper("postmessage"), "--send", TRAY_WINDOW_CLASS, str(TRAY_QUIT_MESSAGE), "1", "0")
        self.assertEqual(sent.stdout.strip(), "sent")
        self.assertTrue(running(), "a quit message with a parameter ended the program")
        self.assertIsNone(tray.popen.poll())

        post = prefix.run(prefix.helper("postmessage"), TRAY_WINDOW_CLASS, str(TRAY_QUIT_MESSAGE), "0", "0")
        self.assertEqual(post.stdout.strip(), "posted")
        self.assertEqual(tray.wait(timeout=20).returncode, 0)
        state = prefix.state()
        self.assertEqual((state["tray_mutex"], state["tray_window"]), (False, False))
