#include "ChildFrameTabs.h"

#include <QMouseEvent>
#include <QPainter>

CFolderTabCtrl::CFolderTabCtrl(const QString& tabs, int height, QWidget* parent) : QWidget(parent) {
    m_normal = QFont(QStringLiteral("Arial"));
    m_normal.setPixelSize(std::max(6, height - 2));
    m_normal.setWeight(QFont::Normal);
    m_bold = m_normal;
    m_bold.setWeight(QFont::DemiBold); // weight 600
    for (const QString& t : tabs.split(u'\n', Qt::SkipEmptyParts))
        m_tabs.push_back({t, {}});
    setFixedHeight(height);
    Layout();
}

void CFolderTabCtrl::Layout() {
    const QFontMetrics fm(m_bold);
    int x = 0;
    for (Tab& tab : m_tabs) {
        const int w = fm.horizontalAdvance(tab.text) + kTextPadding;
        tab.rect = QRect(x, 0, w, height());
        x += w - kOverlap;
    }
}

int CFolderTabCtrl::NaturalWidth() const {
    return m_tabs.empty() ? kTrailing : m_tabs.back().rect.right() + 1 + kTrailing;
}

QPolygon CFolderTabCtrl::TabShape(int index) const {
    const QRect r = TabRect(index);
    const int left = r.left(), right = r.left() + r.width(), top = r.top(), bottom = r.top() + r.height() - 1;
    return QPolygon(
        {QPoint(left, top), QPoint(left + 8, bottom), QPoint(right - 9, bottom), QPoint(right - 1, top)});
}

void CFolderTabCtrl::Select(int index) {
    if (index < 0 || index >= Count() || index == m_selected) return;
    m_selected = index;
    update();
}

void CFolderTabCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.button());
    auto drawTab = [&](int i, bool selected) {
        p.setBrush(selected ? pal.base() : pal.button());
        p.setPen(pal.color(QPalette::Dark));
        p.drawPolygon(TabShape(i));
        p.setFont(selected ? m_bold : m_normal);
        p.setPen(selected ? pal.color(QPalette::Text) : pal.color(QPalette::ButtonText));
        p.drawText(TabRect(i).adjusted(8, 1, -8, -1), Qt::AlignCenter | Qt::TextSingleLine, TabText(i));
    };
    for (int i = 0; i < Count(); ++i) {
        if (TabRect(i).left() > width()) break;
        if (i != m_selected) drawTab(i, false);
    }
    if (m_selected < Count()) drawTab(m_selected, true);
    // The black line along the top edge, open under the selected tab.
    p.setPen(Qt::black);
    const QRect sel = m_selected < Count() ? TabRect(m_selected) : QRect();
    p.drawLine(0, 0, sel.isValid() ? sel.left() : width(), 0);
    if (sel.isValid()) p.drawLine(sel.left() + sel.width() - 1, 0, width(), 0);
}

void CFolderTabCtrl::mousePressEvent(QMouseEvent* event) {
    // The selected tab lies on top: test it first, then the others from the right.
    const QPoint pos = event->position().toPoint();
    auto hit = [&](int i) { return TabShape(i).containsPoint(pos, Qt::OddEvenFill); };
    if (m_selected < Count() && hit(m_selected)) return;
    for (int i = Count() - 1; i >= 0; --i) {
        if (i != m_selected && hit(i)) {
            Select(i);
            emit TabChosen(i);
            return;
        }
    }
}
