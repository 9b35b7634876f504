#!/usr/bin/env python3
"""Writes a man page from a program's own --version and --help output (and, for the command-line
tool, from `help COMMAND` of every command it lists), so the page never drifts from the program."""
import argparse
import os
import re
import subprocess
import sys


def run(program, *arguments):
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
    result = subprocess.run([program, *arguments], capture_output=True, env=environment, timeout=120)
    if result.returncode != 0:
        sys.exit(f"{program} {' '.join(arguments)} failed: {result.stderr.decode(errors='replace')}")
    return result.stdout.decode()


def roff(text):
    """Text for a no-fill block: backslashes and hyphens escaped, control characters at line starts
    made harmless."""
    lines = []
    for line in text.rstrip("\n").split("\n"):
        line = line.replace("\\", "\\e").replace("-", "\\-")
        if line.startswith((".", "'")):
            line = "\\&" + line
        lines.append(line)
    return "\n".join(lines)


def block(text):
    return ".nf\n" + roff(text) + "\n.fi\n"


def listed_commands(help_text):
    """The command names of the tool's help: the first word of each entry under "命令："."""
    names = []
    section = help_text.split("命令：", 1)[1] if "命令：" in help_text else ""
    for line in section.split("\n"):
        match = re.match(r"^  (\S+)", line)
        if match and match.group(1) != "help":
            names.append(match.group(1))
        elif line and not line.startswith(" "):
            break
    return names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("output")
    parser.add_argument("--name", required=True, help="the program's name on the page")
    parser.add_argument("--summary", required=True, help="one line saying what the program is")
    parser.add_argument("--commands", action="store_true", help="add every command's help")
    options = parser.parse_args()

    version = run(options.program, "--version").strip().split("\n")[0]
    # Qt's usage line names the program by the path it was started with; the page names it plainly.
    help_text = run(options.program, "--help").replace(options.program, options.name)
    page = [
        '.TH "{}" 1 "" "{}" "用户命令"\n'.format(options.name.upper(), roff(version)),
        ".SH 名称\n{} \\- {}\n".format(roff(options.name), roff(options.summary)),
        ".SH 说明\n" + block(help_text),
    ]
    if options.commands:
        page.append(".SH 命令\n")
        for command in listed_commands(help_text):
            page.append(".SS {}\n".format(roff(command)) + block(run(options.program, "help", command)))
    page.append(".SH 版本\n" + block(run(options.program, "--version")))
    with open(options.output, "w", encoding="utf-8") as file:
        file.write("".join(page))


if __name__ == "__main__":
    main()
