// The WScript object: arguments, names, echo, sleep; ActiveXObject; names in any case.
var failures = 0;
function check(ok, what) {
    if (!ok) {
        WScript.Echo("FAIL: " + what);
        failures++;
    }
}

var args = WScript.Arguments;
check(args.length === 2 && args.Count() === 2, "argument count");
check(args.Item(0) === "first" && args(1) === "second arg", "argument items");
check(WScript.arguments.item(1) === "second arg", "names in any case");
var badIndex = null;
try { args.Item(2); } catch (e) { badIndex = e; }
check(badIndex !== null && badIndex.number === (0x8002000B | 0), "index past the end throws");

check(WScript.ScriptName === "host.js", "ScriptName " + WScript.ScriptName);
check(/[\/]tests[\/]scripts[\/]host\.js$/.test(WScript.ScriptFullName) && WScript.ScriptFullName.charAt(0) === "/",
      "ScriptFullName " + WScript.ScriptFullName);

var t0 = Date.now();
WScript.Sleep(120);
var slept = Date.now() - t0;
check(slept >= 115 && slept < 5000, "Sleep(120) took " + slept + " ms");
WScript.Sleep(-1);
WScript.Sleep("not a number");

var a = new ActiveXObject("ZynScriptTest.Filter");
var b = WScript.CreateObject("ZynScriptTest.Filter");
a.Name = "A";
check(a.Name === "A" && b.name === "Filter-1", "two objects of one class are distinct");

var missing = null;
try { WScript.CreateObject("ZynScriptTest.NoSuchClass"); } catch (e) { missing = e; }
check(missing instanceof Error && missing.number === (0x800401F3 | 0) && missing.source === "WScript.CreateObject" &&
      missing.description.indexOf("ZynScriptTest.NoSuchClass") >= 0, "unknown class error");

WScript.Quit(failures === 0 ? 0 : 2);
