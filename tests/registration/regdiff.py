#!/usr/bin/env python3
"""Differences between two full registry exports of regedit /E.

Prints one sorted line per difference: "+[key]" or "-[key]" for a key that
appears or goes, and "+[key] value" or "-[key] value" for a value line of a
key present in both exports that appears or goes."""
import sys


def read_export(path):
    text = open(path, 'rb').read().decode('utf-16')
    keys = {}
    current = None
    pending = ''
    for line in text.replace('\r\n', '\n').split('\n'):
        if pending:
            line = pending + line.lstrip()
            pending = ''
        if line.endswith('\\') and current is not None and not line.startswith('['):
            pending = line[:-1]
            continue
        if line.startswith('[') and line.endswith(']'):
            current = line[1:-1]
            keys[current] = set()
        elif current is not None and line and not line.startswith(';'):
            keys[current].add(line)
    return keys


def main():
    before, after = read_export(sys.argv[1]), read_export(sys.argv[2])
    lines = []
    for key in before.keys() - after.keys():
        lines.append('-[%s]' % key)
    for key in after.keys() - before.keys():
        lines.append('+[%s]' % key)
        lines.extend('+[%s] %s' % (key, value) for value in after[key])
    for key in before.keys() & after.keys():
        lines.extend('-[%s] %s' % (key, value) for value in before[key] - after[key])
        lines.extend('+[%s] %s' % (key, value) for value in after[key] - before[key])
    for line in sorted(lines):
        print(line)


main()
