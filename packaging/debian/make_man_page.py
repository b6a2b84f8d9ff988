#!/usr/bin/env python3
"""Writes qvn_pack.1 with help2man from the packer's own --help.

help2man turns `qvn_pack --help` and `--version` into the page; the help
of each verb, which help2man does not ask for, goes in as a section of
its own, each option a tagged paragraph, so that no line is too long for
the terminal the page is read on.
Usage: make_man_page.py QVN_PACK OUTPUT
"""
import re
import subprocess
import sys
import tempfile

VERBS = ['build', 'launcher', 'list', 'verify', 'extract', 'help']


def roff(text):
    return text.replace('\\', '\\e').replace('-', '\\-')


def verb_section(pack, verb):
    text = subprocess.run([pack, verb, '--help'], check=True, capture_output=True, text=True).stdout
    lines = text.splitlines()
    out = ['.SS "%s"' % roff('qvn_pack ' + verb), roff(lines[0])]
    entry = None
    for line in lines[1:]:
        option = re.match(r'^  (\S.*?)(?:\s{2,}(\S.*))?$', line)
        continued = re.match(r'^\s{20,}(\S.*)$', line)
        if line.startswith('Usage:'):
            out += ['.PP', '.B ' + roff(line[len('Usage: '):])]
        elif continued and entry is not None:
            out.append(roff(continued.group(1)))
        elif option:
            entry = option.group(1)
            out += ['.TP', '.B ' + roff(entry)]
            if option.group(2):
                out.append(roff(option.group(2)))
        elif line.strip() and not line.startswith('Exit status') and not line.endswith(':'):
            out += ['.PP', roff(line.strip())]
            entry = None
    return '\n'.join(out)


def main():
    pack, output = sys.argv[1], sys.argv[2]
    sections = '\n'.join(verb_section(pack, verb) for verb in VERBS)
    include = '[COMMANDS]\n' + sections + '\n\n[EXIT STATUS]\n' + \
        '0 success; 1 a refusal or a failed check (the reason is printed, nothing is written); ' + \
        '2 a usage error (a wrong command line).\n\n' + \
        '[SEE ALSO]\nThe README.txt of the release archives, and /usr/share/doc/quorvane-portable/copyright.\n'
    with tempfile.NamedTemporaryFile('w', suffix='.h2m') as sections_file:
        sections_file.write(include)
        sections_file.flush()
        subprocess.run(['help2man', '--no-info', '--no-discard-stderr', '--section=1',
                        '--name=pack a game folder into a portable Windows launcher',
                        '--include=' + sections_file.name, '--output=' + output, pack], check=True)


if __name__ == '__main__':
    main()
