#include "ReportExport.h"

#include "ReportBuilder.h"
#include "ReportHtml.h"
#include "ReportPrint.h"
#include "ReportTemplate.h"
#include "ReportText.h"
#include "document/CTallonChart.h"
#include "resources/ZynStrings.h"
#include "utils/ZynFiles.h"

#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPdfWriter>

#include <cstdint>
#include <span>

namespace {

constexpr double kPdfMarginMm = 15.0;

bool Fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

QString Shown(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Through the safe saver, as every file the program writes: a link is followed, a device or FIFO
// written in place, a regular file replaced whole (keeping its mode) or not at all.
bool WriteBytes(const std::string& path, const QByteArray& bytes, QString* error,
                std::vector<std::string>* notes) {
    std::string why;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    if (!ZynSaveFile(path, std::span(data, std::size_t(bytes.size())), &why, notes))
        return Fail(error,
                    QStringLiteral("cannot write %1: %2").arg(Shown(path), QString::fromStdString(why)));
    return true;
}

// The pages are made in memory first: a report that cannot be printed leaves the old file alone.
bool WritePdf(CTallonChart& doc, CReportSection& root, const std::string& path, QString* error,
              std::vector<std::string>* notes) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("Tallon"));
        pdf.setTitle(root.Children().empty() ? QString() : root.Children().front()->Text());
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm),
                                      QPageLayout::Millimeter));
        if (PrintReport(pdf, root, doc.Settings(), ReportShades::FromRegistry()) < 1)
            return Fail(error, QStringLiteral("cannot print the report into %1").arg(Shown(path)));
    }
    buffer.close();
    return WriteBytes(path, bytes, error, notes);
}

} // namespace

ReportFileKind ReportFileKindOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    const QString suffix = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                               ? QString()
                               : QString::fromLatin1(path.substr(dot + 1)).toLower();
    if (suffix == u"txt") return ReportFileKind::Text;
    if (suffix == u"pdf") return ReportFileKind::Pdf;
    if (suffix == u"html" || suffix == u"htm") return ReportFileKind::Html;
    return ReportFileKind::Unknown;
}

bool ExportReport(CTallonChart& doc, const std::string& path, QString* error,
                  std::vector<std::string>* notes) {
    const ReportFileKind kind = ReportFileKindOf(path);
    if (kind == ReportFileKind::Unknown)
        return Fail(
            error,
            QStringLiteral("cannot write %1: a report is written as .txt, .pdf or .html").arg(Shown(path)));
    CReportSection root;
    CReportFieldMap fields;
    ReportInputs in;
    in.chart = doc.Chart();
    in.settings = &doc.Settings();
    in.documentCreated = doc.Created();
    switch (BuildReport(root, fields, in)) {
    case ReportBuildResult::NoTemplate:
        return Fail(error, LoadZynString(kReportTemplateFailedText));
    case ReportBuildResult::Partial:
        return Fail(error,
                    QStringLiteral("the chart could not be read whole; %1 is not written").arg(Shown(path)));
    case ReportBuildResult::Built:
        break;
    }
    switch (kind) {
    case ReportFileKind::Text:
        return WriteBytes(path, ReportText(root).toUtf8(), error, notes);
    case ReportFileKind::Html:
        return WriteBytes(path, ReportHtml(root).toUtf8(), error, notes);
    case ReportFileKind::Pdf:
        return WritePdf(doc, root, path, error, notes);
    case ReportFileKind::Unknown:
        break;
    }
    return false;
}
