#!/usr/bin/env python3
"""Checks that the manual pages name exactly the options that the programs' --help names.

- kestrune-cli: the commands that `kestrune-cli --help` lists are the sub-sections (.SS) of the
  page's COMMANDS section; each sub-section names the options that `kestrune-cli COMMAND --help`
  names, and no other; the options every command takes (those of `kestrune-cli --help`) are
  the page's OPTIONS section, and are left out of the comparison of each command.
- kestrune: the page's OPTIONS section names what `kestrune --help` names, its switches
  (/e, /o, /d) included.

An option is a word such as --filter, -U or /e wherever it stands in the text, so an option
that one side describes and the other leaves out is a fault, whichever side is behind.

Usage: check_man_options.py MAN-FOLDER KESTRUNE-CLI [KESTRUNE]. Exits 1 on any difference.
"""
import os
import re
import subprocess
import sys

# An option stands at the start of a word: after a blank, a bracket, a bar, a comma or a quote.
OPTION = re.compile(r"(?:^|(?<=[\s\[(|,'`]))(--?[A-Za-z][A-Za-z0-9-]*)", re.M)
SWITCH = re.compile(r"(?<![\w/:.~-])(/[a-z])(?![\w/.-])")


def options(text, switches=False):
    found = set(OPTION.findall(text))
    if switches:
        found |= set(SWITCH.findall(text))
    return found


def plain(roff):
    """The words of a roff page, font changes and escapes gone, one line each."""
    lines = []
    for line in roff.splitlines():
        if line.startswith(".\\\"") or line.startswith("'\\\""):
            continue
        line = re.sub(r"\\f(\[[^\]]*\]|\(..|.)", "", line)
        line = line.replace("\\-", "-").replace("\\(em", "-").replace("\\e", "\\").replace("\\ ", " ")
        line = re.sub(r"^\.(B|I|R|BI|BR|IB|IR|RB|RI|TP|IP|PP|P|LP|br|sp|RS|RE|TQ|nf|fi|EX|EE)\b\s*", "", line)
        lines.append(line.replace('"', ''))
    return lines


def sections(lines):
    """{("SH name", "SS name" or ""): text}."""
    result, sh, ss = {}, "", ""
    for line in lines:
        if line.startswith(".SH "):
            sh, ss = line[4:].strip(), ""
            continue
        if line.startswith(".SS "):
            ss = line[4:].strip()
            continue
        if line.startswith(".TH "):
            continue
        result.setdefault((sh, ss), []).append(line)
    return {key: "\n".join(text) for key, text in result.items()}


def run(program, *args):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    done = subprocess.run([program, *args], capture_output=True, text=True, env=env, timeout=60)
    if done.returncode != 0:
        raise SystemExit("%s %s exited %d: %s" % (program, " ".join(args), done.returncode, done.stderr))
    return done.stdout


def compare(faults, what, help_options, page_options):
    for option in sorted(help_options - page_options):
        faults.append("%s: --help names %s, the manual page does not" % (what, option))
    for option in sorted(page_options - help_options):
        faults.append("%s: the manual page names %s, --help does not" % (what, option))


def check_cli(faults, man_folder, cli):
    with open(os.path.join(man_folder, "kestrune-cli.1.in"), encoding="utf-8") as f:
        page = sections(plain(f.read()))
    overview = run(cli, "--help")
    commands = re.findall(r"^  (\S+)\s+\S", overview.split("Commands:", 1)[1].split("\n\n", 1)[0], re.M)
    if not commands:
        faults.append("kestrune-cli --help lists no commands")
    every = options(overview)
    compare(faults, "kestrune-cli (options of every command)", every, options(page.get(("OPTIONS", ""), "")))
    described = {ss for (sh, ss) in page if sh == "COMMANDS" and ss}
    for name in sorted(set(commands) - described):
        faults.append("kestrune-cli %s: the manual page has no sub-section for it under COMMANDS" % name)
    for name in sorted(described - set(commands)):
        faults.append("kestrune-cli %s: described by the manual page, not listed by --help" % name)
    for name in commands:
        if name in described:
            compare(faults, "kestrune-cli " + name, options(run(cli, name, "--help")) - every,
                    options(page[("COMMANDS", name)]) - every)
    return len(commands)


def check_gui(faults, man_folder, gui):
    with open(os.path.join(man_folder, "kestrune.1.in"), encoding="utf-8") as f:
        page = sections(plain(f.read()))
    compare(faults, "kestrune", options(run(gui, "--help"), switches=True),
            options(page.get(("OPTIONS", ""), ""), switches=True))


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    man_folder, cli = sys.argv[1], sys.argv[2]
    gui = sys.argv[3] if len(sys.argv) > 3 and sys.argv[3] else None  # empty: built without the windows
    faults = []
    count = check_cli(faults, man_folder, cli)
    if gui:
        check_gui(faults, man_folder, gui)
    for fault in faults:
        print(fault)
    print("%d commands of kestrune-cli%s compared with their manual page, %d faults" %
          (count, " and kestrune" if gui else "", len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
