#!/usr/bin/env python3
"""zynscript's own command line: help and version on standard output with status 0, a wrong command
line gets the usage on standard error and status 2, and the arguments after the script reach the
script untouched even when they look like options.

usage: command_line_test.py ZYNSCRIPT ECHO_ARGS_SCRIPT
"""
import os
import subprocess
import sys
import tempfile


def run(zynscript, *args):
    return subprocess.run([zynscript, *args], capture_output=True, text=True, timeout=60)


def main(zynscript, echo_args):
    failures = []

    def check(ok, what, result):
        if not ok:
            failures.append(f'{what}: status {result.returncode}\nstdout: {result.stdout}\nstderr: {result.stderr}')

    for spelling in ('--help', '-h'):
        r = run(zynscript, spelling, echo_args)
        check(r.returncode == 0 and r.stdout.startswith('Usage: zynscript ') and '--version' in r.stdout
              and r.stderr == '', spelling, r)

    r = run(zynscript, '--version')
    check(r.returncode == 0 and r.stdout.startswith('zynscript ') and r.stdout.split()[1][0].isdigit(), '--version', r)

    for wrong in ([], ['--no-such-option', echo_args], ['-x'], ['--']):
        r = run(zynscript, *wrong)
        check(r.returncode == 2 and r.stderr.startswith('zynscript: ') and 'Usage: zynscript ' in r.stderr
              and r.stdout == '', f'wrong command line {wrong}', r)

    r = run(zynscript, echo_args, '--help', '-x', 'plain', '')
    check(r.returncode == 0 and r.stdout.split('\n') == ['--help', '-x', 'plain', '', ''], 'script arguments', r)

    r = run(zynscript, '--', echo_args, '--version')
    check(r.returncode == 0 and r.stdout == '--version\n', '-- before the script', r)

    if failures:
        print('command_line_test:\n' + '\n\n'.join(failures), file=sys.stderr)
        sys.exit(1)


if __name__ == '__main__':
    with tempfile.TemporaryDirectory() as store:
        os.environ['ZYN_REGISTRY_DIR'] = store
        main(*sys.argv[1:])
