#!/usr/bin/env python3
"""Counts the non-blank, non-comment lines of the C++ sources (.cpp, .h) that git tracks in
tests/ against those in Qel_CfgFilelib/ and tools/, and prints their ratio. Comments are
// lines and /* */ blocks; test data (tests/data, transcripts) are not sources.
    scripts/count-lines.py [REPO]   (default: the repository this script is in)"""
import os
import re
import subprocess
import sys

SOURCES = ('.cpp', '.h')


def lines(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        text = f.read()
    text = re.sub(r'/\*.*?\*/', lambda m: '\n' * m.group(0).count('\n'), text, flags=re.S)
    return sum(1 for line in text.split('\n')
               if line.strip() and not line.strip().startswith('//'))


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
    files = subprocess.run(['git', '-C', root, 'ls-files'], capture_output=True, text=True,
                           check=True).stdout.split()

    def total(prefixes):
        return sum(lines(os.path.join(root, f)) for f in files
                   if f.startswith(prefixes) and f.endswith(SOURCES))

    tests = total(('tests/',))
    code = total(('Qel_CfgFilelib/', 'tools/'))
    print(f'tests {tests}, library and tools {code}: {tests / code:.3f} of the code')


if __name__ == '__main__':
    main()
