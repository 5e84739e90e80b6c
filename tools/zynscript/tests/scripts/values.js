// Values crossing to objects and back, through a mirror object: FormatNumber reports what it
// received and CurrentTime returns it.
var failures = 0;
function check(ok, what) {
    if (!ok) {
        WScript.Echo("FAIL: " + what);
        failures++;
    }
}
var u = WScript.CreateObject("ZynScriptTest.Utils");
function arrived(v) { return u.FormatNumber(0, v); }
function roundTrip(v) { u.FormatNumber(0, v); return u.CurrentTime(); }

check(arrived(5) === "I4:5", "integer");
check(arrived(-2147483648) === "I4:-2147483648", "smallest long");
check(arrived(2147483648) === "R8:2147483648", "beyond long");
check(arrived(2.5) === "R8:2.5", "fraction");
check(arrived("héllo ✓") === "BSTR:héllo ✓", "text");
check(arrived(true) === "BOOL:-1" && arrived(false) === "BOOL:0", "booleans");
check(arrived(null) === "NULL" && arrived(undefined) === "EMPTY", "null and undefined");
check(arrived(new Uint8Array([1, 2, 255])) === "BYTES:1,2,255", "Uint8Array");
check(arrived(new Uint8Array([9, 8, 7, 6]).subarray(1, 3)) === "BYTES:8,7", "a view passes only its bytes");
check(arrived(new ArrayBuffer(2)) === "BYTES:0,0", "ArrayBuffer");
check(arrived([1, "x", [true]]) === "ARRAY[I4:1|BSTR:x|ARRAY[BOOL:-1]]", "arrays");
check(arrived(u) === "DISPATCH", "object");

check(roundTrip(7) === 7 && roundTrip("s") === "s" && roundTrip(true) === true, "primitives back");
check(roundTrip(null) === null && roundTrip(undefined) === undefined, "null and empty back");
var bytes = roundTrip(new Uint8Array([3, 4, 5]));
check(bytes instanceof ArrayBuffer && new Uint8Array(bytes).join() === "3,4,5", "bytes come back as ArrayBuffer");
var list = roundTrip([1, "two", null]);
check(Array.isArray(list) && list.length === 3 && list[1] === "two" && list[2] === null, "array back");

var d = new Date(2024, 1, 29, 23, 59, 58, 999);
var back = roundTrip(d);
check(back instanceof Date && back.getTime() === d.getTime(), "date back to the millisecond: " + back);
var old = new Date(1899, 11, 29, 6, 0, 0, 0);
check(roundTrip(old).getTime() === old.getTime(), "date before 1899-12-30");

var same = roundTrip(u);
same.FormatNumber(0, 12);
check(u.CurrentTime() === 12, "an object comes back as the same object");

check(u.ZynRGB(0, 0, 255) === 16711680, "method with converted arguments");
check(u.MajorVersion === 2 && u.majorversion === 2, "property read at once, any case");
check("Build" in u && !("Nope" in u), "'in' answers from the object's names");
check(typeof String(u) === "string", "an object converts to text");

var ds = WScript.CreateObject("ZynScriptTest.DataSet");
check(ds.Count === 1000 && ds.GetValueAt(3) === 1.5, "data set");
var t = ds.GetTimeAt(2);
check(t instanceof Date && t.getMilliseconds() === 2 && t.getHours() === 12, "VT_DATE as a local Date with ms: " + t);
var lock = ds.LockObject();
lock.Unlock();

var lb = WScript.CreateObject("ZynScriptTest.LateBound");
check(lb.Value === 7, "late-bound read");
lb.value = 9;
check(lb.Value === 9 && lb.Add(2, 3) === 5, "late-bound put and call");

WScript.Quit(failures === 0 ? 0 : 2);
