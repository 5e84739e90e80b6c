// zynscript FILE.js [arguments...]: runs a script file against the system's automation objects.
// The exit code is the one the script passes to WScript.Quit, 0 when it ends normally, and 1
// after an uncaught error or when the file cannot be read.

#include "scripthost.h"

#include "com/classregistry.h"
#include "objlib/ZynInterfaces.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fputs("usage: zynscript FILE.js [arguments...]\n", stderr);
        return 1;
    }
    // Objects come from the object library beside this program, which registers itself on first
    // use as an installer would have done; a failure here surfaces later as the script's own
    // CreateObject error.
    const zyn::com::ServerLibraryUse library = zyn::com::UseOwnServerLibrary(ZYNTALLONOBJLib_TypeLib());
    if (const std::string notice = library.Notice(); !notice.empty())
        std::fprintf(stderr, "zynscript: %s\n", notice.c_str());
    zyn::script::CScriptHost host;
    return host.RunFile(args[1], args.mid(2));
}
