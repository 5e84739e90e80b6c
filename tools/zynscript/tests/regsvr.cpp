// zynregsvr LIBRARY [EXPORT]: calls an in-process server's registration entry point
// (DllRegisterServer unless another export is named), as an installer would. The script tests
// register their servers with it in a fresh settings store.

#include "com/classregistry.h"
#include "com/guid.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fputs("usage: zynregsvr LIBRARY [EXPORT]\n", stderr);
        return 2;
    }
    const char* entry = argc == 3 ? argv[2] : "DllRegisterServer";
    const HRESULT hr = zyn::com::CallServerExport(argv[1], entry);
    if (FAILED(hr)) {
        std::fprintf(stderr, "zynregsvr: %s of %s failed: 0x%08X\n", entry, argv[1],
                     static_cast<unsigned>(hr));
        return 1;
    }
    return 0;
}
