// An exception raised by the script's own code while an argument is read for an object (an array
// element's getter) reaches the script unchanged, as it would from any other call.
var u = WScript.CreateObject("ZynScriptTest.Utils");
function arrayWithThrowingElement() {
    var a = [1, 2, 3];
    Object.defineProperty(a, 1, { get: function () { throw new RangeError("element two is gone"); } });
    return a;
}
var caught = "nothing";
try {
    u.FormatNumber(0, arrayWithThrowingElement());
} catch (e) {
    caught = (e instanceof RangeError) + " " + e.message;
}
WScript.Echo(caught);
// Nested one level deeper, and in a proxy's trap.
var nested = [0, arrayWithThrowingElement()];
try { u.FormatNumber(0, nested); } catch (e) { WScript.Echo("nested: " + e.message); }
var proxied = new Proxy({}, { get: function () { throw new TypeError("no reading"); } });
try { u.FormatNumber(0, proxied); } catch (e) { WScript.Echo("proxy: " + e.message); }
// A call after such an exception works as before.
WScript.Echo(u.FormatNumber(0, [4]));
