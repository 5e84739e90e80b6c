// The object library itself, registered by its own entry point and loaded by ProgID: the
// utilities object and free-standing events, driven end to end through the script host.
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

var u = WScript.CreateObject("ZynTallonObj.Utils.1");
check(u.ZynRGB(255, 0, 0) === 255 && u.ZynRGB(0, 0, 255) === 16711680, "ZynRGB");
check(u.MajorVersion === 2 && u.MinorVersion === 4 && u.Build === 1438, "version");
check(u.StringToDouble("2.5") === 2.5, "StringToDouble");
check(typeof u.FormatNumber(1234.5) === "string" && u.FormatNumber(1234.5).length > 0, "FormatNumber");

var before = Date.now();
var now = u.CurrentTime();
var after = Date.now();
check(now instanceof Date, "CurrentTime is a Date");
check(now.getTime() >= before - 2 && now.getTime() <= after + 2,
      "CurrentTime " + now.getTime() + " within [" + before + ", " + after + "]");

var byVersionless = new ActiveXObject("ZynTallonObj.Utils");
check(byVersionless.Build === 1438, "version-independent ProgID");

var ev = WScript.CreateObject("ZynTallonObj.Event.1");
ev.Name = "Spike";
ev.comment = "seen in a test";
check(ev.name === "Spike" && ev.Comment === "seen in a test", "event texts");
check(/^\{[0-9A-Fa-f-]{36}\}$/.test(ev.Identifier), "identifier " + ev.Identifier);
check(ev.InProgress === 1, "in progress");
WScript.Sleep(30);
ev.Stop();
check(ev.InProgress === 0, "stopped");
var span = ev.StopTime.getTime() - ev.StartTime.getTime();
check(span >= 25 && span < 5000, "event span " + span + " ms");

var e = thrown(function () { WScript.CreateObject("ZynTallonObj.App.1"); });
check(e && e.number === (0x80040111 | 0), "the application object is not client-creatable: " + (e && e.number));

WScript.Quit(failures === 0 ? 0 : 2);
