#!/usr/bin/env python3
"""The type-library generator on small definitions: faults it must refuse with the line that holds
them, and the legal shapes close to them that it must still accept.

usage: gen_typelib_test.py GEN_TYPELIB.py REAL_DEFINITION.idl
"""
import os
import subprocess
import sys
import tempfile
import unittest

GENERATOR = None
REAL_IDL = None

LIBRARY = '''[uuid(11111111-2222-3333-4444-555555555555), version(1.0), helpstring("Test Library")]
library TESTLib
{
    typedef [public] enum { kOne = 1 } TestEnum;

    [uuid(21111111-2222-3333-4444-555555555555), dual, oleautomation, helpstring("IFirst")]
    interface IFirst : IDispatch
    {
%s
    };

    [uuid(31111111-2222-3333-4444-555555555555), dual, oleautomation, helpstring("ISecond")]
    interface ISecond : IDispatch
    {
        [id(0x60020000), helpstring("Run")] HRESULT Run();
    };

    [uuid(41111111-2222-3333-4444-555555555555), helpstring("Made by clients"), progid("T.Made.1"), vi_progid("T.Made"), registry_script(101)]
    coclass Made
    {
        [default] interface IFirst;
    };

    [uuid(51111111-2222-3333-4444-555555555555), helpstring("Made inside"), progid("T.Inner.1"), vi_progid("T.Inner"), registry_script(102), noncreatable]
    coclass Inner
    {
        [default] interface ISecond;
    };
};
'''
# The first member line of IFirst in LIBRARY.
FIRST_MEMBER_LINE = 9


class Generated:
    """Runs the generator on a definition (LIBRARY with `members` in IFirst, or `idl_text`)."""

    def __init__(self, members=None, idl_text=None, creatable=False):
        with tempfile.TemporaryDirectory() as folder:
            self.idl = os.path.join(folder, 'test.idl')
            with open(self.idl, 'w') as f:
                f.write(idl_text if idl_text is not None else LIBRARY % '\n'.join(members))
            out = os.path.join(folder, 'out')
            if creatable:
                args = ['--creatable-classes', self.idl, out + '.cpp']
            else:
                args = [self.idl, out + '.h', out + '.cpp', 'libTest.so']
            self.run = subprocess.run([sys.executable, GENERATOR] + args, capture_output=True, text=True)
            self.source = ''
            if self.run.returncode == 0:
                with open(out + '.cpp') as f:
                    self.source = f.read()


class RefusedDefinitions(unittest.TestCase):
    def assertRefused(self, g, line, *words):
        self.assertNotEqual(g.run.returncode, 0, 'the generator accepted a faulty definition')
        self.assertIn(f'{g.idl}:{line}: error:', g.run.stderr)
        for w in words:
            self.assertIn(w, g.run.stderr)

    def test_member_without_attributes(self):
        g = Generated(['        [id(0x60020000), helpstring("Start")] HRESULT Start();',
                       '        HRESULT Forgotten([in] long i_Value);'])
        self.assertRefused(g, FIRST_MEMBER_LINE + 1, 'Forgotten', 'IFirst', 'no attributes')

    def test_member_without_dispatch_id(self):
        g = Generated(['        [helpstring("No id")] HRESULT Nameless();'])
        self.assertRefused(g, FIRST_MEMBER_LINE, 'Nameless', 'no dispatch id')

    def test_repeated_dispatch_id_of_two_methods(self):
        g = Generated(['        [id(0x60020000), helpstring("Start")] HRESULT Start();',
                       '        [id(0x60020001), helpstring("Stop")] HRESULT Stop();',
                       '        [id(0x60020000), helpstring("Again")] HRESULT Again();'])
        self.assertRefused(g, FIRST_MEMBER_LINE + 2, '0x60020000', 'IFirst.Again', 'IFirst.Start')

    def test_repeated_dispatch_id_of_two_properties(self):
        g = Generated([
            '        [propget, id(0x60020000), helpstring("Get A")] HRESULT A([out, retval] long* pVal);',
            '        [propput, id(0x60020000), helpstring("Put B")] HRESULT B([in] long newVal);'])
        self.assertRefused(g, FIRST_MEMBER_LINE + 1, 'IFirst.B', 'IFirst.A')

    def test_a_third_member_on_a_property_id(self):
        g = Generated([
            '        [propget, id(0x60020000), helpstring("Get A")] HRESULT A([out, retval] long* pVal);',
            '        [propput, id(0x60020000), helpstring("Put A")] HRESULT A([in] long newVal);',
            '        [propget, id(0x60020000), helpstring("Get A again")] HRESULT A([out, retval] long* pVal);'])
        self.assertRefused(g, FIRST_MEMBER_LINE + 2, 'repeats')


    def test_an_interface_extending_one_defined_after_it(self):
        text = (LIBRARY % '        [id(0x60030000), helpstring("Start")] HRESULT Start();').replace(
            'interface IFirst : IDispatch', 'interface IFirst : ISecond')
        g = Generated(idl_text=text)
        self.assertNotEqual(g.run.returncode, 0, 'the generator accepted a base defined after its extension')
        self.assertIn('IFirst extends ISecond', g.run.stderr)


class AcceptedDefinitions(unittest.TestCase):
    def test_a_later_version_lists_the_first_versions_members_first_and_names_it(self):
        text = (LIBRARY % '        [id(0x60020000), helpstring("Start")] HRESULT Start();').replace(
            'interface ISecond : IDispatch', 'interface ISecond : IFirst').replace(
            '[id(0x60020000), helpstring("Run")] HRESULT Run();', '[id(0x60030000), helpstring("Run")] HRESULT Run();')
        g = Generated(idl_text=text)
        self.assertEqual(g.run.returncode, 0, g.run.stderr)
        members = g.source[g.source.index('kMembers_ISecond[] = {'):]
        self.assertLess(members.index('u"Start"'), members.index('u"Run"'))
        self.assertIn('kMembers_ISecond, &kTable_IFirst}', g.source)
        self.assertIn('kMembers_IFirst, nullptr}', g.source)


    def test_a_property_get_and_put_share_their_id(self):
        g = Generated([
            '        [propget, id(0x60020000), helpstring("Get A")] HRESULT A([out, retval] long* pVal);',
            '        [propput, id(0x60020000), helpstring("Put A")] HRESULT A([in] long newVal);'])
        self.assertEqual(g.run.returncode, 0, g.run.stderr)
        self.assertEqual(g.source.count('0x60020000, MemberKind::'), 3)  # A twice, ISecond.Run

    def test_interfaces_number_their_members_independently(self):
        # ISecond.Run has the same id as IFirst.Start.
        g = Generated(['        [id(0x60020000), helpstring("Start")] HRESULT Start();'])
        self.assertEqual(g.run.returncode, 0, g.run.stderr)

    def test_the_library_definition(self):
        g = Generated(idl_text=open(REAL_IDL).read())
        self.assertEqual(g.run.returncode, 0, g.run.stderr)


class CreatableClasses(unittest.TestCase):
    def test_only_classes_not_marked_noncreatable_are_served(self):
        g = Generated(['        [id(0x60020000), helpstring("Start")] HRESULT Start();'], creatable=True)
        self.assertEqual(g.run.returncode, 0, g.run.stderr)
        self.assertIn('{&CLSID_Made, &creators::Made}', g.source)
        self.assertNotIn('Inner', g.source)

    def test_the_library_serves_six_classes(self):
        g = Generated(idl_text=open(REAL_IDL).read(), creatable=True)
        self.assertEqual(g.run.returncode, 0, g.run.stderr)
        served = sorted(line.split('::')[1].rstrip('},') for line in g.source.splitlines()
                        if '&creators::' in line)
        self.assertEqual(served, ['Channel', 'Chart', 'Event', 'EventIter', 'Utils', 'ZynObjFactory'])


if __name__ == '__main__':
    GENERATOR, REAL_IDL = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1])
