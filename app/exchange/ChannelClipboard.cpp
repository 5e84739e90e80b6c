#include "ChannelClipboard.h"

#include "ChannelMimeData.h"
#include "CsvImport.h"

#include "com/ccombstr.h"
#include "display/WideText.h"
#include "document/CTallonChart.h"
#include "document/ZynMessageBox.h"
#include "resources/ZynFormat.h"
#include "resources/ZynStrings.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <vector>

namespace zyn::clipboard {

namespace {

const QMimeData* ClipboardData() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->mimeData() : nullptr;
}

QString Utf8Text(const QByteArray& bytes) {
    // Read as a zero-terminated text: whatever follows a zero byte is not text.
    const qsizetype end = bytes.indexOf('\0');
    return QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
}

// "label (what)\taccelerator" from a numbered "label\taccelerator".
QString NamedItemText(int textId, const QString& what) {
    const QStringList parts = LoadZynString(textId).split(u'\t');
    return QStringLiteral("%1 (%2)\t%3").arg(parts.value(0), what, parts.value(1));
}

QString PlainItemText(int textId) {
    const QStringList parts = LoadZynString(textId).split(u'\t');
    return parts.value(0) + u'\t' + parts.value(1);
}

CComPtr<IZynChannel> FindChannel(CTallonChart& doc, const QString& channelId) {
    CComPtr<IZynChannel> channel;
    if (doc.Chart() && !channelId.isEmpty() &&
        (doc.Chart()->FindChannel(ToBstr(channelId), &channel) != S_OK || !channel))
        channel = nullptr;
    return channel;
}

// The name the pasted copy carries (the chart's newest channel). The description's own does not
// survive its escaping when it holds characters beyond Latin-1.
QString PastedName(CTallonChart& doc, const ChannelDescription& description) {
    const std::vector<CComPtr<IZynChannel>> channels = doc.Channels();
    CComBSTR name;
    if (channels.empty() || FAILED(channels.back()->get_Name(&name)) || name.IsEmpty())
        return ToQString(description.name);
    return FromBstr(name);
}

void ChannelsChanged(CTallonChart& doc) {
    doc.SetModifiedFlag(true);
    doc.UpdateAllViews(CTallonChart::kHintRefresh);
    doc.RefreshChannelBar();
}

} // namespace

std::uint64_t OwnerNumber(const CTallonChart* doc) {
    return std::uint64_t(reinterpret_cast<std::uintptr_t>(doc));
}

std::unique_ptr<CChannelMimeData> MakeChannelData(CTallonChart& doc, const QString& channelId,
                                                  ChannelAction action) {
    CComPtr<IZynChannel> channel = FindChannel(doc, channelId);
    if (!channel) return nullptr;
    CComBSTR name;
    channel->get_Name(&name);
    ChannelDescription description;
    description.owner = OwnerNumber(&doc);
    description.chart = std::u16string(U16View(doc.Identifier()));
    description.channel = std::u16string(U16View(channelId));
    description.name = std::u16string(name.View());
    description.action = int(action);
    return std::make_unique<CChannelMimeData>(
        &doc, doc.Identifier(), channelId, ToQString(WriteChannelDescription(description)), FromBstr(name));
}

QString SelectedChannelOf(CTallonChart& doc) {
    const CChannelBarState& bar = doc.Context().channelBar;
    if (bar.selectedChart.isEmpty() || bar.selectedChannel.isEmpty() || bar.selectedChart != doc.Identifier())
        return {};
    return bar.selectedChannel;
}

bool CopySelectedChannel(CTallonChart& doc, ChannelAction action) {
    std::unique_ptr<CChannelMimeData> data = MakeChannelData(doc, SelectedChannelOf(doc), action);
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!data || !clipboard) return false;
    const QString name = QString::fromUtf8(data->data(kNameFormat));
    clipboard->setMimeData(data.release());
    doc.ShowStatus(ZynFormat(kChannelCopied, {name}), 0);
    return true;
}

bool PasteChannelRef(CTallonChart& doc, std::u16string_view text, bool report) {
    ChannelDescription description;
    LONG copied = 0;
    // The action is carried but not used: a cut channel is pasted as a copy.
    const bool pasted = doc.Chart() && ReadChannelDescription(text, description) &&
                        !description.chart.empty() && !description.channel.empty() &&
                        SUCCEEDED(doc.Chart()->CopyChannel(CComBSTR(description.chart),
                                                           CComBSTR(description.channel), &copied)) &&
                        copied != 0;
    if (!pasted) {
        if (report) doc.ShowStatus(LoadZynString(kPasteFailed), 2);
        return false;
    }
    ChannelsChanged(doc);
    if (!description.name.empty())
        doc.ShowStatus(ZynFormat(kChannelPasted, {PastedName(doc, description)}), 0);
    return true;
}

bool PasteCsvText(CTallonChart& doc, const QByteArray& text) {
    if (!doc.Chart()) return false;
    const QString wide = Utf8Text(text);
    if (!zyn::csv::ImportText(doc.Chart(), U16View(wide))) return false;
    ChannelsChanged(doc);
    return true;
}

bool PasteFromClipboard(CTallonChart& doc, const QMimeData* data) {
    if (!data) data = ClipboardData();
    int failure = kPasteFailed;
    bool pasted = false;
    if (data && data->hasFormat(kDescriptionFormat)) {
        pasted = PasteChannelRef(doc, U16View(Utf8Text(data->data(kDescriptionFormat))));
    } else if (data && (data->hasFormat(kCsvFormat) || data->hasFormat(kTextFormat))) {
        failure = kCsvPasteFailed;
        pasted = PasteCsvText(doc, data->data(data->hasFormat(kCsvFormat) ? kCsvFormat : kTextFormat));
    }
    if (!pasted) {
        ZynMessageBox(LoadZynString(failure));
        return false;
    }
    doc.ShowStatus(LoadZynString(kClipboardPasted), 0);
    return true;
}

bool PasteFromDataObject(CTallonChart& doc, const QMimeData* data) {
    if (!data) return false;
    if (data->hasFormat(kDescriptionFormat))
        return PasteChannelRef(doc, U16View(Utf8Text(data->data(kDescriptionFormat))));
    if (!data->hasFormat(kCsvFormat)) return false;
    if (!PasteCsvText(doc, data->data(kCsvFormat))) {
        doc.ShowStatus(LoadZynString(kCsvPasteFailed), 2);
        return false;
    }
    doc.ShowStatus(LoadZynString(kExternalDataImported), 0);
    return true;
}

Qt::DropAction DropEffect(const QMimeData* data, Qt::KeyboardModifiers modifiers) {
    if (!data) return Qt::IgnoreAction;
    if (data->hasFormat(kDescriptionFormat))
        return modifiers.testFlag(Qt::ControlModifier) ? Qt::MoveAction : Qt::CopyAction;
    if (data->hasFormat(kCsvFormat)) return Qt::CopyAction;
    return Qt::IgnoreAction;
}

QString PasteMenuText(bool& enabled, const QMimeData* data) {
    if (!data) data = ClipboardData();
    enabled = true;
    if (data && data->hasFormat(kNameFormat))
        return NamedItemText(kPasteMenuText, Utf8Text(data->data(kNameFormat)));
    if (data && data->hasFormat(kTextFormat))
        return NamedItemText(kPasteMenuText, QStringLiteral("Text as CSV"));
    if (data && data->hasFormat(kCsvFormat)) return NamedItemText(kPasteMenuText, QStringLiteral("CSV Data"));
    enabled = false;
    return PlainItemText(kPasteMenuText);
}

QString CopyMenuText(CTallonChart& doc, ClipboardText textId, bool& enabled) {
    CComPtr<IZynChannel> channel = FindChannel(doc, SelectedChannelOf(doc));
    enabled = channel != nullptr;
    if (!channel) return PlainItemText(textId);
    CComBSTR name;
    channel->get_Name(&name);
    return NamedItemText(textId, FromBstr(name));
}

void ReleaseClipboardOf(const CTallonChart* doc) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Only a data object of this program can name one of its windows.
    const auto* data = clipboard ? qobject_cast<const CChannelMimeData*>(clipboard->mimeData()) : nullptr;
    if (!data) return;
    ChannelDescription description;
    if (ReadChannelDescription(U16View(Utf8Text(data->data(kDescriptionFormat))), description) &&
        description.owner == OwnerNumber(doc))
        clipboard->clear();
}

} // namespace zyn::clipboard
