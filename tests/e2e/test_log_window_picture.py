"""The log window drawn for real: Xvfb, a Wine virtual desktop (so the
caption is drawn without a window manager), and a picture of the screen in
build/e2e/log-window.png."""

import subprocess

from scenario import ERROR_TITLE, Scenario
from wine_prefix import RUN_TIMEOUT, WORK_DIR, VirtualScreen, wait_until

PICTURE = WORK_DIR / "log-window.png"
SCREEN = (800, 600)


class LogWindowPicture(Scenario):
    def test_log_window_is_drawn_with_title_text_and_close_button(self):
        screen = VirtualScreen("%dx%dx24" % SCREEN)
        screen.__enter__()
        self.addCleanup(screen.__exit__)
        prefix = self.prefix(display=screen.display)
        # The X11 driver instead of the null one, and a desktop that draws captions.
        prefix.reg("delete", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/f")
        prefix.reg_add(r"HKCU\Software\Wine\Explorer", "Desktop", "Default")
        prefix.reg_add(r"HKCU\Software\Wine\Explorer\Desktops", "Default", "%dx%d" % SCREEN)
        self.break_local_print_provider(prefix)
        prefix.restart_wine()

        installer = prefix.start_installer("in")
        self.addCleanup(installer.kill)
        window = prefix.log_window("none")
        self.assertIsNotNone(window, "the log window did not open; installer %s, output %r"
                             % (installer.popen.poll(), installer.output()))
        self.assertEqual(window["title"], ERROR_TITLE)

        # Drawn once two captures in a row agree and the screen is not blank.
        frames = [screen.capture()]

        def settled():
            frames.append(screen.capture())
            last, before = frames[-1], frames[-2]
            return last == before and len(set(last[i:i + 3] for i in range(0, len(last), 3 * 97))) > 8

        wait_until(settled, 20, "the log window to be drawn", interval=0.2)
        if PICTURE.exists():
            PICTURE.unlink()
        screen.save_png(PICTURE)
        size = subprocess.run(["identify", "-format", "%w %h", str(PICTURE)], capture_output=True, text=True,
                              timeout=RUN_TIMEOUT, check=True).stdout.split()
        self.assertEqual([int(n) for n in size], list(SCREEN))

        closed = prefix.log_window("ok")
        self.assertIsNotNone(closed)
        self.assertTrue(closed["closed"])
        self.assertEqual(installer.wait(RUN_TIMEOUT).returncode, 100)
