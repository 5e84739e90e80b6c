#include "wscript.h"

#include "dispatchbridge.h"

#include "com/ccombstr.h"
#include "com/classregistry.h"
#include "com/errorinfo.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJSEngine>
#include <QTimer>

#include <climits>
#include <cmath>

namespace zyn::script {

CWScript::CWScript(CDispatchBridge* bridge, Sink out) : m_bridge(bridge), m_out(std::move(out)) {}

void CWScript::ResetQuit() {
    m_quitRequested = false;
    m_exitCode = 0;
}

void CWScript::echo(const QString& text) {
    m_out(text + QLatin1Char('\n'));
}

void CWScript::sleep(double ms) {
    if (!(ms > 0)) return; // NaN, zero and negative waits return at once
    const int wait = ms >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(std::ceil(ms));
    // An event loop rather than a blocking sleep: queued work and the deletion of collected
    // wrappers (which releases their objects) proceed while the script waits.
    QEventLoop loop;
    QTimer::singleShot(wait, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void CWScript::quit(int code) {
    m_quitRequested = true;
    // The script's half keeps codes within what a process returns; this holds the line too.
    m_exitCode = code >= 0 && code <= 255 ? code : 255;
    // An interrupt ends the script at once; try/catch and finally blocks do not see it.
    m_bridge->Engine()->setInterrupted(true);
}

QJSValue CWScript::createObject(const QString& progId) {
    const std::u16string name(reinterpret_cast<const char16_t*>(progId.utf16()),
                              static_cast<std::size_t>(progId.size()));
    CLSID clsid{};
    HRESULT hr =
        name.find(u'\0') == std::u16string::npos ? CLSIDFromProgID(name.c_str(), &clsid) : CO_E_CLASSSTRING;
    CComPtr<IDispatch> disp;
    SetErrorInfo(0, nullptr);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IDispatch::kIID, reinterpret_cast<void**>(&disp));
    if (SUCCEEDED(hr) && !disp) hr = E_NOINTERFACE;
    if (FAILED(hr)) {
        // The class registry or a server that could not be reached may say why.
        QString why;
        CComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, &info) == S_OK && info) {
            CComBSTR text;
            info->GetDescription(&text);
            why = QString::fromUtf16(text.View().data(), qsizetype(text.View().size()));
        }
        QString description = QStringLiteral("Cannot create an object of the class \"%1\"").arg(progId);
        if (!why.isEmpty()) description += QStringLiteral(": ") + why;
        m_bridge->ThrowError(hr, description, QStringLiteral("WScript.CreateObject"));
        return {};
    }
    return m_bridge->Wrap(disp);
}

} // namespace zyn::script
