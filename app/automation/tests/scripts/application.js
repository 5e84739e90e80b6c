// The application object from a script, with no program running: the class starts one. Every
// member of the application object and of the chart window object, the object library's objects
// behind them, and the errors all of them raise.
//   zynscript application.js WORKDIR
var failures = 0;
function check(ok, what) {
    if (!ok) {
        WScript.Echo("FAIL: " + what);
        failures++;
    }
}
function thrown(f) {
    try { f(); } catch (e) { return e; }
    return null;
}
var dir = WScript.Arguments(0);

var app = WScript.CreateObject("Tallon.Application");
check(app.Describe() === "Zynthar Tallon. Version 2.4  Build#1439", "Describe: " + app.Describe());

// A chart window on real counters, sampled for about a second.
var chart = app.AddChart();
check(chart !== null && chart.Name === "Chart-1", "AddChart gives the window's chart: " + (chart && chart.Name));
var cpu = chart.AddChannel("\\Processor(_Total)\\% Processor Time");
var mem = chart.AddChannel("\\Memory\\Available MBytes");
chart.Rate = 200;
chart.Run = 1;
WScript.Sleep(1100);
chart.Run = 0;
check(cpu.DataCount >= 3 && cpu.DataCount <= 8, "samples in about a second: " + cpu.DataCount);
check(mem.Data.GetValueAt(1) > 0, "available memory was sampled");
check(cpu.LastTime instanceof Date, "times are dates across the bus");

// The window of the chart, every property written and read back.
var win = app.FindChartWindow(chart.Identifier);
check(win !== null, "FindChartWindow finds the window");
check(app.FindChartWindow("{00000000-0000-0000-0000-000000000000}") === null, "no window for an unknown chart");
win.ColorBackGround = 0x102030;
check(win.ColorBackGround === 0x102030, "ColorBackGround " + win.ColorBackGround);
win.ColorGrid = 0x0000FF;
check(win.ColorGrid === 0x0000FF, "ColorGrid " + win.ColorGrid);
win.ColorText = 0x00FF00;
check(win.ColorText === 0x00FF00, "ColorText " + win.ColorText);
var flags = ["XMinorTicks", "XMajorTicks", "XGridLines", "YGridLines", "YMajorTicks", "YMinorTicks"];
for (var i = 0; i < flags.length; i++) {
    win[flags[i]] = false;
    check(win[flags[i]] === false, flags[i] + " off");
    win[flags[i]] = true;
    check(win[flags[i]] === true, flags[i] + " on");
}
win.TickSize = 3;
check(win.TickSize === 3, "TickSize " + win.TickSize);
win.TimeFormat = 9;
check(win.TimeFormat === 9, "TimeFormat 9 reads back " + win.TimeFormat);
win.TimeFormat = 2;
check(win.TimeFormat === 2, "TimeFormat 2 reads back " + win.TimeFormat);
check(win.GetApp().Describe() === app.Describe(), "GetApp is the application object that made the window");
win.Refresh();
win.Maximize();
win.Restore();
win.Minimize();
win.Restore();

app.StatusText = "Hello from a script";
app.CascadeWindows();
app.TileWindows();
app.Maximize();
app.Restore();
check(app.FindChart("Chart-1").Identifier === chart.Identifier, "FindChart by name");
check(app.FindChart(chart.Identifier).Name === "Chart-1", "FindChart by identifier");
check(app.FindChart("No such chart") === null, "FindChart of an unknown name");
check(app.Charts.Count === 1, "one chart: " + app.Charts.Count);

// Files through the window and back through the application object.
var tlon = dir + "/saved.tlon", csv = dir + "/saved.csv";
check(win.FileSave(tlon) === true, "FileSave of a chart file");
check(win.FileSave(csv) === true, "FileSave of CSV text");
check(win.FileSave(dir + "/no/such/folder/x.tlon") === false, "FileSave to a missing folder says false");
var opened = app.FileOpen(tlon);
check(opened !== null && opened.ChannelCount === 2, "FileOpen of the chart file");
check(opened.Identifier !== chart.Identifier, "FileOpen makes a new chart");
var imported = app.FileOpen(csv);
check(imported !== null && imported.ChannelCount === 2, "FileOpen of the CSV text: " + (imported && imported.ChannelCount));
check(imported.Channels.GetNext().DataCount === cpu.DataCount, "the CSV text holds every sample");
check(app.FileOpen(dir + "/missing.tlon") === null, "FileOpen of a missing file gives null");
check(app.FindChartWindow(opened.Identifier).GetApp().Describe() === app.Describe(), "opened windows are linked too");

// Saved charts back through LoadChart and LoadChartFromString.
var bytes = chart.SaveChart();
check(bytes instanceof ArrayBuffer && bytes.byteLength > 100, "SaveChart gives bytes");
var loaded = app.LoadChart(bytes);
check(loaded !== null && loaded.ChannelCount === 2, "LoadChart round trip");
check(loaded.Channels.GetNext().DataCount === cpu.DataCount, "LoadChart keeps the samples");
var fromText = app.LoadChartFromString(chart.SaveChartAsString());
check(fromText !== null && fromText.ChannelCount === 2, "LoadChartFromString round trip");
check(app.LoadChart("not bytes") === null, "LoadChart of something not a byte array gives null");
check(app.LoadChartFromString("garbage") === null, "LoadChartFromString of garbage gives null");
check(app.FindChartWindow(loaded.Identifier) !== null, "a loaded chart has a window");
check(app.Charts.Count === 5, "five charts now: " + app.Charts.Count);

// Errors: the object library's own, the bridge's, the program's.
var e = thrown(function () { cpu.Width = 9; });
check(e !== null && e.number === -2147024809, "error number " + (e && e.number));
check(e !== null && e.description === "Line width must be between 0 and 8 inclusive", "error text " + (e && e.description));
check(e !== null && e.source === "ZynTallonObj.Channel.1", "error source " + (e && e.source));
e = thrown(function () { app.FileOpen(); });
check(e !== null && e.number === (0x8002000E | 0), "a missing argument: " + (e && e.number));
e = thrown(function () { app.NoSuchMember(1); });
check(e !== null && e.number === (0x80020006 | 0), "an unknown member: " + (e && e.number));
e = thrown(function () { app.StatusText; });
check(e !== null, "StatusText cannot be read");
e = thrown(function () { app.Charts = 1; });
check(e !== null && e.number === (0x80020003 | 0), "Charts cannot be written: " + (e && e.number));
e = thrown(function () { win.TickSize = -1; });
check(e !== null && e.number === (0x8002000A | 0), "TickSize takes no negative number: " + (e && e.number));

WScript.Echo(failures === 0 ? "PASS" : "FAILED " + failures);
WScript.Quit(failures === 0 ? 0 : 2);
