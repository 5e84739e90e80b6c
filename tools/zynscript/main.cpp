// zynscript [OPTION]... FILE.js [ARGUMENT]...: runs a script file against the system's automation
// objects. The exit code is the one the script passes to WScript.Quit, 0 when it ends normally, 1
// after an uncaught error or when the file cannot be read, and 2 for a wrong command line.

#include "scripthost.h"

#include "com/classregistry.h"
#include "objlib/ZynInterfaces.h"
#include "registry/registry.h"
#include "utils/ZynVersion.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

constexpr char kUsage[] =
    "Usage: zynscript [OPTION]... FILE.js [ARGUMENT]...\n"
    "Runs a JScript file against Tallon's automation objects, as a script host does. The script\n"
    "creates objects with WScript.CreateObject(PROGID), such as \"ZynTallonObj.ZynObjFactory\",\n"
    "and has WScript.Echo, WScript.Sleep(ms), WScript.Quit(code) and WScript.Arguments (the\n"
    "ARGUMENTs after FILE.js, passed as they are, even when they start with '-').\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "  --             end of options (for a FILE.js whose name starts with '-')\n"
    "\n"
    "Exit status: the code given to WScript.Quit, 0 when the script ends, 1 after an uncaught\n"
    "error or when FILE.js cannot be read, 2 for a wrong command line.\n";

int WrongCommandLine(const QString& problem) {
    std::fprintf(stderr, "zynscript: %s\n\n%s", problem.toLocal8Bit().constData(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // What the settings store had to do on its own (a damaged file moved aside) is said once.
    zyn::registry::SetNoticeHandler(
        [](const std::string& text) { std::fprintf(stderr, "zynscript: %s\n", text.c_str()); });
    const QStringList args = QCoreApplication::arguments();
    // Options come before the script; everything after it belongs to the script.
    qsizetype script = 1;
    for (; script < args.size(); ++script) {
        const QString& arg = args[script];
        if (arg == u"--") {
            ++script;
            break;
        }
        if (!arg.startsWith(u'-') || arg == u"-") break;
        if (arg == u"-h" || arg == u"--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == u"--version") {
            std::printf("zynscript %d.%d.%d\n", zyn::version::kMajor, zyn::version::kMinor,
                        zyn::version::kProgramBuild);
            return 0;
        }
        return WrongCommandLine(QStringLiteral("unknown option %1").arg(arg));
    }
    if (script >= args.size()) return WrongCommandLine(QStringLiteral("no script file given"));
    // Objects come from the object library beside this program, which registers itself on first
    // use as an installer would have done; a failure here surfaces later as the script's own
    // CreateObject error.
    const zyn::com::ServerLibraryUse library = zyn::com::UseOwnServerLibrary(ZYNTALLONOBJLib_TypeLib());
    if (const std::string notice = library.Notice(); !notice.empty())
        std::fprintf(stderr, "zynscript: %s\n", notice.c_str());
    zyn::script::CScriptHost host;
    return host.RunFile(args[script], args.mid(script + 1));
}
