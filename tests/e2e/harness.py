#!/usr/bin/env python3
"""The end-to-end harness's own steps, for CTest and scripts/e2e:

  harness.py boot    boot the template prefix that every scenario copies
  harness.py sweep   end every Wine process of the run and remove its prefixes
  harness.py list    print the scenarios, one unittest id a line
"""

import sys
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))

import wine_prefix  # noqa: E402


def scenario_ids():
    here = Path(__file__).resolve().parent
    suite = unittest.defaultTestLoader.discover(str(here), pattern="test_*.py", top_level_dir=str(here))
    ids = []

    def walk(test):
        if isinstance(test, unittest.TestSuite):
            for inner in test:
                walk(inner)
        elif isinstance(test, unittest.loader._FailedTest):  # a module that does not import
            raise SystemExit("cannot load %s" % test.id())
        else:
            ids.append(test.id())

    walk(suite)
    return sorted(ids)


def main(argv):
    if argv == ["boot"]:
        wine_prefix.boot_template()
    elif argv == ["sweep"]:
        wine_prefix.sweep()
    elif argv == ["list"]:
        print("\n".join(scenario_ids()))
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
