// Says whether the application object this script gets sees the charts another client holds.
var app = WScript.CreateObject("Tallon.Application");
WScript.Echo(app.FindChart("Held-1") !== null ? "shared" : "separate");
WScript.Echo("charts " + app.Charts.Count);
