#include "ChannelPage.h"

#include "ChannelText.h"
#include "OptionDialogs.h"
#include "display/ChartColours.h"
#include "resources/ZynStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace zyn::options {

const std::array<COLORREF, 14>& StandardChannelColours() {
    static const std::array<COLORREF, 14> colours = {
        ZynRGB(0, 0, 0),     ZynRGB(0, 255, 0),     ZynRGB(255, 0, 0),   ZynRGB(255, 255, 0),
        ZynRGB(255, 128, 0), ZynRGB(255, 255, 255), ZynRGB(0, 128, 128), ZynRGB(128, 128, 128),
        ZynRGB(0, 255, 255), ZynRGB(0, 0, 128),     ZynRGB(64, 0, 64),   ZynRGB(255, 0, 128),
        ZynRGB(128, 0, 255), ZynRGB(0, 128, 0),
    };
    return colours;
}

QString ChannelTypeText(long type) {
    switch (type) {
    case 1:
        return QStringLiteral("Dynamic Channel");
    case 2:
        return QStringLiteral("Static channel");
    case 3:
        return QStringLiteral("Virtual channel");
    default:
        return QStringLiteral("Error - Unknown channel type");
    }
}

} // namespace zyn::options

using namespace zyn::options;

namespace {

constexpr int kColourRole = Qt::UserRole;
constexpr int kMoreColoursRole = Qt::UserRole + 1;

QLineEdit* ReadOnly(const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setReadOnly(true);
    edit->setCursorPosition(0);
    return edit;
}

} // namespace

CChannelPage::CChannelPage(IZynChannel* channel, COLORREF background, QWidget* parent)
    : COptionPage(tr("Channel"), parent), m_channel(channel), m_background(background) {
    LONG type = 0, width = 0, visible = 1;
    OLE_COLOR colour = 0;
    if (m_channel) {
        m_channel->get_ChannelType(reinterpret_cast<ZynChannelType*>(&type));
        m_channel->get_Width(&width);
        m_channel->get_Visible(&visible);
        m_channel->get_Color(&colour);
    }
    m_name = new QLineEdit(ChannelText(m_channel.p, &IZynChannel::get_Name), this);
    m_name->setObjectName(QStringLiteral("Name"));
    m_comment = new QLineEdit(ChannelText(m_channel.p, &IZynChannel::get_Comment), this);
    m_comment->setObjectName(QStringLiteral("Comment"));
    m_type = ReadOnly(ChannelTypeText(type), this);
    m_identifier = ReadOnly(ChannelText(m_channel.p, &IZynChannel::get_Identifier), this);
    // An identifier is 38 characters: the page is as wide as it needs.
    m_identifier->setMinimumWidth(m_identifier->fontMetrics().horizontalAdvance(m_identifier->text()) +
                                  m_identifier->fontMetrics().height());
    m_counter = ReadOnly(ChannelText(m_channel.p, &IZynChannel::get_Counter), this);

    const int h = fontMetrics().height();
    m_colour = new QComboBox(this);
    m_colour->setObjectName(QStringLiteral("Color"));
    m_colour->setIconSize(QSize(h * 4, h - 2));
    AddColour(0, COLORREF(colour));
    for (COLORREF c : StandardChannelColours())
        if (c != COLORREF(colour)) AddColour(m_colour->count(), c);
    m_colour->addItem(LoadZynString(50074));
    m_colour->setItemData(m_colour->count() - 1, true, kMoreColoursRole);
    m_colour->setCurrentIndex(0);

    m_width = new QComboBox(this);
    m_width->setObjectName(QStringLiteral("Width"));
    m_width->setIconSize(QSize(h * 4, std::max(h, kMaxWidth + 4)));
    for (int w = 0; w <= kMaxWidth; ++w)
        m_width->addItem(QString::number(w), w);
    m_width->setCurrentIndex(std::clamp(int(width), 0, kMaxWidth));
    DrawWidths();

    m_visible = new QCheckBox(tr("Channel is Visible"), this);
    m_visible->setChecked(visible != 0);

    auto* form = new QFormLayout(this);
    form->addRow(tr("Name"), m_name);
    form->addRow(tr("Comment"), m_comment);
    form->addRow(tr("Type"), m_type);
    form->addRow(tr("Identifier"), m_identifier);
    form->addRow(tr("Counter"), m_counter);
    form->addRow(tr("Color"), m_colour);
    form->addRow(tr("Width"), m_width);
    form->addRow(QString(), m_visible);

    connect(m_name, &QLineEdit::textEdited, this, &COptionPage::changed);
    connect(m_comment, &QLineEdit::textEdited, this, &COptionPage::changed);
    connect(m_colour, &QComboBox::activated, this, &CChannelPage::ChooseColourEntry);
    connect(m_width, &QComboBox::activated, this, &COptionPage::changed);
    connect(m_visible, &QCheckBox::toggled, this, &COptionPage::changed);
}

void CChannelPage::AddColour(int at, COLORREF colour) {
    QPixmap swatch(m_colour->iconSize());
    swatch.fill(ToQColor(colour));
    QPainter p(&swatch);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    p.end();
    m_colour->insertItem(at, QIcon(swatch), QString());
    m_colour->setItemData(at, colour, kColourRole);
    m_colour->setItemData(
        at, QStringLiteral("%1, %2, %3").arg(ZynRed(colour)).arg(ZynGreen(colour)).arg(ZynBlue(colour)),
        Qt::ToolTipRole);
}

COLORREF CChannelPage::SelectedColour() const {
    return COLORREF(m_colour->currentData(kColourRole).toUInt());
}

void CChannelPage::ChooseColourEntry(int index) {
    if (index < 0 || index >= m_colour->count()) return;
    if (!m_colour->itemData(index, kMoreColoursRole).toBool()) {
        m_colour->setCurrentIndex(index);
        m_lastColourIndex = index;
        DrawWidths();
        emit changed();
        return;
    }
    const auto chosen =
        Dialogs().chooseColour(this, COLORREF(m_colour->itemData(m_lastColourIndex, kColourRole).toUInt()));
    if (!chosen) {
        m_colour->setCurrentIndex(m_lastColourIndex);
        return;
    }
    AddColour(index, *chosen);
    m_colour->setCurrentIndex(index);
    m_lastColourIndex = index;
    DrawWidths();
    emit changed();
}

// Each width as a line of that width in the chosen colour on the chart background.
void CChannelPage::DrawWidths() {
    const QSize size = m_width->iconSize();
    const COLORREF colour = SelectedColour();
    for (int w = 0; w <= kMaxWidth; ++w) {
        QPixmap sample(size);
        sample.fill(ToQColor(m_background));
        QPainter p(&sample);
        p.setPen(QPen(ToQColor(colour), w, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(3, size.height() / 2, size.width() - 4, size.height() / 2);
        p.end();
        m_width->setItemIcon(w, QIcon(sample));
    }
}

void CChannelPage::OnApply() {
    if (!m_channel) return;
    m_channel->put_Name(ToBstr(m_name->text()));
    m_channel->put_Comment(ToBstr(m_comment->text()));
    m_channel->put_Color(OLE_COLOR(SelectedColour()));
    m_channel->put_Width(std::clamp(m_width->currentIndex(), 0, kMaxWidth));
    m_channel->put_Visible(m_visible->isChecked() ? 1 : 0);
}
