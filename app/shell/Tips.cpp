#include "Tips.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QTimer>

std::optional<StartupTip> ChooseStartupTip(int addChannelUses, int& startupCount, int counterDetail) {
    if (addChannelUses > 2) ++startupCount;
    const auto at = [&](int n) { return startupCount == n || startupCount == n + 1; };
    if (!(addChannelUses < 2 || at(10) || at(20) || at(30))) return std::nullopt;
    if (at(10)) return StartupTip{50167, 9};
    if (at(20)) return StartupTip{50168, 10};
    if (at(30)) {
        if (counterDetail > 2) return std::nullopt;
        return StartupTip{50169, 5, 24000};
    }
    return StartupTip{kAddChannelTip, 5};
}

namespace {
constexpr int kPad = 8, kArrow = 10, kIcon = 24;
}

CTipBalloon::CTipBalloon(const QString& title, const QString& text, QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint), m_title(title), m_text(text) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_TranslucentBackground);
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fmBold(bold), fm(font());
    const QRect textRect = fm.boundingRect(QRect(0, 0, 320, 1000), Qt::TextWordWrap, m_text);
    const int w = kPad * 3 + kIcon + std::max(fmBold.horizontalAdvance(m_title), textRect.width());
    const int h = kArrow + kPad * 2 + std::max(kIcon, fmBold.height() + 4 + textRect.height());
    resize(w, h);
}

void CTipBalloon::ShowAt(const QPoint& anchor, int showMs) {
    // The arrow's tip sits on the anchor; the body hangs below it.
    move(anchor.x() - kPad * 2, anchor.y());
    show();
    QTimer::singleShot(showMs, this, &QWidget::close);
}

void CTipBalloon::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(0.5, kArrow + 0.5, width() - 1.0, height() - kArrow - 1.0);
    QPainterPath path;
    path.addRoundedRect(body, 6, 6);
    QPainterPath arrow;
    arrow.moveTo(kPad * 2, 0.5);
    arrow.lineTo(kPad * 2 - 6, kArrow + 1);
    arrow.lineTo(kPad * 2 + 8, kArrow + 1);
    arrow.closeSubpath();
    path = path.united(arrow);
    p.setPen(palette().color(QPalette::ToolTipText));
    p.setBrush(palette().color(QPalette::ToolTipBase));
    p.drawPath(path);
    const QIcon icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    p.drawPixmap(kPad, kArrow + kPad, icon.pixmap(kIcon, kIcon));
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    const int x = kPad * 2 + kIcon;
    p.drawText(QRect(x, kArrow + kPad, width() - x - kPad, QFontMetrics(bold).height()), Qt::AlignLeft,
               m_title);
    p.setFont(font());
    p.drawText(QRect(x, kArrow + kPad + QFontMetrics(bold).height() + 4, width() - x - kPad, height()),
               Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, m_text);
}

void CTipBalloon::mousePressEvent(QMouseEvent*) {
    close();
}
