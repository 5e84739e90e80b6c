#pragma once
// Print Setup: the page setup dialog over the printer the next print uses.

class CAppContext;
class QWidget;

// Shows the page setup dialog seeded with the last choice; OK keeps the printer and page for the
// prints that follow. True on OK.
bool RunPrintSetup(CAppContext& context, QWidget* owner);
