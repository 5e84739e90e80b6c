#pragma once
// Which help page answers a help request. A help context carries, in its low 16 bits, the resource
// id of a window (128 the main frame, 129 a chart page, 150 a report page) or a command id; the
// higher bits only say which kind, as the help system's own contexts do.

#include <QString>

#include <cstdint>

// The base of the contexts of commands and of windows.
inline constexpr std::uint32_t kHelpCommandBase = 0x10000;
inline constexpr std::uint32_t kHelpWindowBase = 0x20000;

// The page (a file name of the help folder) for `context`; empty when no page covers it.
QString HelpPageForContext(std::uint32_t context);

// The page of the help index: the contents and getting started.
QString HelpIndexPage();

// The folder of the help pages: share/tallon/help beside the program's bin folder, in a build as in
// an installation.
QString HelpFolder();
