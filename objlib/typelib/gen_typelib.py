#!/usr/bin/env python3
"""Turns the object library's type library definition (an IDL text) into
   - a header with the C++ interface declarations, identifiers and the enumeration,
   - a source file with the dispatch tables, call thunks and the class table, and
   - for the library itself, the table of the classes clients may create,
so that every member and every class is declared once.

usage: gen_typelib.py DEFINITION.idl OUT_HEADER OUT_SOURCE SERVER_FILE [HEADER_INCLUDE]
       gen_typelib.py --creatable-classes DEFINITION.idl OUT_SOURCE

SERVER_FILE is the file name of the in-process server library that implements the classes (empty
for a program that serves its classes itself). HEADER_INCLUDE is how the source includes the header;
objlib/<header name> by default.
A definition the generator cannot trust (a member without attributes or without a dispatch id, a
dispatch id used twice within an interface) fails the build with its line number.
"""
import re
import sys
from dataclasses import dataclass, field


@dataclass
class Param:
    flags: list
    type: str
    name: str
    default: str | None = None


@dataclass
class Member:
    kind: str  # func, propget, propput
    id: int
    name: str
    help: str
    params: list
    line: int = 0


@dataclass
class Interface:
    name: str
    uuid: str
    base: str
    dual: bool
    help: str
    members: list = field(default_factory=list)


@dataclass
class CoClass:
    name: str
    uuid: str
    help: str
    progid: str
    vi_progid: str
    script: int
    creatable: bool
    interfaces: list
    default: str


def attr_value(attrs, key):
    m = re.search(r'\b' + key + r'\(\s*"?([^")]*)"?\s*\)', attrs)
    return m.group(1) if m else None


class DefinitionError(Exception):
    """A fault in the definition, reported with its line."""

    def __init__(self, line, text):
        super().__init__(text)
        self.line = line
        self.text = text


def line_of(text, offset):
    return text.count('\n', 0, offset) + 1


MEMBER = re.compile(r'\s*\[([^\]]*)\]\s*HRESULT\s+(\w+)\s*\((.*)\)\s*', re.S)


def members_of(text, body_offset, body, interface):
    """(attributes, name, parameter list, line) of each member of an interface body, in order.
    Every member must carry its attributes and a dispatch id: a member without them would be left
    out of the dispatch table (or shift the vtable) without a word."""
    offset = 0
    for statement in body.split(';'):
        start = body_offset + offset + len(statement) - len(statement.lstrip())
        offset += len(statement) + 1
        if not statement.strip():
            continue
        line = line_of(text, start)
        m = MEMBER.fullmatch(statement)
        if not m and not statement.lstrip().startswith('['):
            name = re.search(r'(\w+)\s*\(', statement)
            raise DefinitionError(line, f'member {name.group(1) if name else statement.strip()} of '
                                  f'{interface} has no attributes (each member needs [id(...), ...])')
        if not m:
            raise DefinitionError(line, f'cannot read a member of {interface}: {" ".join(statement.split())}')
        if attr_value(m.group(1), 'id') is None:
            raise DefinitionError(line, f'member {m.group(2)} of {interface} has no dispatch id')
        yield m.group(1), m.group(2), m.group(3), line


def check_dispatch_ids(itf):
    """One dispatch id names one member; only a property's get and put share theirs."""
    seen = {}
    for m in itf.members:
        first = seen.get(m.id)
        if first is None:
            seen[m.id] = [m]
            continue
        pair = len(first) == 1 and first[0].name == m.name and {first[0].kind, m.kind} == {'propget', 'propput'}
        if not pair:
            raise DefinitionError(m.line, f'dispatch id 0x{m.id:08X} of {itf.name}.{m.name} repeats '
                                  f'that of {itf.name}.{first[0].name} (line {first[0].line})')
        first.append(m)


def parse(text):
    text = re.sub(r'//[^\n]*', '', text)
    lib = {}
    m = re.search(r'\[([^\]]*)\]\s*library\s+(\w+)', text)
    lib['name'] = m.group(2)
    lib['uuid'] = attr_value(m.group(1), 'uuid')
    lib['help'] = attr_value(m.group(1), 'helpstring')
    major, minor = attr_value(m.group(1), 'version').split('.')
    lib['version'] = (int(major), int(minor))
    enum = re.search(r'typedef\s*\[[^\]]*\]\s*enum\s*\{([^}]*)\}\s*(\w+)\s*;', text)
    lib['enum_name'] = enum.group(2) if enum else None
    lib['enum'] = [tuple(x.strip() for x in e.split('=')) for e in enum.group(1).split(',') if e.strip()] if enum else []

    interfaces = []
    for im in re.finditer(r'\[([^\]]*)\]\s*interface\s+(\w+)\s*:\s*(\w+)\s*\{(.*?)\};', text, re.S):
        attrs, name, base, body = im.groups()
        itf = Interface(name, attr_value(attrs, 'uuid'), base, 'dual' in attrs, attr_value(attrs, 'helpstring') or '')
        for mattrs, mname, plist, line in members_of(text, im.start(4), body, name):
            kind = 'propget' if 'propget' in mattrs else 'propput' if 'propput' in mattrs else 'func'
            params = []
            for pm in re.finditer(r'\[([^\]]*)\]\s*([\w\s\*]+?)\s*(\w+)\s*(?:,|$)', plist.strip()):
                pflags, ptype, pname = pm.groups()
                flags = [f.strip() for f in re.sub(r'defaultvalue\([^)]*\)', 'defaultvalue', pflags).split(',')]
                default = attr_value(pflags, 'defaultvalue')
                params.append(Param(flags, ' '.join(ptype.split()), pname, default))
            itf.members.append(Member(kind, int(attr_value(mattrs, 'id'), 0), mname,
                                      attr_value(mattrs, 'helpstring') or '', params, line))
        check_dispatch_ids(itf)
        interfaces.append(itf)

    classes = []
    for cm in re.finditer(r'\[([^\]]*)\]\s*coclass\s+(\w+)\s*\{(.*?)\};', text, re.S):
        attrs, name, body = cm.groups()
        items = re.findall(r'(\[default\]\s*)?interface\s+(\w+)\s*;', body)
        default = next((n for d, n in items if d), items[0][1])
        classes.append(CoClass(name, attr_value(attrs, 'uuid'), attr_value(attrs, 'helpstring'),
                               attr_value(attrs, 'progid'), attr_value(attrs, 'vi_progid'),
                               int(attr_value(attrs, 'registry_script') or 0), 'noncreatable' not in attrs,
                               [n for _, n in items], default))
    return lib, interfaces, classes


# IDL type -> (C++ parameter type, dispatch VARTYPE, VARIANT member holding it)
IN_TYPES = {
    'long': ('LONG', 'VT_I4', 'lVal'),
    'double': ('double', 'VT_R8', 'dblVal'),
    'BSTR': ('BSTR', 'VT_BSTR', 'bstrVal'),
    'VARIANT': ('VARIANT', 'VT_VARIANT', None),
    'OLE_COLOR': ('OLE_COLOR', 'VT_UI4', 'ulVal'),
    'unsigned char': ('unsigned char', 'VT_UI1', 'bVal'),
    'unsigned long': ('ULONG', 'VT_UI4', 'ulVal'),
    'VARIANT_BOOL': ('VARIANT_BOOL', 'VT_BOOL', 'boolVal'),
    'IUnknown*': ('IUnknown*', 'VT_UNKNOWN', 'punkVal'),
    'long*': ('LONG*', None, None),
    'double*': ('double*', None, None),
}
# retval IDL type -> (C++ local type, result VARTYPE, VARIANT member)
OUT_TYPES = {
    'long*': ('LONG', 'VT_I4', 'lVal'),
    'double*': ('double', 'VT_R8', 'dblVal'),
    'BSTR*': ('BSTR', 'VT_BSTR', 'bstrVal'),
    'VARIANT*': (None, 'VT_VARIANT', None),
    'OLE_COLOR*': ('OLE_COLOR', 'VT_UI4', 'ulVal'),
    'unsigned long*': ('ULONG', 'VT_UI4', 'ulVal'),
    'VARIANT_BOOL*': ('VARIANT_BOOL', 'VT_BOOL', 'boolVal'),
    'IUnknown**': ('IUnknown*', 'VT_UNKNOWN', 'punkVal'),
    'IDispatch**': ('IDispatch*', 'VT_DISPATCH', 'pdispVal'),
}


def out_type(t, enum_name):
    if t in OUT_TYPES:
        return OUT_TYPES[t]
    if enum_name and t == enum_name + '*':
        return (enum_name, 'VT_I4', 'lVal')
    if re.fullmatch(r'IZyn\w+\*\*', t):
        return (t[:-1], 'VT_DISPATCH', 'pdispVal')
    raise SystemExit(f'unsupported retval type {t}')


def cpp_param_type(p, enum_name):
    if 'out' in p.flags:
        if p.type in ('VARIANT*', 'BSTR*', 'long*', 'double*', 'OLE_COLOR*', 'IUnknown**', 'IDispatch**',
                      'VARIANT_BOOL*', 'unsigned long*'):
            return {'long*': 'LONG*', 'unsigned long*': 'ULONG*'}.get(p.type, p.type)
        return p.type
    if p.type in IN_TYPES:
        return IN_TYPES[p.type][0]
    raise SystemExit(f'unsupported parameter type {p.type}')


def method_name(m):
    return {'propget': 'get_', 'propput': 'put_'}.get(m.kind, '') + m.name


def u(s):
    return 'u"' + s.replace('\\', '\\\\').replace('"', '\\"') + '"'


def guid(s):
    return f'zyn::com::MakeGuid("{s}")'


def write_header(path, lib, interfaces, classes):
    enum_name = lib['enum_name']
    out = ['#pragma once',
           '// Generated from the type library definition by gen_typelib.py: do not edit.',
           '',
           '#include "com/typeinfo.h"',
           '',
           'using OLE_COLOR = DWORD;',
           '']
    if enum_name:
        out.append(f'enum {enum_name} : std::int32_t {{')
        out += [f'    {n} = {v},' for n, v in lib['enum']]
        out += ['};', '']
    out.append(f'inline constexpr GUID LIBID_{lib["name"]} = {guid(lib["uuid"])};')
    for c in classes:
        out.append(f'inline constexpr CLSID CLSID_{c.name} = {guid(c.uuid)};')
    out.append('')
    out += [f'struct {i.name};' for i in interfaces]
    out.append('')
    for i in interfaces:
        out.append(f'struct {i.name} : {i.base} {{')
        out.append(f'    static constexpr IID kIID = {guid(i.uuid)};')
        if i.dual:
            out.append('    static const zyn::com::DispInterface& TypeTable();')
            out.append('    static const zyn::com::TypeLibInfo& TypeLibrary();')
        for m in i.members:
            args = ', '.join(f'{cpp_param_type(p, enum_name)} {p.name}' for p in m.params)
            out.append(f'    virtual HRESULT {method_name(m)}({args}) = 0;')
        out.append('')
        out.append('protected:')
        out.append(f'    ~{i.name}() = default;')
        out.append('};')
        out.append('')
    out.append(f'// The whole library: interfaces in definition order and the class table.')
    out.append(f'const zyn::com::TypeLibInfo& {lib["name"]}_TypeLib();')
    open(path, 'w').write('\n'.join(out) + '\n')


def dispatch_members(i, by_name):
    """A dual interface's members as late binding sees them: those it inherits from another
    interface of the library first, then its own, so that a newer interface extends an older one."""
    base = by_name.get(i.base)
    return (dispatch_members(base, by_name) if base else []) + i.members


def write_source(path, header_name, lib, interfaces, classes):
    enum_name = lib['enum_name']
    by_name = {i.name: i for i in interfaces}
    emitted = set()
    out = ['// Generated from the type library definition by gen_typelib.py: do not edit.',
           f'#include "{header_name}"', '', 'namespace {', '', 'using namespace zyn::com;', '']
    for i in interfaces:
        if not i.dual:
            continue
        members = dispatch_members(i, by_name)
        ids = [(m.id, m.kind) for m in members]
        if len(ids) != len(set(ids)):
            raise SystemExit(f'gen_typelib: {i.name} repeats a dispatch id of the same kind')
        for m in members:
            fn = f'Thunk_{i.name}_{method_name(m)}'
            out.append(f'HRESULT {fn}(void* self, [[maybe_unused]] VARIANT* a, [[maybe_unused]] VARIANT* r) {{')
            call_args = []
            post = []
            k = 0
            for p in m.params:
                if 'retval' in p.flags:
                    local, vt, member = out_type(p.type, enum_name)
                    if local is None:
                        call_args.append('r')
                    else:
                        out.append(f'    {local} ret{{}};')
                        call_args.append('&ret')
                        if enum_name and vt == 'VT_I4' and local == enum_name:
                            post.append(f'r->vt = VT_I4; r->lVal = static_cast<LONG>(ret);')
                        else:
                            post.append(f'r->vt = {vt}; r->{member} = ret;')
                else:
                    ctype, vt, member = IN_TYPES[p.type]
                    call_args.append(f'a[{k}]' if member is None else f'a[{k}].{member}')
                    k += 1
            out.append(f'    HRESULT hr = static_cast<{i.name}*>(self)->{method_name(m)}({", ".join(call_args)});')
            if post:
                out.append(f'    if (SUCCEEDED(hr)) {{ {" ".join(post)} }}')
            out.append('    return hr;')
            out.append('}')
            out.append('')
        for m in members:
            pname = f'kParams_{i.name}_{method_name(m)}'
            entries = []
            for p in m.params:
                flags = []
                if 'in' in p.flags: flags.append('kParamIn')
                if 'out' in p.flags: flags.append('kParamOut')
                if 'retval' in p.flags: flags.append('kParamRetval')
                if 'optional' in p.flags: flags.append('kParamOptional')
                if p.default is not None: flags.append('kParamHasDefault')
                vt = out_type(p.type, enum_name)[1] if 'retval' in p.flags else IN_TYPES[p.type][1]
                entries.append(f'{{{u(p.name)}, {vt}, static_cast<std::uint8_t>({" | ".join(flags) or "0"}), {p.default or 0}}}')
            if entries:
                out.append(f'constexpr DispParam {pname}[] = {{{", ".join(entries)}}};')
        out.append(f'constexpr DispMember kMembers_{i.name}[] = {{')
        kinds = {'func': 'Func', 'propget': 'PropGet', 'propput': 'PropPut'}
        for m in members:
            params = f'kParams_{i.name}_{method_name(m)}' if m.params else '{}'
            out.append(f'    {{0x{m.id:08X}, MemberKind::{kinds[m.kind]}, {u(m.name)}, {u(m.help)}, '
                       f'{params}, &Thunk_{i.name}_{method_name(m)}}},')
        out.append('};')
        # The table of the interface this one extends, so that type information can name it; a
        # base defined later would not be declared yet.
        base = by_name.get(i.base)
        if base and base.name not in emitted:
            raise SystemExit(f'gen_typelib: {i.name} extends {i.base}, which must be defined before it')
        base_table = f'&kTable_{base.name}' if base else 'nullptr'
        out.append(f'const DispInterface kTable_{i.name}{{{u(i.name)}, &{i.name}::kIID, {u(i.help)}, kMembers_{i.name}, '
                   f'{base_table}}};')
        emitted.add(i.name)
        out.append('')
    out.append('constexpr const DispInterface* kInterfaces[] = {')
    out += [f'    &kTable_{i.name},' for i in interfaces if i.dual]
    out.append('};')
    out.append('constexpr CoClassInfo kClasses[] = {')
    for c in classes:
        out.append(f'    {{{u(c.name)}, &CLSID_{c.name}, {u(c.progid)}, {u(c.vi_progid)}, {u(c.help)}, {c.script}, '
                   f'&{c.default}::kIID, {"true" if c.creatable else "false"}}},')
    out.append('};')
    out.append(f'const TypeLibInfo kLibrary{{{u(lib["name"])}, &LIBID_{lib["name"]}, {lib["version"][0]}, '
               f'{lib["version"][1]}, {u(lib["help"])}, kInterfaces, kClasses, "{lib["server_file"]}"}};')
    out.append('')
    out.append('} // namespace')
    out.append('')
    for i in interfaces:
        if i.dual:
            out.append(f'const DispInterface& {i.name}::TypeTable() {{ return kTable_{i.name}; }}')
            out.append(f'const TypeLibInfo& {i.name}::TypeLibrary() {{ return kLibrary; }}')
    out.append(f'const TypeLibInfo& {lib["name"]}_TypeLib() {{ return kLibrary; }}')
    open(path, 'w').write('\n'.join(out) + '\n')


def write_creatable_classes(path, classes):
    """The classes DllGetClassObject serves: those the definition does not mark noncreatable. The
    library defines one creator per class; a class added here without one fails to link."""
    creatable = [c for c in classes if c.creatable]
    out = ['// Generated from the type library definition by gen_typelib.py: do not edit.',
           '#include "objlib/ZynModule.h"', '', 'namespace zyn::obj {', '', 'namespace creators {']
    out += [f'HRESULT {c.name}(REFIID iid, void** out);' for c in creatable]
    out += ['} // namespace creators', '', 'namespace {', '', 'const CreatableClass kCreatable[] = {']
    out += [f'    {{&CLSID_{c.name}, &creators::{c.name}}},' for c in creatable]
    out += ['};', '', '} // namespace', '',
            'ObjectCreator CreatorFor(const CLSID& clsid) {',
            '    for (const CreatableClass& c : kCreatable)',
            '        if (*c.clsid == clsid) return c.create;',
            '    return nullptr;',
            '}', '', '} // namespace zyn::obj']
    open(path, 'w').write('\n'.join(out) + '\n')


def read_definition(idl):
    try:
        lib, interfaces, classes = parse(open(idl).read())
    except DefinitionError as e:
        raise SystemExit(f'{idl}:{e.line}: error: {e.text}')
    if not interfaces or not classes:
        raise SystemExit(f'{idl}: gen_typelib: no interfaces or classes found')
    return lib, interfaces, classes


def main(argv):
    if argv[:1] == ['--creatable-classes'] and len(argv) == 3:
        _, _, classes = read_definition(argv[1])
        write_creatable_classes(argv[2], classes)
        return
    if len(argv) not in (4, 5):
        raise SystemExit(__doc__)
    idl, header, source, server_file = argv[:4]
    include = argv[4] if len(argv) > 4 else 'objlib/' + header.rsplit('/', 1)[-1]
    lib, interfaces, classes = read_definition(idl)
    lib['server_file'] = server_file
    write_header(header, lib, interfaces, classes)
    write_source(source, include, lib, interfaces, classes)


if __name__ == '__main__':
    main(sys.argv[1:])
