#pragma once
// The pictures of the commands: the desktop theme's where a standard icon name fits, else the
// program's own set, drawn for the palette (dark ink on light windows, light ink on dark ones).

#include <QIcon>
#include <QPalette>

#include <vector>

struct CommandIcon {
    int command;
    const char* themeName; // a freedesktop standard name, or null when none fits
    const char* ownName;   // the program's own picture, :/icons/<ownName>.svg
};

// Every command that has a picture; the tool bar's buttons among them.
const std::vector<CommandIcon>& CommandIcons();

// The program's own picture of `ownName`, drawn for `palette`; null when there is no such picture.
QIcon OwnIcon(const char* ownName, const QPalette& palette);

// The picture of `command`: the theme's, else the program's own; null for a command without one.
QIcon IconForCommand(int command, const QPalette& palette);

// The application's icon: the installed theme's, else the copy built into the program.
QIcon ApplicationIcon();
