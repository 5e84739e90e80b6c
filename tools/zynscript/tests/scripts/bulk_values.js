// Whole runs of values from a script: a static channel built with one AddValues call from typed
// arrays and read back with GetValues and GetTimes, plain arrays of numbers and dates taken too, a
// bad run refused whole; and members of the same name on objects of different interfaces, which
// have different dispatch ids, each reaching its own object's member.
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

var app = WScript.CreateObject("ZynTallonObj.ZynObjFactory.1").Create(1, 0, 0);
var chart = app.AddChart();
var ch = chart.AddStaticChannel();

// Automation dates are days since 30 December 1899: 45000.25 is 15 March 2023, 06:00.
var n = 100000, start = 45000.25, msPerDay = 86400000;
var values = new Float64Array(n), times = new Float64Array(n);
for (var i = 0; i < n; ++i) {
    values[i] = Math.sin(i / 100) * 50 + 50;
    times[i] = start + i * 250 / msPerDay;
}
check(ch.AddValues(values, times) === n, "AddValues returns the count");
check(ch.DataCount === n, "DataCount " + ch.DataCount);

var back = ch.Data.GetValues(0, n);
check(back instanceof Float64Array && back.length === n, "GetValues gives a Float64Array of " + back.length);
var same = true;
for (var i = 0; i < n; ++i)
    if (back[i] !== values[i]) { same = false; break; }
check(same, "values come back exactly");
var part = ch.Data.GetValues(n - 3, 3);
check(part.length === 3 && part[2] === values[n - 1], "a run at the end");
var backTimes = ch.Data.GetTimes(0, n);
check(Math.abs(backTimes[n - 1] - times[n - 1]) < 1e-9, "last time " + backTimes[n - 1]);
check(ch.Data.GetTimeAt(1).getTime() - ch.Data.GetTimeAt(0).getTime() === 250, "times 250 ms apart");
check(ch.Data.GetValueAt(12345) === values[12345], "single reads agree");

// Plain arrays: numbers for values, Date objects (or dates as numbers) for times.
var t0 = ch.Data.GetTimeAt(n - 1).getTime();
check(ch.AddValues([1, 2.5, -3], [new Date(t0 + 1000), new Date(t0 + 2000), times[n - 1] + 3000 / msPerDay])
      === n + 3, "plain arrays");
var tail = ch.Data.GetValues(n, 3);
check(tail[0] === 1 && tail[1] === 2.5 && tail[2] === -3, "plain values " + Array.prototype.join.call(tail));
check(ch.Data.GetTimeAt(n + 1).getTime() === t0 + 2000, "a Date keeps its millisecond");

// A bad run is refused whole, with the object's message.
var e = thrown(function () { ch.AddValues(new Float64Array([1, 2]), new Float64Array([start])); });
check(e !== null && e.description === "IZynChannel2.AddValues was given 2 values and 1 times: each value needs its time",
      "length mismatch: " + (e && e.description));
e = thrown(function () { ch.AddValues([1, "x"], [start, start]); });
check(e !== null && /index 1/.test(e.description), "not a number: " + (e && e.description));
e = thrown(function () { ch.Data.GetValues(n, 4); });
check(e !== null && /There are 100003 values/.test(e.description), "range: " + (e && e.description));
check(ch.DataCount === n + 3, "nothing half stored: " + ch.DataCount);

// The same names, different members: Name, Clear, Count, LockObject and GetNext have other ids on
// charts, channels, data sets, events and iterators. Alternate between them so that a member
// remembered for one object cannot be called on another.
var ev = chart.AddEvent("spike");
for (var round = 0; round < 3; ++round) {
    chart.Name = "chart " + round;
    ch.Name = "channel " + round;
    ev.Name = "event " + round;
    check(chart.Name === "chart " + round && ch.Name === "channel " + round && ev.Name === "event " + round,
          "names in round " + round);
    var channels = chart.Channels, events = chart.Events;
    check(channels.Count === 1 && events.Count === 1 && ch.Data.Count === n + 3, "counts in round " + round);
    check(channels.GetNext().Identifier === ch.Identifier && events.GetNext().Identifier === ev.Identifier,
          "iterators in round " + round);
    chart.LockObject().Unlock();
    ch.LockObject().Unlock();
    ch.Data.LockObject().Unlock();
}
// A method read twice is one function, bound to its own object: two data sets of one interface
// each answer with their own values, also through a function kept from an earlier read.
var second = chart.AddStaticChannel();
second.AddValues([42], [start]);
var read1 = ch.Data.GetValueAt, read2 = second.Data.GetValueAt, data1 = ch.Data;
check(data1.GetValueAt === data1.GetValueAt, "a method read twice is the same function");
check(read1 !== read2 && read1(0) === values[0] && read2(0) === 42, "methods stay with their objects");
second.Detach();

var other = chart.AddStaticChannel();
other.AddValues([5], [start]);
other.Clear();
check(other.DataCount === 0 && ch.DataCount === n + 3, "Clear of a channel clears only it");
// A chart's Clear drops its events and keeps static values; a channel's empties the channel.
chart.Clear();
check(chart.Events.Count === 0 && ch.DataCount === n + 3, "Clear of the chart reaches the chart");
ch.Clear();
check(ch.DataCount === 0 && chart.ChannelCount === 2, "Clear of the channel reaches the channel");

WScript.Quit(failures === 0 ? 0 : 1);
