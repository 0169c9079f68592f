#!/usr/bin/env python3
"""Runs one scenario of examples/ through the built vexsim and checks it.

usage: run_scenario.py VEXSIM SCENARIO_DIR

SCENARIO_DIR holds machine.json and scenario.txt. scenario.txt: a one-line
description, then steps:

    $ vexsim ARGS...     the command, without --machine (added here)
    > TEXT               a text the step's output holds, after the one before
    = N                  the exit code, last line of the step

Blank lines and lines starting with # are passed over. The machine file is
copied to a temporary directory and carried from step to step. A step that
is vexsim's own failure (exit 2 without an installer's exit code line) must
leave the machine file byte for byte as it was.
"""
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

STEP_SECONDS = 120


class ScenarioError(Exception):
    pass


class Step:
    def __init__(self, line_number, args):
        self.line_number = line_number
        self.args = args
        self.texts = []
        self.exit_code = None

    def command(self):
        return "vexsim " + shlex.join(self.args)


def parse(text):
    """The steps of scenario.txt; ScenarioError names the line at fault."""
    lines = text.splitlines()
    if not lines or not lines[0].strip() or lines[0].startswith(("$", ">", "=")):
        raise ScenarioError("line 1: a one-line description comes first")
    steps = []
    for number, line in enumerate(lines[1:], start=2):
        if not line.strip() or line.startswith("#"):
            continue
        kind, rest = line[:1], line[2:] if line[1:2] == " " else None
        if kind == "$":
            words = shlex.split(line[1:])
            if not words or words[0] != "vexsim":
                raise ScenarioError(f"line {number}: a step reads '$ vexsim ARGS...'")
            if steps and steps[-1].exit_code is None:
                raise ScenarioError(f"line {number}: the step before has no '= N'")
            steps.append(Step(number, words[1:]))
        elif not steps or steps[-1].exit_code is not None:
            raise ScenarioError(f"line {number}: '{line}' belongs to no step")
        elif kind == ">" and rest:
            steps[-1].texts.append(rest)
        elif kind == "=" and rest and rest.strip().isdigit():
            steps[-1].exit_code = int(rest)
        else:
            raise ScenarioError(f"line {number}: expected '$ vexsim ...', '> TEXT' or '= N', found '{line}'")
    if not steps:
        raise ScenarioError("no steps")
    if steps[-1].exit_code is None:
        raise ScenarioError(f"line {steps[-1].line_number}: the last step has no '= N'")
    return steps


def with_machine(args, machine):
    """The step's arguments with --machine first (options go before a subcommand too)."""
    return ["--machine", machine] + args


def missing_text(output, texts):
    """The first text not found in order, or None."""
    at = 0
    for text in texts:
        found = output.find(text, at)
        if found < 0:
            return text
        at = found + len(text)
    return None


def run_step(vexsim, step, workdir, machine):
    before = open(machine, "rb").read() if os.path.exists(machine) else None
    result = subprocess.run([vexsim] + with_machine(step.args, machine), cwd=workdir, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, timeout=STEP_SECONDS)
    output = result.stdout
    problems = []
    if result.returncode != step.exit_code:
        problems.append(f"exit code {result.returncode}, expected {step.exit_code}")
    lost = missing_text(output, step.texts)
    if lost is not None:
        problems.append(f"missing (in this order): '{lost}'")
    own_failure = result.returncode == 2 and "exit code: 2" not in output
    after = open(machine, "rb").read() if os.path.exists(machine) else None
    if own_failure and after != before:
        problems.append("vexsim failed but the machine file changed")
    return problems, output, result.returncode


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    vexsim, scenario = os.path.abspath(argv[1]), argv[2]
    name = os.path.basename(os.path.abspath(scenario))
    try:
        with open(os.path.join(scenario, "scenario.txt"), encoding="utf-8") as f:
            steps = parse(f.read())
    except (OSError, ScenarioError, ValueError) as error:
        print(f"{name}/scenario.txt: {error}", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix=f"scenario-{name}-") as workdir:
        machine = os.path.join(workdir, "machine.json")
        shutil.copyfile(os.path.join(scenario, "machine.json"), machine)
        for index, step in enumerate(steps, start=1):
            problems, output, code = run_step(vexsim, step, workdir, machine)
            if problems:
                print(f"{name}: step {index} (scenario.txt line {step.line_number}): $ {step.command()}")
                for problem in problems:
                    print(f"  {problem}")
                print("  expected:")
                for text in step.texts:
                    print(f"    > {text}")
                print(f"    = {step.exit_code}")
                print(f"  actual (exit code {code}):")
                for line in output.splitlines():
                    print(f"    {line}")
                return 1
            print(f"{name}: step {index} ok: $ {step.command()} = {code}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
