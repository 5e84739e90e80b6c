// Takes objects of the object library through the class registry, then holds the process open
// while the test looks at what is mapped into it.
var app = WScript.CreateObject("ZynTallonObj.ZynObjFactory").Create(1, 0, 0);
var chart = app.AddChart();
var utils = WScript.CreateObject("ZynTallonObj.Utils");
WScript.Echo("ready", chart.Name, utils.Build);
WScript.Sleep(60000);
