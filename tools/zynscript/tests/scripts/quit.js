// Quit ends the script at once with its code: neither catch nor finally runs.
WScript.Echo("before");
try {
    WScript.Quit(42);
} catch (e) {
    WScript.Echo("caught");
} finally {
    WScript.Echo("finally");
}
WScript.Echo("after");
