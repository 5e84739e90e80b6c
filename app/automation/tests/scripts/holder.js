// Holds running charts of an application object for a while (or until it is killed); says
// "ready" once it holds them.
//   zynscript holder.js [CHARTS] [SECONDS]
var count = WScript.Arguments.Count() > 0 ? Number(WScript.Arguments(0)) : 1;
var seconds = WScript.Arguments.Count() > 1 ? Number(WScript.Arguments(1)) : 30;
var app = WScript.CreateObject("Tallon.Application");
var charts = [];
for (var i = 0; i < count; i++) {
    var chart = app.AddChart();
    chart.Name = "Held-" + (i + 1);
    chart.AddChannel("\\Processor(_Total)\\% Processor Time");
    chart.Run = 1;
    charts.push(chart);
}
WScript.Echo("holding " + charts.length);
WScript.Echo("ready");
WScript.Sleep(seconds * 1000);
