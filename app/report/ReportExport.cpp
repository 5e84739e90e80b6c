#include "ReportExport.h"

#include "ReportBuilder.h"
#include "ReportHtml.h"
#include "ReportPrint.h"
#include "ReportTemplate.h"
#include "ReportText.h"
#include "document/CTallonChart.h"
#include "resources/ZynStrings.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>
#include <QSaveFile>

namespace {

constexpr double kPdfMarginMm = 15.0;

bool Fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

bool WriteBytes(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Fail(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

bool WritePdf(CTallonChart& doc, CReportSection& root, const QString& path, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Fail(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    {
        QPdfWriter pdf(&file);
        pdf.setCreator(QStringLiteral("Tallon"));
        pdf.setTitle(root.Children().empty() ? QString() : root.Children().front()->Text());
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm),
                                      QPageLayout::Millimeter));
        if (PrintReport(pdf, root, doc.Settings(), ReportShades::FromRegistry()) < 1) {
            file.cancelWriting();
            return Fail(error, QStringLiteral("cannot print the report into %1").arg(path));
        }
    }
    if (!file.commit())
        return Fail(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

} // namespace

ReportFileKind ReportFileKindOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"txt") return ReportFileKind::Text;
    if (suffix == u"pdf") return ReportFileKind::Pdf;
    if (suffix == u"html" || suffix == u"htm") return ReportFileKind::Html;
    return ReportFileKind::Unknown;
}

bool ExportReport(CTallonChart& doc, const QString& path, QString* error) {
    const ReportFileKind kind = ReportFileKindOf(path);
    if (kind == ReportFileKind::Unknown)
        return Fail(error,
                    QStringLiteral("cannot write %1: a report is written as .txt, .pdf or .html").arg(path));
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
        return Fail(error, QStringLiteral("the chart could not be read whole; %1 is not written").arg(path));
    case ReportBuildResult::Built:
        break;
    }
    switch (kind) {
    case ReportFileKind::Text:
        return WriteBytes(path, ReportText(root).toUtf8(), error);
    case ReportFileKind::Html:
        return WriteBytes(path, ReportHtml(root).toUtf8(), error);
    case ReportFileKind::Pdf:
        return WritePdf(doc, root, path, error);
    case ReportFileKind::Unknown:
        break;
    }
    return false;
}
