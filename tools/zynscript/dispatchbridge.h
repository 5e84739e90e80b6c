#pragma once
// The meeting point of automation objects and the script engine: wraps an IDispatch as a
// JavaScript object and unwraps it again, converts values both ways, keeps the member tables of
// the interfaces seen so far, and turns failed HRESULTs into JavaScript errors.
//
// Value conversions, script to automation: an integral number in 32-bit range is VT_I4, any other
// number VT_R8; a string VT_BSTR; a boolean VT_BOOL; null VT_NULL; undefined VT_EMPTY; a Date
// VT_DATE in local time with milliseconds; an ArrayBuffer or byte-typed array VT_ARRAY|VT_UI1; a
// Float64Array VT_ARRAY|VT_R8 (Float32Array VT_R4, Int32Array VT_I4, Uint32Array VT_UI4,
// Int16Array VT_I2, Uint16Array VT_UI2); a wrapped object VT_DISPATCH; an array
// VT_ARRAY|VT_VARIANT. And back: integer and floating types and VT_ERROR are numbers, VT_EMPTY
// undefined, VT_NULL null, VT_DATE a Date, byte arrays an ArrayBuffer, arrays of doubles a
// Float64Array, other arrays JavaScript arrays, and objects wrapped (a null object is null).

#include "interfaceinfo.h"

#include "com/dispatch.h"

#include <QJSValue>
#include <QString>

#include <memory>
#include <unordered_set>
#include <vector>

class QJSEngine;

namespace zyn::script {

class CDispatchHandle;

// Why a value could not be converted; becomes the script error.
struct ConversionError {
    HRESULT hr = DISP_E_TYPEMISMATCH;
    QString description;
    // The script's own code (a getter) threw while the value was read: that exception is pending
    // in the engine and must reach the script as it is, not be replaced by a conversion error.
    bool scriptThrew = false;
};

class CDispatchBridge {
public:
    explicit CDispatchBridge(QJSEngine* engine);
    ~CDispatchBridge();
    CDispatchBridge(const CDispatchBridge&) = delete;
    CDispatchBridge& operator=(const CDispatchBridge&) = delete;

    QJSEngine* Engine() const { return m_engine; }

    // A script object for `disp` (null gives null). The object holds a reference until the script
    // drops it and the collector finds it, or until ReleaseAll.
    QJSValue Wrap(IDispatch* disp);

    // Script value -> VARIANT (out is initialised here and owned by the caller).
    bool ToVariant(const QJSValue& value, VARIANT* out, ConversionError* error) const;
    // VARIANT -> script value.
    bool ToScript(const VARIANT& value, QJSValue* out, ConversionError* error);

    // An Error with `number` (the HRESULT, signed), `description`, `message` and `source`.
    QJSValue MakeError(HRESULT hr, const QString& description, const QString& source) const;
    // Raises MakeError(...) in the running script; the caller returns to the engine at once.
    void ThrowError(HRESULT hr, const QString& description, const QString& source = QString()) const;

    // The script function behind MakeError, for script-side helpers that raise the same errors.
    const QJSValue& ErrorFactory() const { return m_makeError; }

    // What CDispatchHandle::getDynamic returns for a member that needs a call with arguments.
    const QJSValue& CallMarker() const { return m_callMarker; }

    // Lets every wrapped object go; wrappers left in the engine then answer with an error. Called
    // before the engine is torn down, so no reference outlives the host whatever the collector does.
    void ReleaseAll();
    std::size_t LiveHandles() const { return m_handles.size(); }

    // The member table of the interface `disp` describes through its type information (shared
    // between objects of one interface); null without type information.
    std::shared_ptr<CInterfaceInfo> InterfaceOf(IDispatch* disp);

    // Handles register themselves so ReleaseAll can reach them.
    void Attach(CDispatchHandle* handle);
    void Detach(CDispatchHandle* handle);

private:
    bool ToVariantAt(const QJSValue& value, VARIANT* out, ConversionError* error, int depth) const;
    bool ToScriptAt(const VARIANT& value, QJSValue* out, ConversionError* error, int depth);
    bool ArrayToScript(SAFEARRAY* array, QJSValue* out, ConversionError* error, int depth);
    QJSValue DateToScript(DATE date, ConversionError* error) const;
    bool DateToVariant(const QJSValue& date, VARIANT* out, ConversionError* error) const;
    // The doubles of an array of numbers only as an array of variants, each typed as a single
    // number would be.
    bool NumbersToVariants(const QByteArray& doubles, VARIANT* out, ConversionError* error) const;
    // The bytes of a binary or typed array as an array of `elementType` (VT_UI1 for bytes).
    bool BytesToArray(const QByteArray& bytes, VARTYPE elementType, VARIANT* out,
                      ConversionError* error) const;

    QJSEngine* m_engine;
    QJSValue m_wrap;
    QJSValue m_classify;
    QJSValue m_elements;
    QJSValue m_makeError;
    QJSValue m_callMarker;
    QJSValue m_float64;
    QJSValue m_dateConstructor;
    std::vector<std::shared_ptr<CInterfaceInfo>> m_interfaces;
    std::unordered_set<CDispatchHandle*> m_handles;
    unsigned m_wrapsSinceSweep = 0;
};

// Automation dates are local wall-clock days since 1899-12-30; these convert with millisecond
// precision (the platform's SYSTEMTIME conversion keeps whole seconds only). Out-of-range or
// non-finite values give false.
bool DateToLocalMsecs(DATE date, qint64* msecsSinceEpoch);
bool LocalMsecsToDate(qint64 msecsSinceEpoch, DATE* date);

} // namespace zyn::script
