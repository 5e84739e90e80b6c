// Prints the chart a generated script rebuilt in the program, one "property=value" line each (texts
// as JSON strings), once it runs: its settings, its window's, each channel's, and whether it
// samples. Prints "none" while no chart runs.
var app = WScript.CreateObject("Tallon.Application");
var charts = app.Charts, chart = null;
while (charts.HasNext) {
    var c = charts.GetNext();
    if (c.Run != 0 && c.ChannelCount > 0) chart = c;
}
if (chart === null) {
    WScript.Echo("none");
    WScript.Quit(1);
}
var window = app.FindChartWindow(chart.Identifier);
function flag(v) { return v ? 1 : 0; }
var lines = [];
lines.push("Name=" + JSON.stringify(chart.Name), "Comment=" + JSON.stringify(chart.Comment), "Rate=" + chart.Rate);
lines.push("TickSize=" + window.TickSize, "TimeFormat=" + window.TimeFormat);
lines.push("XMinorTicks=" + flag(window.XMinorTicks), "XMajorTicks=" + flag(window.XMajorTicks),
           "XGridLines=" + flag(window.XGridLines), "YMinorTicks=" + flag(window.YMinorTicks),
           "YMajorTicks=" + flag(window.YMajorTicks), "YGridLines=" + flag(window.YGridLines));
lines.push("ColorGrid=" + window.ColorGrid, "ColorText=" + window.ColorText,
           "ColorBackGround=" + window.ColorBackGround);
var channels = chart.Channels;
lines.push("Channels=" + channels.Count);
var first = null;
while (channels.HasNext) {
    var ch = channels.GetNext();
    if (first === null) first = ch;
    lines.push("CounterPath=" + JSON.stringify(ch.CounterPath), "Name=" + JSON.stringify(ch.Name),
               "Comment=" + JSON.stringify(ch.Comment), "Color=" + ch.Color, "Width=" + ch.Width,
               "ScaleMax=" + ch.ScaleMax, "ScaleMin=" + ch.ScaleMin, "Visible=" + flag(ch.Visible));
}
lines.push("Run=" + flag(chart.Run));
// Running means new samples keep coming.
var before = first.DataCount;
var waited = 0;
while (first.DataCount <= before && waited < 10000) {
    WScript.Sleep(100);
    waited += 100;
}
lines.push("Sampling=" + flag(first.DataCount > before));
WScript.Echo(lines.join("\n"));
