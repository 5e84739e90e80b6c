#!/usr/bin/env python3
"""Fails when an include runs against the layer order or reaches into the object library.

Layers, lowest first: a file may include its own layer and the layers before it. Tools sit beside
the program: they may use everything below the program but nothing of it. Outside the object
library (and its own tests, benchmarks and fuzz targets) only its generated interfaces and its one
internal interface may be included: objects come from the class registry, so their classes may
belong to another copy of the library. Tests (files in a tests/ folder), benchmarks and fuzz
targets may use the shared test support (testing/) whatever their layer.

    scripts/check-includes.py [FILE ...]    (default: every source file of the tree)
"""
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

# Module folder (as written in an include) -> rank. Equal ranks may include each other.
LAYERS = [
    ['com', 'sync', 'registry', 'net', 'pdh'],  # platform/
    ['utils'],
    ['objlib'],
    ['remoting'],                        # automation objects on the bus: wire, exporter, proxies
    ['testing'],
    ['xml', 'resources'],                # app/, lowest first
    ['display'],
    ['document'],
    ['view'],
    ['report'],
    ['exchange'],
    ['options'],
    ['automation'],
    ['shell'],
]
RANK = {m: r for r, group in enumerate(LAYERS) for m in group}
APP_MODULES = {m for group in LAYERS[LAYERS.index(['xml', 'resources']):] for m in group}
TOOL_MODULES = {'zynscript'}

# What code outside the object library may include of it.
OBJLIB_PUBLIC = {'objlib/ZynInterfaces.h', 'objlib/ZynBulkAccess.h'}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCE_EXT = ('.h', '.cpp', '.cc')
SKIP_DIRS = {'.git', 'node_modules'}


def is_test(path):
    """Tests, benchmarks and fuzz targets may use the shared test support whatever their layer."""
    parts = path.split('/')
    return 'tests' in parts[:-1] or parts[0] in ('bench', 'fuzz')


def module_of(path):
    """The module folder a repository path belongs to, and whether it may see objlib's inside."""
    parts = path.split('/')
    if parts[0] in ('platform', 'app', 'tools') and len(parts) > 2:
        return parts[1], False
    if parts[0] in ('bench', 'fuzz'):
        return parts[0], True
    if parts[0] == 'objlib':
        return 'objlib', True
    return parts[0], False


def target_module(include):
    return include.split('/', 1)[0] if '/' in include else None


def violations(path, text):
    module, sees_objlib = module_of(path)
    for line_no, include in ((text.count('\n', 0, m.start()) + 1, m.group(1)) for m in INCLUDE.finditer(text)):
        target = target_module(include)
        if target is None or target == module:
            continue
        if target == 'testing' and is_test(path):
            continue
        if target == 'objlib' and not sees_objlib and include not in OBJLIB_PUBLIC:
            yield line_no, include, 'reaches into the object library (use its interfaces)'
            continue
        if module in ('bench', 'fuzz'):
            continue
        if module in TOOL_MODULES:
            if target in APP_MODULES:
                yield line_no, include, 'a tool includes the program'
            continue
        if target in TOOL_MODULES:
            yield line_no, include, 'includes a tool'
            continue
        if module in RANK and target in RANK and RANK[target] > RANK[module]:
            yield line_no, include, f'{module} is below {target} in the layer order'


def tree_files():
    for d, dirs, files in os.walk(ROOT):
        dirs[:] = [x for x in dirs if x not in SKIP_DIRS and not x.startswith('build')]
        for f in files:
            if f.endswith(SOURCE_EXT):
                yield os.path.relpath(os.path.join(d, f), ROOT)


def self_test():
    """Plants wrong includes in memory and checks that each is caught and a right one is not."""
    cases = [
        ('app/display/X.cpp', '#include "document/CTallonChart.h"\n', 1),
        ('app/document/X.cpp', '#include "display/ChartSettings.h"\n', 0),
        ('utils/X.cpp', '#include "objlib/ZynInterfaces.h"\n', 1),
        ('app/shell/X.cpp', '#include "objlib/ZynChart.h"\n', 1),
        ('app/shell/X.cpp', '#include "objlib/ZynInterfaces.h"\n', 0),
        ('app/display/X.cpp', '#include "objlib/ZynBulkAccess.h"\n', 0),
        ('app/display/tests/X.h', '#include "objlib/ZynDataSet.h"\n', 1),
        ('tools/zynscript/X.cpp', '#include "objlib/ZynModule.h"\n', 1),
        ('testing/X.h', '#include "objlib/ZynApp.h"\n', 1),
        ('objlib/tests/X.cpp', '#include "objlib/ZynChart.h"\n', 0),
        ('tools/zynscript/X.cpp', '#include "shell/MainFrame.h"\n', 1),
        ('platform/com/X.cpp', '#include "utils/ZynTime.h"\n', 1),
        ('platform/registry/tests/X.cpp', '#include "testing/TempSettingsStore.h"\n', 0),
        ('platform/registry/X.cpp', '#include "testing/TempSettingsStore.h"\n', 1),
        ('testing/X.cpp', '#include "objlib/ZynInterfaces.h"\n', 0),
        ('testing/X.cpp', '#include "objlib/ZynChart.h"\n', 1),
        ('testing/qt/X.cpp', '#include "display/ChartSettings.h"\n', 1),
    ]
    bad = [(p, t) for p, t, n in cases if len(list(violations(p, t))) != n]
    for p, t in bad:
        print(f'self-test: wrong verdict for {p}: {t.strip()}')
    return 1 if bad else 0


def main(argv):
    if argv == ['--self-test']:
        return self_test()
    files = [os.path.relpath(os.path.abspath(a), ROOT) for a in argv] or list(tree_files())
    failed = 0
    for rel in files:
        if not rel.endswith(SOURCE_EXT) or not os.path.exists(os.path.join(ROOT, rel)):
            continue
        with open(os.path.join(ROOT, rel), encoding='utf-8', errors='replace') as f:
            text = f.read()
        for line_no, include, why in violations(rel.replace(os.sep, '/'), text):
            print(f'{rel}:{line_no}: "{include}": {why}')
            failed += 1
    if failed:
        print(f'check-includes: {failed} include(s) against the layer order', file=sys.stderr)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
