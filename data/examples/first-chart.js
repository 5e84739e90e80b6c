// Samples the processor for two seconds and prints what it saw:
//   zynscript first-chart.js [MILLISECONDS]
var ms = WScript.Arguments.length > 0 ? Number(WScript.Arguments(0)) : 2000;
var app = WScript.CreateObject("ZynTallonObj.ZynObjFactory").Create(1, 0, 0);
var chart = app.AddChart();
var cpu = chart.AddChannel("\\Processor(_Total)\\% Processor Time");
chart.Rate = 250;
chart.Run = 1;
WScript.Sleep(ms);
chart.Run = 0;
if (cpu.DataCount < 2) {
    WScript.Echo("no samples from", cpu.Name);
    WScript.Quit(1);
}
WScript.Echo(cpu.DataCount, "samples, last", cpu.Data.GetValueAt(cpu.DataCount - 1));
