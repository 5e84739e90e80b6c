#include "scripthost.h"

#include "dispatchbridge.h"
#include "hresulttext.h"
#include "wscript.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJSEngine>
#include <QStringDecoder>
#include <QUrl>

#include <cstdio>

namespace zyn::script {
namespace {

CScriptHost::Sink StreamSink(std::FILE* stream) {
    return [stream](const QString& text) {
        const QByteArray bytes = text.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
        std::fflush(stream);
    };
}

QJSValue LoadWScriptFactory(QJSEngine* engine) {
    QFile file(QStringLiteral(":/zynscript/wscript.js"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("zynscript: the WScript script is missing from the resources");
    QJSValue factory =
        engine->evaluate(QString::fromUtf8(file.readAll()), QStringLiteral("zynscript:wscript.js"));
    if (factory.isError() || !factory.isCallable()) qFatal("zynscript: the WScript script does not load");
    return factory;
}

// A stack frame reads "function:line:column:file".
bool ParseFrame(const QString& frame, int* line, QString* file) {
    const qsizetype first = frame.indexOf(QLatin1Char(':'));
    const qsizetype second = first < 0 ? -1 : frame.indexOf(QLatin1Char(':'), first + 1);
    const qsizetype third = second < 0 ? -1 : frame.indexOf(QLatin1Char(':'), second + 1);
    if (third < 0) return false;
    bool ok = false;
    *line = frame.mid(first + 1, second - first - 1).toInt(&ok);
    *file = frame.mid(third + 1);
    return ok;
}

} // namespace

CScriptHost::CScriptHost(Sink out, Sink err)
    : m_out(out ? std::move(out) : StreamSink(stdout)), m_err(err ? std::move(err) : StreamSink(stderr)),
      m_engine(std::make_unique<QJSEngine>()) {
    m_bridge = std::make_unique<CDispatchBridge>(m_engine.get());
    m_wscript = std::make_unique<CWScript>(m_bridge.get(), m_out);
    QJSEngine::setObjectOwnership(m_wscript.get(), QJSEngine::CppOwnership);
}

CScriptHost::~CScriptHost() {
    // Objects first, whatever the collector has or has not found: no reference outlives the host.
    m_bridge.reset();
    m_engine.reset();
    m_wscript.reset();
    // Handles of the engine's last sweep are deleted late; let them go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void CScriptHost::SetGlobalObject(const QString& name, IDispatch* object) {
    m_engine->globalObject().setProperty(name, m_bridge->Wrap(object));
}

void CScriptHost::InstallGlobals(const QString& path, const QStringList& arguments) {
    const QFileInfo info(path);
    QJSValue list = m_engine->newArray(static_cast<uint>(arguments.size()));
    for (qsizetype i = 0; i < arguments.size(); ++i)
        list.setProperty(static_cast<quint32>(i), arguments[i]);
    QJSValue globals = LoadWScriptFactory(m_engine.get())
                           .call({m_engine->newQObject(m_wscript.get()), m_bridge->ErrorFactory(),
                                  info.fileName(), info.absoluteFilePath(), list});
    m_engine->globalObject().setProperty(QStringLiteral("WScript"),
                                         globals.property(QStringLiteral("WScript")));
    m_engine->globalObject().setProperty(QStringLiteral("ActiveXObject"),
                                         globals.property(QStringLiteral("ActiveXObject")));
}

int CScriptHost::RunFile(const QString& path, const QStringList& arguments) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_err(QStringLiteral("%1: error: cannot read the script: %2\n").arg(path, file.errorString()));
        return 1;
    }
    const QByteArray bytes = file.readAll();
    // UTF-8 unless a byte-order mark says otherwise; the mark itself is dropped.
    QStringDecoder decoder(QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8));
    const QString source = decoder(bytes);
    return RunSource(source, path, arguments);
}

int CScriptHost::RunSource(const QString& source, const QString& path, const QStringList& arguments) {
    InstallGlobals(path, arguments);
    m_wscript->ResetQuit();
    QStringList stack;
    const QJSValue result = m_engine->evaluate(source, QFileInfo(path).absoluteFilePath(), 1, &stack);
    const bool quit = m_wscript->QuitRequested();
    m_engine->setInterrupted(false);
    if (quit) return m_wscript->ExitCode();
    // Only a thrown value leaves a stack behind; a script whose last expression is an Error object
    // has not failed.
    if (!stack.isEmpty()) {
        ReportUncaught(result, stack, path);
        return 1;
    }
    return 0;
}

void CScriptHost::ReportUncaught(const QJSValue& error, const QStringList& stack, const QString& path) {
    // The innermost frame in the script itself: errors raised inside the bridge carry the bridge's
    // frames on top.
    const QString scriptFile = QFileInfo(path).absoluteFilePath();
    int line = 0;
    for (const QString& frame : stack) {
        int frameLine = 0;
        QString frameFile;
        if (!ParseFrame(frame, &frameLine, &frameFile)) continue;
        const QUrl url(frameFile);
        const QString local = url.isLocalFile() ? url.toLocalFile() : frameFile;
        if (local == scriptFile) {
            line = frameLine;
            break;
        }
    }
    if (line == 0) line = error.property(QStringLiteral("lineNumber")).toInt();

    QString description;
    const QJSValue number = error.property(QStringLiteral("number"));
    const QJSValue text = error.property(QStringLiteral("description"));
    if (error.isObject() && number.isNumber() && text.isString())
        description =
            QStringLiteral("%1 (%2)").arg(text.toString(), HResultHex(static_cast<HRESULT>(number.toInt())));
    else if (error.isError())
        description = error.toString();
    else
        description = QStringLiteral("uncaught exception: %1").arg(error.toString());
    m_err(QStringLiteral("%1:%2: error: %3\n").arg(path).arg(line).arg(description));
}

} // namespace zyn::script
