#pragma once
// Channels on the clipboard and in drags: copying the channel selected in the channel bar,
// pasting a copied channel, CSV or plain text into a chart window, dropping onto a chart, the
// Edit menu's texts for what would be copied or pasted, and emptying the clipboard of a channel
// whose window closes.
//
// A pasted channel description is taken over through the chart's CopyChannel: the new channel
// is a copy with the source's data. A cut channel is pasted like a copied one and stays where
// it was.

#include "ChannelDescription.h"

#include <QString>
#include <Qt>

#include <cstdint>
#include <memory>
#include <string_view>

class CTallonChart;
class QMimeData;

namespace zyn::clipboard {

class CChannelMimeData;

// The numbered texts of copying and pasting.
enum ClipboardText : int {
    kCopyMenuText = 50115,  // "&Copy\tCtrl+C"
    kCutMenuText = 50116,   // "Cu&t\tCtrl+X"
    kPasteMenuText = 50117, // "&Paste\tCtrl+V"
    kPasteFailed = 50118,
    kChannelPasted = 50119,
    kChannelCopied = 50120,
    kCsvPasteFailed = 50122,
    kClipboardPasted = 50124,
    kExternalDataImported = 50125,
};

// The number that names `doc` as the owner of a copied channel.
std::uint64_t OwnerNumber(const CTallonChart* doc);

// A data object for the channel `channelId` of `doc`'s chart, with its description; null when
// the chart has no such channel.
std::unique_ptr<CChannelMimeData> MakeChannelData(CTallonChart& doc, const QString& channelId,
                                                  ChannelAction action);

// The channel bar's selected channel when it belongs to `doc`'s chart, else empty.
QString SelectedChannelOf(CTallonChart& doc);

// Copy and Cut: puts the selected channel of `doc` on the clipboard and says so on the status
// pane. Nothing happens (false) when no channel of this chart is selected.
bool CopySelectedChannel(CTallonChart& doc, ChannelAction action);

// Takes over the channel a description names; the status pane says what happened. False (with
// 50118 when `report`) when the text is no description, or its chart or channel is gone; the
// chart is then unchanged.
bool PasteChannelRef(CTallonChart& doc, std::u16string_view text, bool report = true);

// Imports CSV text (UTF-8, read to its first zero byte) as channels of `doc`'s chart; false when
// the text fails any rule of the import, leaving the chart as it was.
bool PasteCsvText(CTallonChart& doc, const QByteArray& text);

// Paste: a channel description, else "text/csv", else plain text, from `data` (the clipboard's
// when null). A failure shows its message box (50118, or 50122 for text that does not import);
// success marks the document modified and shows 50124.
bool PasteFromClipboard(CTallonChart& doc, const QMimeData* data = nullptr);

// A drop on a chart: the description if present, else "text/csv" (plain text is not taken). A
// CSV import shows 50125; a failure says so on the status pane. True when anything was pasted.
bool PasteFromDataObject(CTallonChart& doc, const QMimeData* data);

// What a drag over a chart may do: with a description, move while Control is held and copy
// otherwise; with CSV, copy; else nothing.
Qt::DropAction DropEffect(const QMimeData* data, Qt::KeyboardModifiers modifiers);

// The Paste item's text for what `data` (the clipboard's when null) offers: "&Paste (name)\tCtrl+V"
// for a copied channel, "(Text as CSV)" for plain text, "(CSV Data)" for CSV alone; the plain text
// with `enabled` false when nothing can be pasted.
QString PasteMenuText(bool& enabled, const QMimeData* data = nullptr);

// The Copy or Cut item's text: "&Copy (name)\tCtrl+C" while a channel of `doc`'s chart is
// selected (`enabled` true), else the plain text.
QString CopyMenuText(CTallonChart& doc, ClipboardText textId, bool& enabled);

// Empties the clipboard when it holds a channel copied from `doc`: a description must not outlive
// the window it names.
void ReleaseClipboardOf(const CTallonChart* doc);

} // namespace zyn::clipboard
