#!/usr/bin/env python3
"""Checks the Doxygen input filter on every public header: it keeps the number of lines (so that
Doxygen's warnings point at the right line) and never changes code, only comments."""
import glob
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FILTER = os.path.join(ROOT, 'docs', 'doxygen_filter.py')


def code(line):
    return line.split('//')[0].rstrip()


def main():
    failures = []
    headers = sorted(glob.glob(os.path.join(ROOT, 'include', 'zem', '*', '*.h')))
    for header in headers:
        with open(header, encoding='latin-1') as f:
            original = f.read().splitlines()
        filtered = subprocess.run([sys.executable, FILTER, header], check=True,
                                  capture_output=True, text=True,
                                  encoding='latin-1').stdout.splitlines()
        name = os.path.relpath(header, ROOT)
        if len(filtered) != len(original):
            failures.append('%s: %d lines became %d' % (name, len(original), len(filtered)))
            continue
        for number, (before, after) in enumerate(zip(original, filtered), 1):
            if code(before) != code(after):
                failures.append('%s:%d: code changed:\n  %s\n  %s' % (name, number, before, after))
    for failure in failures:
        print(failure)
    print('%d headers checked, %d problems' % (len(headers), len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
