#pragma once
// Runs one script file the way the system's generated scripts expect to be run: a JavaScript
// engine with WScript and ActiveXObject, automation objects reachable by ProgID, and the exit
// code the script asks for. An uncaught error is reported as "FILE:LINE: error: DESCRIPTION" on
// the error stream and ends the run with exit code 1.

#include "com/dispatch.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QJSEngine;
class QJSValue;

namespace zyn::script {

class CDispatchBridge;
class CWScript;

class CScriptHost {
public:
    using Sink = std::function<void(const QString&)>;

    // Output goes to `out` (WScript.Echo) and `err` (error reports); empty sinks write to the
    // process's standard output and standard error.
    explicit CScriptHost(Sink out = {}, Sink err = {});
    ~CScriptHost();
    CScriptHost(const CScriptHost&) = delete;
    CScriptHost& operator=(const CScriptHost&) = delete;

    // Reads and runs a script file (UTF-8, or UTF-16 with a byte-order mark); returns the exit code.
    int RunFile(const QString& path, const QStringList& arguments);
    // Runs script text as if read from `path` (which names it in WScript and in error reports).
    int RunSource(const QString& source, const QString& path, const QStringList& arguments);

    // Makes an automation object a global of the script (for hosts that hand objects in).
    void SetGlobalObject(const QString& name, IDispatch* object);

    QJSEngine& Engine() { return *m_engine; }
    CDispatchBridge& Bridge() { return *m_bridge; }

private:
    void InstallGlobals(const QString& path, const QStringList& arguments);
    void ReportUncaught(const QJSValue& error, const QStringList& stack, const QString& path);

    Sink m_out;
    Sink m_err;
    std::unique_ptr<QJSEngine> m_engine;
    std::unique_ptr<CDispatchBridge> m_bridge;
    std::unique_ptr<CWScript> m_wscript;
};

} // namespace zyn::script
