// Prints its arguments one a line, to show they arrive as given.
for (var i = 0; i < WScript.Arguments.length; i++)
    WScript.Echo(WScript.Arguments(i));
