#pragma once
// The host services behind the script's WScript object: output, sleeping, quitting and creating
// automation objects by ProgID. wscript.js shapes them into WScript and ActiveXObject.

#include <QJSValue>
#include <QObject>

#include <functional>

namespace zyn::script {

class CDispatchBridge;

class CWScript final : public QObject {
    Q_OBJECT
public:
    using Sink = std::function<void(const QString&)>;

    CWScript(CDispatchBridge* bridge, Sink out);

    bool QuitRequested() const { return m_quitRequested; }
    int ExitCode() const { return m_exitCode; }
    void ResetQuit();

    Q_INVOKABLE void echo(const QString& text);
    Q_INVOKABLE void sleep(double ms);
    Q_INVOKABLE void quit(int code);
    Q_INVOKABLE QJSValue createObject(const QString& progId);

private:
    CDispatchBridge* m_bridge;
    Sink m_out;
    bool m_quitRequested = false;
    int m_exitCode = 0;
};

} // namespace zyn::script
