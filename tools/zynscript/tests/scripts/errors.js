// Failed calls throw Error objects carrying the HRESULT, the description and the raising class.
var failures = 0;
function check(ok, what) {
    if (!ok) {
        WScript.Echo("FAIL: " + what);
        failures++;
    }
}
function thrown(f) {
    try { f(); } catch (e) { return e; }
    return null;
}
var f = WScript.CreateObject("ZynScriptTest.Filter");
var u = WScript.CreateObject("ZynScriptTest.Utils");
var ds = WScript.CreateObject("ZynScriptTest.DataSet");

var e = thrown(function () { f.Enable = 9; });
check(e instanceof Error, "an Error");
check(e && e.number === -2147024809, "number is the signed HRESULT");
check(e && e.description === "Enable must be 0 or 1" && e.message === e.description, "description and message");
check(e && e.source === "ZynScriptTest.Filter.1", "source is the raising class");
check(f.Enable === 1, "a failed put leaves the value");

e = thrown(function () { ds.GetValueAt(5000); });
check(e && e.number === (0x80070057 | 0) && e.description === "Index out of range", "method failure");

e = thrown(function () { u.Log("fail"); });
check(e && e.number === (0x80004005 | 0) && e.description.length > 0, "generic text when none was set");

e = thrown(function () { u.NoSuchMember(1); });
check(e && e.number === (0x80020006 | 0), "unknown member call");
check(typeof u.NoSuchProperty === "function" && !("NoSuchProperty" in u), "unknown member read");
e = thrown(function () { u.NoSuchProperty = 1; });
check(e && e.number === (0x80020006 | 0), "unknown member write");

e = thrown(function () { ds.GetValueAt(); });
check(e && e.number === (0x8002000E | 0), "missing argument");
e = thrown(function () { u.ZynRGB(1, "green", 3); });
check(e && e.number === (0x80020005 | 0), "type mismatch");
e = thrown(function () { u.ZynRGB(1, 256, 3); });
check(e && e.number === (0x8002000A | 0), "overflow");
e = thrown(function () { f.Identifier = "x"; });
check(e && e.number === (0x80020003 | 0), "read-only property");
e = thrown(function () { u.FormatNumber(0, function () {}); });
check(e && e.number === (0x80020005 | 0), "a function is no automation value");
e = thrown(function () { u.FormatNumber(0, new Date(NaN)); });
check(e && e.number === (0x8002000A | 0), "invalid date");

WScript.Quit(failures === 0 ? 0 : 2);
