#!/usr/bin/env python3
"""zynscript started with another copy of the object library registered in the settings store:
it registers its own copy and says so once, and only its own copy is mapped into the process.

usage: one_copy_test.py ZYNSCRIPT REGSVR OBJECT_LIBRARY HOLD_SCRIPT QUICK_SCRIPT
"""
import os
import shutil
import subprocess
import sys
import tempfile


def mapped_copies(pid, name):
    paths = set()
    with open(f'/proc/{pid}/maps') as maps:
        for line in maps:
            fields = line.split(None, 5)
            if len(fields) == 6 and os.path.basename(fields[5].strip()) == name:
                paths.add(fields[5].strip())
    return paths


def fail(text):
    print(f'one_copy_test: {text}', file=sys.stderr)
    sys.exit(1)


def main(zynscript, regsvr, library, hold_script, quick_script):
    name = os.path.basename(library)
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, ZYN_REGISTRY_DIR=os.path.join(folder, 'store'), QT_QPA_PLATFORM='offscreen')
        os.makedirs(env['ZYN_REGISTRY_DIR'])
        other = os.path.join(folder, 'other', name)
        os.makedirs(os.path.dirname(other))
        shutil.copy(library, other)
        # Another installation registers its copy, from a process of its own.
        subprocess.run([regsvr, other], env=env, check=True)

        child = subprocess.Popen([zynscript, hold_script], env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, text=True)
        try:
            ready = child.stdout.readline()
            if not ready.startswith('ready'):
                fail(f'the script did not get its objects: {ready!r}')
            copies = mapped_copies(child.pid, name)
        finally:
            child.kill()
            _, errors = child.communicate()
        if len(copies) != 1 or not os.path.samefile(next(iter(copies)), library):
            fail(f'mapped copies of {name}: {sorted(copies)}; expected only {library}')
        notices = [line for line in errors.splitlines() if line.startswith('zynscript: the settings store')]
        if len(notices) != 1 or other not in notices[0] or library not in notices[0]:
            fail(f'expected one notice naming both copies, got: {errors!r}')

        # The store names this copy now: the next start has nothing to say.
        again = subprocess.run([zynscript, quick_script], env=env, capture_output=True, text=True)
        if again.returncode != 0 or 'settings store' in again.stderr:
            fail(f'second start: rc {again.returncode}, stderr {again.stderr!r}')


if __name__ == '__main__':
    if len(sys.argv) != 6:
        fail(__doc__)
    main(*sys.argv[1:])
