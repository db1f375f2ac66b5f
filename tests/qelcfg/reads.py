#!/usr/bin/env python3
"""Edits real files with qelcfg and checks that the program each file is written for reads
exactly the intended change: configparser for Python's files, `git config --list` for git's.
Each key is set and removed, and each section gets a new key, each edit on a fresh copy.
    reads.py QELCFG DIR FILE...   prints each edit whose reading differs, then the counts;
                                  exits 1 when any differs"""
import configparser
import os
import shutil
import subprocess
import sys
import tempfile

VALUE = 'v, w'


def python_reads(path):
    parser = configparser.RawConfigParser(strict=False, interpolation=None)
    parser.optionxform = str
    parser.read(path, encoding='utf-8')
    return {s: dict(parser.items(s)) for s in parser.sections()}


def python_edits(reads):
    for section, keys in reads.items():
        for key in keys:
            yield ['set', section, key, VALUE], (section, key, VALUE)
            yield ['del', section, key], (section, key, None)
        yield ['set', section, 'qelcfg_new', VALUE], (section, 'qelcfg_new', VALUE)


def python_expect(reads, section, key, value):
    want = {s: dict(k) for s, k in reads.items()}
    if value is None:
        del want[section][key]
    else:
        want[section][key] = value
    return want


def git_reads(path):
    out = subprocess.run(['git', 'config', '--file', path, '--list'], capture_output=True,
                         text=True, check=True).stdout
    return [tuple(line.split('=', 1)) for line in out.splitlines()]


def git_name(section, key):
    name, _, sub = section.partition(' ')
    return name.lower() + ('.' + sub.strip('"') if sub else '') + '.' + key.lower()


def git_edits(path):
    sections = subprocess.run([QELCFG, 'get', path], capture_output=True, text=True,
                              check=True).stdout.splitlines()
    for section in sections:
        entries = subprocess.run([QELCFG, 'get', path, section], capture_output=True, text=True,
                                 check=True).stdout.splitlines()
        for key in dict(e.split('=', 1) for e in entries):
            yield ['set', section, key, VALUE], (git_name(section, key), VALUE)
            yield ['del', section, key], (git_name(section, key), None)
        yield ['set', section, 'qelcfgnew', VALUE], (git_name(section, 'qelcfgnew'), VALUE)


def git_expect(reads, name, value):
    want = list(reads)
    first = next((i for i, (n, _) in enumerate(want) if n == name), None)
    if first is None:
        want.append((name, value))
    elif value is None:
        del want[first]
    else:
        want[first] = (name, value)
    return sorted(want)


def main():
    global QELCFG
    QELCFG, data, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    made = intended = 0
    with tempfile.TemporaryDirectory() as tmp:
        copy = os.path.join(tmp, 'f')
        for name in files:
            path = os.path.join(data, name)
            git = name.startswith('gitconfig')
            reads = git_reads(path) if git else python_reads(path)
            for edit, change in git_edits(path) if git else python_edits(reads):
                shutil.copyfile(path, copy)
                status = subprocess.run([QELCFG, edit[0], copy] + edit[1:]).returncode
                try:
                    got = sorted(git_reads(copy)) if git else python_reads(copy)
                except (configparser.Error, subprocess.CalledProcessError) as error:
                    got = str(error)
                got = got if status == 0 else f'exit status {status}'
                want = git_expect(reads, *change) if git else python_expect(reads, *change)
                made += 1
                intended += got == want
                if got != want:
                    print(f'{name}: qelcfg {" ".join(edit)}: read {got}, not {want}')
    print(f'{made} edits, {intended} read as intended')
    return 0 if made == intended else 1


if __name__ == '__main__':
    sys.exit(main())
