#include "ChannelBar.h"

#include "ChartWindowDocument.h"
#include "TallonAppDocument.h"
#include "com/ccombstr.h"
#include "display/ChartColours.h"
#include "display/DisplayFormat.h"
#include "display/WideText.h"
#include "document/AppContext.h"
#include "document/ZynMessageBox.h"
#include "exchange/ChannelClipboard.h"
#include "exchange/ChannelMimeData.h"
#include "options/ChannelPropertySheet.h"
#include "resources/ZynFormat.h"
#include "resources/ZynStrings.h"
#include "utils/ZynRegistry.h"

#include <QApplication>
#include <QDrag>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr std::array<ChannelColumnRule, CChannelBar::kColumnCount> kRules{{
    {24, 0, 0, 0},
    {50, 0, 0, 0},
    {0, 15, 90, 20},
    {0, 20, 0, 80},
    {0, 18, 120, 40},
    {0, 18, 120, 40},
    {0, 12, 88, 32},
    {0, 12, 88, 32},
    {0, 12, 88, 32},
    {0, 12, 88, 32},
}};
constexpr int kHeaderIds[CChannelBar::kColumnCount] = {0,     50076, 50047, 50103, 50104,
                                                       50105, 50106, 50048, 50049, 50050};
constexpr int kRoleIdentifier = Qt::UserRole + 1;

template <class Getter> QString StringProp(IZynChannel* c, Getter get) {
    CComBSTR s;
    if (FAILED((c->*get)(&s))) return {};
    return FromBstr(s);
}

bool SetCell(QTreeWidgetItem* item, int col, const QString& text) {
    if (item->text(col) == text) return false;
    item->setText(col, text);
    return true;
}

// The counter as the channel displays it, with its instance ("% Processor Time (Total)"): the
// same counter of _Total, 0 and 1 would otherwise give three rows that look the same.
QString CounterCellText(IZynChannel* c) {
    QString counter = StringProp(c, &IZynChannel::get_Counter);
    if (counter.isEmpty()) counter = StringProp(c, &IZynChannel::get_CounterName);
    if (counter.isEmpty()) counter = StringProp(c, &IZynChannel::get_CounterPath);
    return counter;
}

// What a cell may be too narrow to show: the channel's name, its counter path and its values
// with their units.
QString RowToolTip(IZynChannel* c, const QTreeWidgetItem* item) {
    QStringList lines{StringProp(c, &IZynChannel::get_Name)};
    const QString path = StringProp(c, &IZynChannel::get_CounterPath);
    if (!path.isEmpty()) lines << path;
    const QString units = StringProp(c, &IZynChannel::get_Units);
    for (int col : {CChannelBar::ColLast, CChannelBar::ColMin, CChannelBar::ColMax, CChannelBar::ColAvg}) {
        const QString value = item->text(col);
        if (value.isEmpty()) continue;
        lines << LoadZynString(kHeaderIds[col]) + QStringLiteral(": ") + value +
                     (units.isEmpty() ? QString() : u' ' + units);
    }
    return lines.join(u'\n');
}

constexpr const char16_t* kColumnWidthsValue = u"ChannelColumns";

} // namespace

std::span<const ChannelColumnRule> ChannelColumnRules() {
    return kRules;
}

std::vector<ChannelColumnRule> RulesWithUserWidths(std::span<const ChannelColumnRule> rules,
                                                   std::span<const int> userWidths) {
    std::vector<ChannelColumnRule> out(rules.begin(), rules.end());
    for (std::size_t i = 0; i < out.size() && i < userWidths.size(); ++i)
        if (userWidths[i] > 0) out[i] = {userWidths[i], 0, 0, 0};
    return out;
}

std::vector<int> ComputeColumnWidths(int listWidth, int scrollBarWidth,
                                     std::span<const ChannelColumnRule> rules) {
    std::vector<double> widths(rules.size(), 0.0);
    std::vector<bool> pooled(rules.size(), false);
    double available = listWidth - int(rules.size()) - scrollBarWidth;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (rules[i].weight == 0) {
            widths[i] = rules[i].fixed;
            available -= rules[i].fixed;
        } else {
            pooled[i] = true;
        }
    }
    // Columns pushed past a bound take the bound and leave the pool; the rest share again.
    for (bool again = true; again;) {
        again = false;
        double total = 0;
        for (std::size_t i = 0; i < rules.size(); ++i)
            if (pooled[i]) total += rules[i].weight;
        if (total <= 0) break;
        for (std::size_t i = 0; i < rules.size(); ++i) {
            if (!pooled[i]) continue;
            const double share = available * rules[i].weight / total;
            double bound = -1;
            if (rules[i].max != 0 && share > rules[i].max)
                bound = rules[i].max;
            else if (share < rules[i].min)
                bound = rules[i].min;
            if (bound >= 0) {
                widths[i] = bound;
                available -= bound;
                pooled[i] = false;
                again = true;
                break;
            }
        }
        if (!again)
            for (std::size_t i = 0; i < rules.size(); ++i)
                if (pooled[i]) widths[i] = available * rules[i].weight / total;
    }
    std::vector<int> out;
    out.reserve(widths.size());
    for (double w : widths)
        out.push_back(int(w));
    return out;
}

QString FitValueText(const QString& text, const QFontMetrics& metrics, int width) {
    const auto fits = [&](const QString& t) { return metrics.horizontalAdvance(t) <= width; };
    if (fits(text)) return text;
    bool ok = false;
    const double v = QString(text).remove(u',').toDouble(&ok);
    if (!ok || !std::isfinite(v)) return metrics.elidedText(text, Qt::ElideMiddle, width);
    static constexpr std::pair<double, char16_t> kMagnitudes[] = {
        {1e12, u'T'}, {1e9, u'G'}, {1e6, u'M'}, {1e3, u'k'}};
    double scaled = v;
    QString suffix;
    for (const auto& [size, letter] : kMagnitudes) {
        if (std::fabs(v) < size) continue;
        scaled = v / size;
        suffix = QString(QChar(letter));
        break;
    }
    QString shortest;
    for (int decimals = 2; decimals >= 0; --decimals) {
        shortest = QString::number(scaled, 'f', decimals) + suffix;
        if (fits(shortest)) break;
    }
    return shortest;
}

void CChannelListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& pal = option.palette;
    painter->save();
    painter->fillRect(option.rect, selected ? pal.highlight() : pal.base());
    const QString text = index.data().toString();
    if (index.column() == CChannelBar::ColVisible) {
        // A check box centred as a square in the cell.
        const int side = std::min(option.rect.width(), option.rect.height()) - 4;
        QStyleOptionButton box;
        box.rect = QRect(0, 0, side, side);
        box.rect.moveCenter(option.rect.center());
        box.state =
            QStyle::State_Enabled | (text == QLatin1String("1") ? QStyle::State_On : QStyle::State_Off);
        QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);
    } else if (index.column() == CChannelBar::ColColor) {
        const QRect cell = option.rect.adjusted(2, 1, -2, -1);
        const COLORREF back = settings ? COLORREF(settings->Get(CNumberedSettings::kLastViewBackground)) : 0;
        painter->fillRect(cell, ToQColor(back));
        const int comma = int(text.indexOf(u','));
        const COLORREF colour = comma < 0 ? 255u : text.left(comma).toUInt();
        const int width = comma < 0 ? 1 : text.mid(comma + 1).toInt();
        QPen pen(ToQColor(colour), std::max(1, width));
        pen.setCapStyle(Qt::FlatCap);
        painter->setPen(pen);
        const int y = option.rect.center().y();
        painter->drawLine(option.rect.left() + 3, y, option.rect.right() - 3, y);
    } else {
        const int inset = 2 * option.fontMetrics.horizontalAdvance(u' ');
        const QRect r = option.rect.adjusted(inset, 0, -inset, 0);
        painter->setPen(selected ? pal.highlightedText().color() : pal.text().color());
        const bool value = index.column() >= CChannelBar::ColLast && index.column() <= CChannelBar::ColAvg;
        painter->drawText(r, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                          value ? FitValueText(text, option.fontMetrics, r.width())
                                : option.fontMetrics.elidedText(text, Qt::ElideMiddle, r.width()));
    }
    painter->restore();
}

CChannelBar::CChannelBar(CAppContext& context, QWidget* parent) : QDockWidget(parent), m_context(context) {
    setObjectName(QStringLiteral("ChannelBar"));
    SetBaseCaption(QStringLiteral("Channels"));
    setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    auto* body = new QWidget(this);
    auto* layout = new QHBoxLayout(body);
    layout->setContentsMargins(4, 2, 4, 2);
    m_list = new QTreeWidget(body);
    m_list->setObjectName(QStringLiteral("ChannelList1013"));
    m_list->setColumnCount(kColumnCount);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    auto* delegate = new CChannelListDelegate(m_list);
    delegate->settings = &m_context.Settings();
    m_list->setItemDelegate(delegate);
    QStringList headers;
    for (int id : kHeaderIds)
        headers << (id ? LoadZynString(id) : QStringLiteral(" "));
    m_list->setHeaderLabels(headers);
    QHeaderView* header = m_list->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    // The check box and the colour sample keep their widths; the user may widen or narrow the
    // text and value columns, and what they choose outlives the program.
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(ColVisible, QHeaderView::Fixed);
    header->setSectionResizeMode(ColColor, QHeaderView::Fixed);
    connect(header, &QHeaderView::sectionResized, this,
            [this](int column, int, int newWidth) { OnSectionResized(column, newWidth); });
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list->viewport()->installEventFilter(this);
    // The rule shares the list's own width, which is only known once the list has been laid out.
    m_list->installEventFilter(this);
    LoadColumnWidths();
    layout->addWidget(m_list, 1);
    auto* buttons = new QVBoxLayout;
    m_delete = new QPushButton(QStringLiteral("Delete"), body);
    m_delete->setToolTip(QStringLiteral("Delete this channel"));
    m_autoScale = new QPushButton(QStringLiteral("Autoscale"), body);
    m_autoScale->setToolTip(QStringLiteral("Automatically scale the axis"));
    m_properties = new QPushButton(QStringLiteral("Properties"), body);
    m_properties->setToolTip(QStringLiteral("View the channel properties"));
    for (auto* b : {m_delete, m_autoScale, m_properties})
        buttons->addWidget(b);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    setWidget(body);

    connect(m_delete, &QPushButton::clicked, this,
            [this] { DeleteSelected(QApplication::keyboardModifiers() & Qt::ShiftModifier); });
    connect(m_autoScale, &QPushButton::clicked, this, &CChannelBar::AutoScaleSelected);
    connect(m_properties, &QPushButton::clicked, this, &CChannelBar::ShowPropertiesOfSelected);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { ShowPropertiesOfSelected(); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CChannelBar::OnSelectionChanged);
    connect(this, &QDockWidget::topLevelChanged, this, [this] { UpdateCaption(); });
    UpdateButtons();
}

CChannelBar::~CChannelBar() = default;

void CChannelBar::LoadColumnWidths() {
    CZynRegistry* reg = GetUserReg(u"Settings");
    if (!reg) return;
    std::array<std::uint8_t, 4 * std::size_t(kColumnCount)> bytes{};
    if (reg->ReadBinary(kColumnWidthsValue, bytes.data(), int(bytes.size())) == int(bytes.size())) {
        for (std::size_t i = 0; i < std::size_t(kColumnCount); ++i) {
            const std::uint8_t* p = bytes.data() + 4 * i;
            const auto w = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                           std::uint32_t(p[3]) << 24;
            // A width no screen could show is a damaged value: the column follows the rule.
            m_userWidths[i] = w < 10000 ? int(w) : 0;
        }
    }
    ReleaseReg(reg);
}

void CChannelBar::SaveColumnWidths() const {
    if (std::all_of(m_userWidths.begin(), m_userWidths.end(), [](int w) { return w == 0; })) return;
    CZynRegistry* reg = GetUserReg(u"Settings");
    if (!reg) return;
    std::array<std::uint8_t, 4 * std::size_t(kColumnCount)> bytes{};
    for (std::size_t i = 0; i < std::size_t(kColumnCount); ++i)
        for (std::size_t b = 0; b < 4; ++b)
            bytes[4 * i + b] = std::uint8_t(std::uint32_t(m_userWidths[i]) >> (8 * b));
    reg->Store(kColumnWidthsValue, bytes.data(), int(bytes.size()));
    ReleaseReg(reg);
}

void CChannelBar::OnSectionResized(int column, int newWidth) {
    if (m_applyingWidths || column < 0 || column >= kColumnCount) return;
    m_userWidths[std::size_t(column)] = std::max(1, newWidth);
}

void CChannelBar::SetBaseCaption(const QString& caption) {
    m_baseCaption = caption;
    UpdateCaption();
}

void CChannelBar::UpdateCaption() {
    if (isFloating() && m_doc && m_doc->Chart()) {
        CComBSTR name;
        m_doc->Chart()->get_Name(&name);
        setWindowTitle(ZynFormatText(QStringLiteral("%ls - %ls"), {m_baseCaption, FromBstr(name)}));
    } else {
        setWindowTitle(m_baseCaption);
    }
}

void CChannelBar::RelayoutColumns() {
    const int sb = m_list->verticalScrollBar()->sizeHint().width();
    const auto widths = ComputeColumnWidths(m_list->width(), sb, RulesWithUserWidths(kRules, m_userWidths));
    const QScopedValueRollback applying(m_applyingWidths, true);
    for (int i = 0; i < kColumnCount; ++i)
        m_list->setColumnWidth(i, widths[std::size_t(i)]);
}

void CChannelBar::ShowDocument(CTallonAppDocument* doc, bool force) {
    if (!doc || !doc->Chart()) {
        if (m_list->topLevelItemCount() || !m_chartId.isEmpty()) {
            m_list->clear();
            m_chartId.clear();
            m_doc = nullptr;
            UpdateCaption();
        }
        return;
    }
    if (force) m_refreshRequest = true;
    if (!isVisible()) return;
    CComBSTR id;
    doc->Chart()->get_Identifier(&id);
    const bool chartChange = FromBstr(id) != m_chartId;
    m_doc = doc;
    if (chartChange) {
        m_list->clear();
        m_chartId = FromBstr(id);
    }
    UpdateCaption();
    const std::uint64_t now = m_context.clock->TickMs();
    if (!m_refreshRequest && !chartChange && !m_rebuild && m_refilled &&
        now - m_lastRefill < std::uint64_t(kRefreshMs))
        return;
    if (chartChange || m_rebuild) Rebuild();
    m_refreshRequest = false;
    RefreshCells();
    m_refilled = true;
    m_lastRefill = now;
}

// Every notification of a running chart lands here; only a change of its channels (one added,
// one gone, another order) makes the rows again, and at once. Names and values are rewritten in
// place by the next refresh.
void CChannelBar::ChartChanged(IZynChart* chart) {
    if (!chart) return;
    CComBSTR id;
    chart->get_Identifier(&id);
    if (FromBstr(id) == m_chartId && !RowsMatchChannels(chart)) m_rebuild = true;
}

bool CChannelBar::RowsMatchChannels(IZynChart* chart) const {
    CComPtr<IZynChannelIter> it;
    if (FAILED(chart->get_Channels(&it)) || !it) return m_list->topLevelItemCount() == 0;
    int row = 0;
    for (;; ++row) {
        CComPtr<IZynChannel> channel;
        if (it->GetNext(&channel) != S_OK || !channel) break;
        if (row >= m_list->topLevelItemCount() ||
            m_list->topLevelItem(row)->data(0, kRoleIdentifier).toString() !=
                StringProp(channel, &IZynChannel::get_Identifier))
            return false;
    }
    return row == m_list->topLevelItemCount();
}

// The rows are made again from the chart's channels. The selection belongs to a channel, not to a
// row: it follows its channel through the rebuild (every notification of a running chart asks
// for one), and goes only when its channel has gone.
void CChannelBar::Rebuild() {
    m_rebuild = false;
    const QList<QTreeWidgetItem*> selectedItems = m_list->selectedItems();
    const QString selectedId =
        selectedItems.isEmpty() ? QString() : selectedItems.first()->data(0, kRoleIdentifier).toString();
    QTreeWidgetItem* reselect = nullptr;
    {
        const QSignalBlocker block(m_list);
        m_list->clear();
        CComPtr<IZynChannelIter> it;
        if (m_doc && SUCCEEDED(m_doc->Chart()->get_Channels(&it)) && it) {
            for (;;) {
                CComPtr<IZynChannel> channel;
                if (it->GetNext(&channel) != S_OK || !channel) break;
                auto* item = new QTreeWidgetItem(m_list);
                const QString id = StringProp(channel, &IZynChannel::get_Identifier);
                item->setData(0, kRoleIdentifier, id);
                item->setText(ColName, StringProp(channel, &IZynChannel::get_Name));
                item->setText(ColCounter, CounterCellText(channel));
                item->setText(ColObject, StringProp(channel, &IZynChannel::get_CounterObject));
                item->setText(ColMachine, StringProp(channel, &IZynChannel::get_CounterMachine));
                if (!selectedId.isEmpty() && id == selectedId) reselect = item;
            }
        }
        if (reselect) m_list->setCurrentItem(reselect);
    }
    // A selection whose channel is gone is a changed selection: the frame and the views hear of it.
    if (!selectedId.isEmpty() && !reselect) OnSelectionChanged();
    UpdateButtons();
}

CComPtr<IZynChannel> CChannelBar::ChannelOfRow(int row) const {
    if (!m_doc || !m_doc->Chart() || row < 0 || row >= m_list->topLevelItemCount()) return {};
    const QString id = m_list->topLevelItem(row)->data(0, kRoleIdentifier).toString();
    CComPtr<IZynChannel> channel;
    if (m_doc->Chart()->FindChannel(CComBSTR(id.toStdU16String()), &channel) != S_OK) return {};
    return channel;
}

void CChannelBar::WriteRow(QTreeWidgetItem* item, IZynChannel* channel, bool values) {
    SetCell(item, ColName, StringProp(channel, &IZynChannel::get_Name));
    LONG visible = 0, width = 0;
    OLE_COLOR colour = 0;
    channel->get_Visible(&visible);
    channel->get_Color(&colour);
    channel->get_Width(&width);
    SetCell(item, ColVisible, visible ? QStringLiteral("1") : QStringLiteral("0"));
    SetCell(item, ColColor, QStringLiteral("%1,%2").arg(unsigned(colour)).arg(int(width)));
    if (!values) return;
    CComPtr<IZynDataSet> set;
    LONG count = 0;
    if (FAILED(channel->get_Data(&set)) || !set || FAILED(set->get_Count(&count)) || count <= 0) {
        for (int c : {ColLast, ColMin, ColMax, ColAvg})
            SetCell(item, c, QString());
        const QString tip = RowToolTip(channel, item);
        for (int col = 0; col < kColumnCount; ++col)
            item->setToolTip(col, tip);
        return;
    }
    double last = 0, lo = 0, hi = 0, avg = 0;
    set->GetValueAt(count - 1, &last);
    set->get_Min(&lo);
    set->get_Max(&hi);
    set->get_Average(&avg);
    const std::pair<int, double> cells[] = {{ColLast, last}, {ColMin, lo}, {ColMax, hi}, {ColAvg, avg}};
    bool changed = false;
    for (const auto& [col, v] : cells)
        changed |= SetCell(item, col, FormatNumber(v));
    if (changed || item->toolTip(ColName).isEmpty()) {
        const QString tip = RowToolTip(channel, item);
        for (int col = 0; col < kColumnCount; ++col)
            item->setToolTip(col, tip);
    }
}

void CChannelBar::RefreshCells() {
    // Every 30th refresh rewrites all value cells; the others rewrite what changed, which the
    // cell comparison already limits to the changed texts.
    ++m_refreshCount;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        CComPtr<IZynChannel> channel = ChannelOfRow(row);
        if (!channel) {
            // A channel gone from the chart: one full rebuild.
            Rebuild();
            for (int r = 0; r < m_list->topLevelItemCount(); ++r)
                if (auto c = ChannelOfRow(r)) WriteRow(m_list->topLevelItem(r), c, true);
            return;
        }
        WriteRow(m_list->topLevelItem(row), channel, true);
    }
}

CComPtr<IZynChannel> CChannelBar::SelectedChannel() const {
    const auto items = m_list->selectedItems();
    if (items.isEmpty()) return {};
    return ChannelOfRow(m_list->indexOfTopLevelItem(items.first()));
}

void CChannelBar::DeleteSelected(bool shiftHeld) {
    CComPtr<IZynChannel> channel = SelectedChannel();
    if (!channel) {
        ZynMessageBox(LoadZynString(50069));
        return;
    }
    if (!shiftHeld && !m_context.Settings().Get(CNumberedSettings::kExpertMode) &&
        ZynMessageBox(LoadZynString(50121), QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) !=
            QMessageBox::Yes)
        return;
    const QString name = StringProp(channel, &IZynChannel::get_Name);
    emit statusMessage(ZynFormat(50083, {name}), 0);
    channel->Detach();
    if (m_doc) m_doc->SetModifiedFlag(true);
    m_rebuild = true;
    ShowDocument(m_doc, true);
    if (m_doc) m_doc->UpdateAllViews(0);
}

void CChannelBar::AutoScaleSelected() {
    CComPtr<IZynChannel> channel = SelectedChannel();
    if (!channel) {
        ZynMessageBox(LoadZynString(50069));
        return;
    }
    LONG changed = 0;
    channel->AutoScale(&changed);
    if (changed) {
        double lo = 0, hi = 0;
        channel->get_ScaleMin(&lo);
        channel->get_ScaleMax(&hi);
        emit statusMessage(ZynFormat(50084, {FormatNumber(lo), FormatNumber(hi)}), 0);
        if (m_doc) m_doc->UpdateAllViews(1);
    } else {
        emit statusMessage(LoadZynString(50139), 1);
    }
}

void CChannelBar::ShowPropertiesOfSelected() {
    CComPtr<IZynChannel> channel = SelectedChannel();
    if (!channel) {
        ZynMessageBox(LoadZynString(50069));
        return;
    }
    ChannelSheetHost host;
    host.status = [this](const QString& text, int level) { emit statusMessage(text, level); };
    host.tick = [this] { emit timerTickRequested(); };
    RunChannelProperties(m_context, channel, host, window());
}

void CChannelBar::ToggleVisible(int row) {
    CComPtr<IZynChannel> channel = ChannelOfRow(row);
    if (!channel) return;
    LONG visible = 0;
    channel->get_Visible(&visible);
    channel->put_Visible(visible ? 0 : 1);
    WriteRow(m_list->topLevelItem(row), channel, false);
    if (m_doc) m_doc->UpdateAllViews(0);
}

// Properties has nothing to show without a selected channel; Delete and Autoscale keep saying so.
void CChannelBar::UpdateButtons() {
    m_properties->setEnabled(!m_list->selectedItems().isEmpty());
}

void CChannelBar::OnSelectionChanged() {
    UpdateButtons();
    CComPtr<IZynChannel> channel = SelectedChannel();
    const QString channelId = channel ? StringProp(channel, &IZynChannel::get_Identifier) : QString();
    emit channelSelected(m_chartId, channelId);
    if (QApplication::keyboardModifiers() & Qt::ShiftModifier)
        emit channelHighlighted(m_chartId, channelId);
    else
        emit channelHighlighted({}, {});
}

bool CChannelBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::Resize) RelayoutColumns();
    if (watched != m_list->viewport()) return QDockWidget::eventFilter(watched, event);
    const Qt::MouseButton primary = Qt::LeftButton; // Qt already swaps the buttons for left-handed users
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != primary) break;
        const QModelIndex index = m_list->indexAt(me->position().toPoint());
        if (index.isValid() && index.column() == ColVisible) ToggleVisible(index.row());
        m_pressed = index.isValid();
        m_pressRow = index.row();
        m_pressPos = me->position().toPoint();
        m_pressTick = m_context.clock->TickMs();
        m_dragRow = index.isValid() && index.column() != ColVisible ? index.row() : -1;
        break;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint d = me->position().toPoint() - m_pressPos;
        // A drag starts only beyond the press-and-hold slop, so that a steady hold never drags.
        const bool beyondSlop = std::abs(d.x()) > kHoldSlop || std::abs(d.y()) > kHoldSlop;
        if (m_dragRow >= 0 && beyondSlop && me->buttons().testFlag(primary) &&
            d.manhattanLength() >= QApplication::startDragDistance()) {
            if (std::exchange(m_holding, false)) emit channelHighlighted({}, {});
            m_pressed = false;
            StartChannelDrag(std::exchange(m_dragRow, -1));
            return true;
        }
        if (m_pressed && (std::abs(d.x()) > kHoldSlop || std::abs(d.y()) > kHoldSlop)) {
            m_pressed = false;
            if (std::exchange(m_holding, false)) emit channelHighlighted({}, {});
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        m_pressed = false;
        m_dragRow = -1;
        if (std::exchange(m_holding, false)) emit channelHighlighted({}, {});
        break;
    default:
        break;
    }
    return QDockWidget::eventFilter(watched, event);
}

void CChannelBar::StartChannelDrag(int row) {
    auto* window = qobject_cast<CChartWindowDocument*>(m_doc);
    CComPtr<IZynChannel> channel = ChannelOfRow(row);
    if (!window || !channel) return;
    std::unique_ptr<QMimeData> dragData = zyn::clipboard::MakeChannelData(
        *window->Document(), StringProp(channel, &IZynChannel::get_Identifier),
        zyn::clipboard::ChannelAction::Copy);
    if (!dragData) return;
    auto* drag = new QDrag(m_list);
    drag->setMimeData(dragData.release());
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void CChannelBar::CheckPressAndHold() {
    if (!m_pressed || m_holding || m_context.clock->TickMs() - m_pressTick <= std::uint64_t(kHoldMs)) return;
    CComPtr<IZynChannel> channel = ChannelOfRow(m_pressRow);
    if (!channel) return;
    m_holding = true;
    emit channelHighlighted(m_chartId, StringProp(channel, &IZynChannel::get_Identifier));
}
