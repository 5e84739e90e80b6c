#include "DataPage.h"

#include "ChannelText.h"
#include "display/DisplayFormat.h"

#include "com/variant.h"
#include "utils/ZynNumber.h"

#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

QLineEdit* ReadOnly(const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setReadOnly(true);
    return edit;
}

double ReadNumber(const QLineEdit* edit) {
    const QString text = edit->text();
    return StringToDouble(reinterpret_cast<const char16_t*>(text.utf16()));
}

// The displays' number format, with the decimals the value needs to read back unchanged: a scale
// shown or reformatted must not move the scale it came from.
QString FormatScale(double v) {
    const QString shown = FormatNumber(v);
    if (StringToDouble(reinterpret_cast<const char16_t*>(shown.utf16())) == v) return shown;
    char16_t buf[128] = {};
    for (int decimals = 0; decimals <= 17; ++decimals) {
        const std::u16string format = u"%." + QString::number(decimals).toStdU16String() + u"lf";
        if (CommaNumber(v, buf, 128, format.c_str()) && StringToDouble(buf) == v)
            return QString::fromUtf16(buf);
    }
    return shown;
}

QString CountText(LONG count) {
    char16_t buf[64] = {};
    return CommaNumber(double(count), buf, 64, u"%2.0lf") ? QString::fromUtf16(buf) : QString::number(count);
}

} // namespace

CDataPage::CDataPage(IZynChannel* channel, QWidget* parent)
    : COptionPage(tr("Data"), parent), m_channel(channel) {
    double scaleMax = 100.0, scaleMin = 0.0;
    LONG count = 0;
    double maxValue = 0.0, minValue = 0.0;
    CComVariant first;
    if (m_channel) {
        m_channel->get_ScaleMax(&scaleMax);
        m_channel->get_ScaleMin(&scaleMin);
        m_channel->get_Data(&m_data);
        m_channel->get_FirstTime(&first);
    }
    if (m_data) {
        m_data->get_Count(&count);
        m_data->get_Max(&maxValue);
        m_data->get_Min(&minValue);
    }
    const bool hasData = count > 0;

    auto* scaleBox = new QGroupBox(tr("Scale"), this);
    m_max = new QLineEdit(FormatScale(scaleMax), scaleBox);
    m_max->setObjectName(QStringLiteral("MaximumScale"));
    m_min = new QLineEdit(FormatScale(scaleMin), scaleBox);
    m_min->setObjectName(QStringLiteral("MinimumScale"));
    m_units = new QLineEdit(ChannelText(m_channel.p, &IZynChannel::get_Units), scaleBox);
    m_units->setObjectName(QStringLiteral("DataUnits"));
    m_autoScale = new QLabel(QStringLiteral("<a href=\"autoscale\">%1</a>").arg(tr("Auto Scale")), scaleBox);
    m_autoScale->setObjectName(QStringLiteral("AutoScale"));
    m_autoScale->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    auto* scaleForm = new QFormLayout(scaleBox);
    scaleForm->addRow(tr("Maximum Scale"), m_max);
    scaleForm->addRow(tr("Minimum Scale"), m_min);
    scaleForm->addRow(tr("Data Units"), m_units);
    scaleForm->addRow(QString(), m_autoScale);

    auto* dataBox = new QGroupBox(tr("Data"), this);
    const double start = first.vt == VT_DATE ? first.date : 0.0;
    m_count = ReadOnly(CountText(count), dataBox);
    m_start = ReadOnly(hasData && start > 0 ? FormatTimeOrDateTime(start) : QString(), dataBox);
    m_maxValue = ReadOnly(hasData ? FormatNumber(maxValue) : QString(), dataBox);
    m_minValue = ReadOnly(hasData ? FormatNumber(minValue) : QString(), dataBox);
    auto* dataForm = new QFormLayout(dataBox);
    dataForm->addRow(tr("# data points"), m_count);
    dataForm->addRow(tr("Start time"), m_start);
    dataForm->addRow(tr("Maximum value"), m_maxValue);
    dataForm->addRow(tr("Minimum value"), m_minValue);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scaleBox);
    layout->addWidget(dataBox);
    layout->addStretch(1);

    for (QLineEdit* edit : {m_max, m_min}) {
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, &COptionPage::changed);
    }
    connect(m_units, &QLineEdit::textEdited, this, &COptionPage::changed);
    connect(m_autoScale, &QLabel::linkActivated, this, &CDataPage::AutoScale);
}

// A scale typed by hand reads back in the number format once the edit loses the focus.
bool CDataPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && (watched == m_max || watched == m_min) &&
        static_cast<QLineEdit*>(watched)->isModified()) {
        Reformat(static_cast<QLineEdit*>(watched));
    }
    return COptionPage::eventFilter(watched, event);
}

void CDataPage::Reformat(QLineEdit* edit) {
    edit->setText(FormatScale(ReadNumber(edit)));
    edit->setModified(false);
}

void CDataPage::AutoScale() {
    LONG count = 0;
    if (!m_data || FAILED(m_data->get_Count(&count)) || count < 1) return;
    double hi = 0.0, lo = 0.0;
    m_data->get_Max(&hi);
    m_data->get_Min(&lo);
    ::AutoScale(lo, hi);
    m_max->setText(FormatScale(hi));
    m_min->setText(FormatScale(lo));
    emit changed();
}

void CDataPage::OnApply() {
    if (!m_channel) return;
    m_channel->put_ScaleMax(ReadNumber(m_max));
    m_channel->put_ScaleMin(ReadNumber(m_min));
    m_channel->put_Units(ToBstr(m_units->text()));
}
