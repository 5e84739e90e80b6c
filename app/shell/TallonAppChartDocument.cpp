#include "TallonAppChartDocument.h"

#include "ChartFile.h"
#include "ChartFonts.h"
#include "CsvExport.h"
#include "CsvImport.h"
#include "MainFrame.h"
#include "TallonApp.h"
#include "TallonAppContext.h"
#include "TallonAppMessage.h"
#include "ZynMenus.h"
#include "ZynStrings.h"
#include "ZynTime.h"
#include "com/ccombstr.h"
#include "com/variant.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QVBoxLayout>

namespace {

double TimeOf(const VARIANT& v) {
    if (v.vt == VT_DATE) return v.date;
    if (v.vt == VT_R8) return v.dblVal;
    return 0.0;
}

bool IsCsvPath(const QString& path) { return path.right(3).toLower() == QLatin1String("csv"); }

} // namespace

CTallonAppChartDocument::CTallonAppChartDocument(CTallonApp* app, QObject* parent)
    : CTallonAppDocument(parent), m_app(app) {
    auto& context = CTallonAppContext::Instance();
    m_settings = context.DefaultSettings();
    m_settings.chartFontSlot.reset();
    m_settings.reportFontSlot.reset();
    m_created = GetTimeAsDouble();
    if (IZynApp* zynApp = context.App()) zynApp->AddChart(&m_chart);
    if (m_chart) m_chart->put_Rate(LONG(m_settings.sampleRate));
    m_poll.setInterval(1000);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        if (m_app && m_app->MainFrame()) m_app->MainFrame()->OnChartNotify(this);
    });
    m_poll.start();
}

CTallonAppChartDocument::~CTallonAppChartDocument() {
    m_poll.stop();
    if (m_chart) m_chart->Detach();
}

QString CTallonAppChartDocument::Title() const {
    CComBSTR name;
    if (m_chart) m_chart->get_Name(&name);
    return QString::fromUtf16(name.View().data(), qsizetype(name.View().size()));
}

bool CTallonAppChartDocument::OnNewDocument() {
    emit TitleChanged(Title());
    return m_chart != nullptr;
}

void CTallonAppChartDocument::AttachChart(IZynChart* chart) {
    if (m_chart) m_chart->Detach();
    m_chart = chart;
    OnChartNotify();
}

bool CTallonAppChartDocument::OnOpenDocument(const QString& path) {
    const bool ok = IsCsvPath(path) ? zyn::csv::LoadCsv(path.toStdString(), m_chart) : OpenChartFile(path);
    if (!ok) {
        ZynMessageBox(LoadZynString(zyn::chartfile::kOpenFailedMessage));
        return false;
    }
    m_path = path;
    m_modified = false;
    emit TitleChanged(Title());
    return true;
}

bool CTallonAppChartDocument::OpenChartFile(const QString& path) {
    std::vector<std::uint8_t> bytes;
    if (!zyn::chartfile::ReadWholeFile(path.toStdString(), bytes)) return false;
    zyn::chartfile::ChartFileParts parts;
    if (zyn::chartfile::ParseChartFile(bytes, parts) != zyn::chartfile::ChartFileError::None) return false;
    CComPtr<IZynChart> loaded = zyn::chartfile::LoadChartBytes(CTallonAppContext::Instance().App(), parts.chart);
    if (!loaded) return false;
    ChartSettings settings = m_settings;
    if (parts.hasSettings && !ReadChartSettings(parts.settings.data(), parts.settings.size(), settings)) {
        loaded->Detach();
        return false;
    }
    m_settings = settings;
    AttachChart(loaded);
    return true;
}

bool CTallonAppChartDocument::OnSaveDocument(const QString& path) {
    const bool ok = IsCsvPath(path) ? zyn::csv::SaveCsv(path.toStdString(), m_chart) : SaveChartFile(path);
    if (!ok) {
        ZynMessageBox(LoadZynString(zyn::chartfile::kSaveFailedMessage));
        return false;
    }
    m_path = path;
    m_modified = false;
    emit TitleChanged(Title());
    return true;
}

bool CTallonAppChartDocument::SaveChartFile(const QString& path) {
    const std::u16string name = zyn::chartfile::ChartNameFromPath(path.toStdString());
    if (!name.empty()) m_chart->put_Name(CComBSTR(name));
    std::vector<std::uint8_t> chartBytes;
    if (!zyn::chartfile::SaveChartBytes(m_chart, chartBytes)) return false;
    if (m_settings.chartFontSlot) m_settings.chartFont = LogFontFromFont(m_settings.chartFontSlot->font);
    if (m_settings.reportFontSlot) m_settings.reportFont = LogFontFromFont(m_settings.reportFontSlot->font);
    const ChartSettingsBytes record = WriteChartSettings(m_settings);
    return zyn::chartfile::WriteFileAtomically(path.toStdString(), zyn::chartfile::ComposeChartFile(chartBytes, record));
}

QWidget* CTallonAppChartDocument::CreateView(int tab, QWidget* parent) {
    QWidget* view = nullptr;
    if (tab == 0) {
        view = new CTallonAppChartPage(this, parent);
    } else {
        // The report page joins with the report view.
        auto* page = new QWidget(parent);
        page->setObjectName(QStringLiteral("ReportPage"));
        page->setAutoFillBackground(true);
        QPalette pal = page->palette();
        pal.setColor(QPalette::Window, Qt::white);
        page->setPalette(pal);
        view = page;
    }
    m_views.emplace_back(view);
    return view;
}

void CTallonAppChartDocument::UpdateAllViews(int) {
    for (auto& v : m_views)
        if (v) v->update();
}

void CTallonAppChartDocument::OnChartNotify() {
    UpdateAllViews(5);
    if (m_app && m_app->MainFrame()) {
        m_app->MainFrame()->ChannelBarChartChanged(m_chart);
        if (m_app->MainFrame()->ActiveDocument() == this) m_app->MainFrame()->ChannelBarShowDocument(this, false);
    }
    CComPtr<IZynChartPrivate> priv;
    LONG changed = 0;
    if (m_chart && SUCCEEDED(m_chart.QueryInterface(&priv)) && priv) {
        priv->GetChangedProperty(&changed);
        if (changed & 4) emit TitleChanged(Title());
        priv->ClearChangedProperty(-1);
        priv->ClearAggregatePropChanges(-1);
    }
}

void CTallonAppChartDocument::ApplySettings(bool all) {
    LONG rate = 0;
    m_chart->get_Rate(&rate);
    if (rate != LONG(m_settings.sampleRate)) m_chart->put_Rate(LONG(m_settings.sampleRate));
    UpdateAllViews(all ? 2 : 1);
}

bool CTallonAppChartDocument::OnCommand(int command) {
    LONG run = 0;
    switch (command) {
    case ZynCmd::AddChannel: {
        bool ok = false;
        const QString path = QInputDialog::getText(nullptr, QStringLiteral("Add Channels to Chart"), QStringLiteral("Counter path:"),
                                                   QLineEdit::Normal, QStringLiteral("\\Processor(_Total)\\% Processor Time"), &ok);
        if (!ok || path.isEmpty()) return true;
        LONG before = 0;
        m_chart->get_ChannelCount(&before);
        CComPtr<IZynChannel> channel;
        if (FAILED(m_chart->AddChannel(CComBSTR(path.toStdU16String()), &channel)) || !channel) {
            ZynMessageBox(QStringLiteral("Unable to validate the counter you attempted to add."));
            return true;
        }
        channel->put_Color(zyn::csv::kDefaultChannelColours[before % 10]);
        channel->put_Width(before / 10);
        m_modified = true;
        if (before == 0) {
            m_chart->put_Rate(LONG(m_settings.sampleRate));
            m_chart->put_Run(1);
        }
        if (m_app && m_app->MainFrame()) m_app->MainFrame()->ChannelBarShowDocument(this, true);
        return true;
    }
    case ZynCmd::Pause:
        m_chart->get_Run(&run);
        m_chart->put_Run(run > 0 ? 0 : 1);
        if (m_app && m_app->MainFrame()) m_app->MainFrame()->ShowStatusMessage(run > 0 ? 50086 : 50087, 0);
        return true;
    case ZynCmd::SampleData:
        m_chart->Sample();
        m_modified = true;
        return true;
    case ZynCmd::Rerun: m_chart->Rerun(); return true;
    case ZynCmd::Refresh: UpdateAllViews(0); return true;
    case ZynCmd::ClearChart: m_chart->Clear(); return true;
    default: return false;
    }
}

bool CTallonAppChartDocument::OnUpdateCommand(int command, QAction* action) {
    LONG run = 0, channels = 0;
    switch (command) {
    case ZynCmd::AddChannel:
    case ZynCmd::Refresh:
    case ZynCmd::ClearChart: action->setEnabled(true); return true;
    case ZynCmd::Pause:
        m_chart->get_Run(&run);
        action->setEnabled(true);
        action->setChecked(run == 0);
        return true;
    case ZynCmd::SampleData:
        m_chart->get_Run(&run);
        action->setEnabled(run < 1);
        return true;
    case ZynCmd::Rerun:
        m_chart->get_ChannelCount(&channels);
        action->setEnabled(channels > 0);
        return true;
    default: return false;
    }
}

ChartRenderInput CTallonAppChartDocument::RenderInput() {
    ChartRenderInput in;
    in.settings = &m_settings;
    in.documentCreated = m_created;
    CComVariant start, last;
    m_chart->get_StartTime(&start);
    m_chart->get_LastTime(&last);
    in.chartStartTime = TimeOf(start);
    in.chartLastTime = TimeOf(last);
    CComPtr<IZynChannelIter> it;
    if (FAILED(m_chart->get_Channels(&it)) || !it) return in;
    for (;;) {
        CComPtr<IZynChannel> c;
        if (it->GetNext(&c) != S_OK || !c) break;
        ChartChannelView v;
        LONG visible = 1, width = 0;
        OLE_COLOR colour = 0;
        c->get_Visible(&visible);
        c->get_Color(&colour);
        c->get_Width(&width);
        c->get_ScaleMin(&v.scaleMin);
        c->get_ScaleMax(&v.scaleMax);
        v.visible = visible != 0;
        v.color = COLORREF(colour);
        v.width = int(width);
        c->get_Data(&v.data);
        if (v.data) v.data.QueryInterface(&v.dataPrivate);
        CComBSTR id;
        c->get_Identifier(&id);
        v.identifier = QString::fromUtf16(id.View().data(), qsizetype(id.View().size()));
        in.channels.push_back(std::move(v));
    }
    return in;
}

bool CTallonAppChartDocument::PrintDirect(const QString& printerName) {
    const QPrinterInfo info = printerName.isEmpty() ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(printerName);
    if (info.isNull()) return false;
    QPrinter printer(info, QPrinter::HighResolution);
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    CChartRenderer renderer;
    ChartRenderInput in = RenderInput();
    renderer.CopyViewSettings(m_settings);
    renderer.printingPage = true;
    const QRect page = painter.viewport();
    renderer.Draw(painter, page, page, in);
    return painter.end();
}

CTallonAppChartPage::CTallonAppChartPage(CTallonAppChartDocument* doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
    setObjectName(QStringLiteral("ChartPage"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CTallonAppChartPage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    ChartRenderInput in = m_doc->RenderInput();
    m_renderer.CopyViewSettings(m_doc->Settings());
    m_renderer.MarkLayoutDirty();
    m_renderer.ResetScrollWidth();
    m_renderer.Layout(painter, rect(), in);
    // Newest data at the right edge.
    m_renderer.scrollX = std::max(0, m_renderer.TotalScrollWidth(in) - m_renderer.PlotRect().width());
    m_renderer.Draw(painter, rect(), rect(), in);
}
