// Nothing registered the object library in this fresh settings store: the host does it on first use.
var u = WScript.CreateObject("ZynTallonObj.Utils");
WScript.Quit(u.Build === 1438 ? 0 : 1);
