// A syntax error: reported with its line, exit code 1.
var ok = 1;

var = 3;
WScript.Quit(0);
