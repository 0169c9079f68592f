"""The conformance suite (tests/conformance) as a Windows program under Wine:
every case must pass, with the differences from Windows that the cases name."""

import shutil

from scenario import Scenario
from wine_prefix import HELPERS_WIN, WIN64_DIR, E2EError

CONFORMANCE_WIN = HELPERS_WIN + r"\conformance.exe"
# A case that hangs shows as the run's end: the cases run in well under a second.
CONFORMANCE_TIMEOUT = 120


class Conformance(Scenario):
    def test_every_case_passes_under_wine(self):
        program = WIN64_DIR / "conformance.exe"
        if not program.exists():
            raise E2EError("no %s (cmake --build --preset win64 builds it)" % program)
        prefix = self.prefix()
        target = prefix.unix_path(CONFORMANCE_WIN)
        shutil.copy2(program, target)
        # The monitor cases register the stand-in port monitor found beside the program.
        monitor = target.parent / "product" / "bin"
        monitor.mkdir(parents=True, exist_ok=True)
        shutil.copy2(WIN64_DIR / "product" / "bin" / "vexmon64.dll", monitor / "vexmon64.dll")
        process = prefix.start(CONFORMANCE_WIN)
        try:
            result = process.wait(CONFORMANCE_TIMEOUT)
        except E2EError as error:
            raise E2EError("%s; the last cases reported:\n%s" % (error, "\n".join(process.output().splitlines()[-5:])))
        lines = result.stdout.splitlines()
        report = [line for line in lines if not line.endswith(": ok")]
        self.assertEqual(result.returncode, 0, "conformance.exe exit %d:\n%s" % (result.returncode, "\n".join(report)))
        self.assertRegex(lines[-1] if lines else "", r"^\d+ cases, 0 failed, \d+ wine differences$")
