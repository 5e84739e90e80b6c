// A live chart driven end to end from a script: the application object from the factory, a real
// counter sampled for about a second, values and times checked, events, the error object, and the
// chart saved as text and loaded back.
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

var factory = WScript.CreateObject("ZynTallonObj.ZynObjFactory.1");
var app = factory.Create(1, 0, 0);
check(app !== null, "application object");
check(thrown(function () { factory.Create(4, 0, 0); }) !== null, "Create(4) fails");

var chart = app.AddChart();
check(chart.Name === "Chart-1", "adopted name " + chart.Name);
chart.Rate = 50;
check(chart.Rate === 200, "rate clamped to 200, got " + chart.Rate);

var cpu = chart.AddChannel("\\Processor(_Total)\\% Processor Time");
var mem = chart.AddChannel("\\Memory\\Available MBytes");
check(cpu.ChannelType === cpu.typeDynamic, "dynamic channel");
check(cpu.Name === "Channel-1" && mem.Name === "Channel-2", "channel names");
check(cpu.CounterObject === "Processor" && cpu.CounterInstance === "Total", "counter info " + cpu.CounterInstance);

var bogus = chart.AddChannel("\\No Such Object\\Nothing");
check(bogus.Counter === "\\No Such Object\\Nothing", "an invalid path is kept as the counter text");

var event = chart.AddEvent("Load phase");
check(event.InProgress === 1, "event in progress");

var started = new Date();
chart.Run = 1;
check(thrown(function () { chart.Sample(); }) === null, "Sample while running does not throw");
WScript.Sleep(1300);
chart.Run = 0;
check(event.InProgress === 0, "stopping the chart stops its events");

var n = cpu.DataCount;
check(n >= 4 && n <= 8, "samples in 1.3 s at 200 ms: " + n);
check(bogus.DataCount === 0, "the invalid channel got nothing");
var data = cpu.Data;
for (var i = 1; i < n; i++) {
    var v = data.GetValueAt(i);
    check(v >= 0 && v <= 100, "cpu value " + v);
    check(mem.Data.GetValueAt(i) > 0, "available memory");
}
var first = cpu.FirstTime, last = cpu.LastTime;
check(first instanceof Date && last instanceof Date, "times are dates");
check(Math.abs(chart.StartTime.getTime() - started.getTime()) < 2000, "start near the run");
var t1 = data.GetTimeAt(1).getTime(), t2 = data.GetTimeAt(2).getTime();
check(t2 - t1 >= 190 && t2 - t1 <= 800, "regular times: " + (t2 - t1) + " ms");
check(chart.LastTime.getTime() === last.getTime(), "chart and channel agree on the last time");

var err = thrown(function () { cpu.Width = 9; });
check(err !== null && err.description === "Line width must be between 0 and 8 inclusive",
      "width error text: " + (err && err.description));
check(err !== null && err.source === "ZynTallonObj.Channel.1", "width error source: " + (err && err.source));
check(err !== null && err.number === -2147024809, "width error number: " + (err && err.number));

var found = app.FindChart("Chart-1");
check(found !== null && found.Identifier === chart.Identifier, "FindChart");
var it = chart.Channels;
check(it.Count === 3, "three channels");
var names = [];
while (it.HasNext) names.push(it.GetNext().Name);
check(names.join(",") === "Channel-1,Channel-2,Channel-3", "iteration order " + names.join(","));

if (true) {
    var text = chart.SaveChartAsString();
    check(typeof text === "string" && text.length > 100, "saved as text");
    var loaded = app.LoadChartFromString(text);
    check(loaded.Name === "Chart-1", "the loaded chart takes the saved name, got " + loaded.Name);
    check(loaded.Identifier !== chart.Identifier, "a loaded chart gets a new identifier");
    var lit = loaded.Channels;
    check(lit.Count === 3, "loaded channels");
    var lcpu = lit.GetNext();
    check(lcpu.ChannelType === lcpu.typeStatic, "loaded channels are static");
    check(lcpu.DataCount === n, "loaded count " + lcpu.DataCount);
    for (var k = 0; k < n; k++)
        check(lcpu.Data.GetValueAt(k) === data.GetValueAt(k), "loaded value " + k);
    check(lcpu.LastTime.getTime() === last.getTime(), "loaded last time");
    var levents = loaded.Events;
    check(levents.Count === 1 && levents.GetNext().Name === "Load phase", "loaded event");
}

WScript.Quit(failures === 0 ? 0 : 1);
