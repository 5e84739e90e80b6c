#pragma once
// CChannelMimeData: the data object of one copied or dragged channel. It holds the description and
// the display name, and renders the channel's samples as CSV only when a reader asks for
// "text/csv" or "text/plain", so that copying a long recording costs nothing until it is pasted.

#include "ClipboardFormats.h"

#include <QMimeData>
#include <QPointer>
#include <QString>

class CTallonChart;

namespace zyn::clipboard {

class CChannelMimeData : public QMimeData {
    Q_OBJECT
public:
    // `source` is the document the channel was copied from: while it lives, its application
    // object finds the chart `chartId` and its channel `channelId` to render from. `description`
    // and `name` are stored as they are.
    CChannelMimeData(CTallonChart* source, QString chartId, QString channelId, const QString& description,
                     const QString& name);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // The CSV text of the channel named by the description this object carries (else by the
    // remembered identifiers), in UTF-8; empty when the chart or channel can no longer be found.
    QByteArray RenderCsv() const;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QPointer<CTallonChart> m_source;
    QString m_chartId;
    QString m_channelId;
};

} // namespace zyn::clipboard
