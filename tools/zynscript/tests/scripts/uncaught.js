// An error nobody catches: reported with this file and the line of the failing statement
// inside the function, and exit code 1.
var f = WScript.CreateObject("ZynScriptTest.Filter");

function setEnable(v) {
    // a comment line to move the failing statement
    var unused = 0;

    f.Enable = v;
}
setEnable(1);
setEnable(5);
WScript.Quit(0);
