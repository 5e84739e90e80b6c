// Quits with the code named by the first argument, read as a script number ("1e10", "-1", "1.5").
WScript.Quit(Number(WScript.Arguments(0)));
