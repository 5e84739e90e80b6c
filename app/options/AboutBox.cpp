#include "AboutBox.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// A small picture of a chart: a framed plot with two traces.
QPixmap ChartPicture(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plot(size * 0.08, size * 0.08, size * 0.84, size * 0.84);
    p.setBrush(QColor(16, 24, 40));
    p.setPen(QPen(QColor(128, 255, 255), size / 40.0));
    p.drawRoundedRect(plot, size * 0.06, size * 0.06);
    auto trace = [&](const QColor& colour, double phase, double level) {
        QPainterPath path;
        for (int i = 0; i <= 24; ++i) {
            const double x = plot.left() + plot.width() * (0.08 + 0.84 * i / 24.0);
            const double y = plot.top() + plot.height() * (level - 0.18 * std::sin(i / 3.0 + phase));
            if (i == 0)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, size / 28.0));
        p.drawPath(path);
    };
    trace(QColor(255, 64, 64), 0.0, 0.45);
    trace(QColor(64, 255, 64), 1.7, 0.68);
    return pm;
}

} // namespace

CAboutBox::CAboutBox(Mode mode, const QString& versionText, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Tallon"));
    if (mode == Mode::Splash) {
        setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
        setAutoFillBackground(true);
    }
    const int h = fontMetrics().height();
    auto* picture = new QLabel(this);
    picture->setPixmap(ChartPicture(h * 5));
    auto* title = new QLabel(QStringLiteral("<b>Tallon</b>"), this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    title->setFont(big);
    m_version = new QLabel(versionText, this);
    m_version->setObjectName(QStringLiteral("Version"));
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* what = new QLabel(tr("Charts the system's performance counters as they are sampled, with "
                               "events, reports and scripts."),
                            this);
    what->setWordWrap(true);
    auto* maker = new QLabel(tr("Zynthar"), this);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(m_version);
    text->addSpacing(h / 2);
    text->addWidget(what);
    text->addWidget(maker);
    text->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(picture, 0, Qt::AlignTop);
    row->addSpacing(h);
    row->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    if (mode == Mode::About) {
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        layout->addWidget(buttons);
    }
    setMinimumWidth(h * 26);
}
