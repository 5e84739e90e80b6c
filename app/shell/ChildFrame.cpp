#include "ChildFrame.h"

#include "ChildFrameTabs.h"
#include "TallonAppDocument.h"
#include "resources/ZynStrings.h"

#include <QAbstractScrollArea>
#include <QCloseEvent>
#include <QScrollBar>
#include <QStyle>

CFolderFrame::CFolderFrame(CTallonAppDocument* doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
    const int thick = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    m_tabs = new CFolderTabCtrl(LoadZynString(50088), thick, this);
    m_hscroll = new QScrollBar(Qt::Horizontal, this);
    m_vscroll = new QScrollBar(Qt::Vertical, this);
    m_hscroll->setObjectName(QStringLiteral("ScrollBar59904"));
    m_vscroll->setObjectName(QStringLiteral("ScrollBar59905"));
    connect(m_tabs, &CFolderTabCtrl::TabChosen, this, &CFolderFrame::ShowTab);
    m_view = m_doc->CreateView(0, this);
    AdoptScrollBar();
    Relayout();
}

void CFolderFrame::AdoptScrollBar() {
    // Nothing of the previous view's bars may stay connected: that view is on its way out.
    m_hscroll->disconnect(this);
    m_vscroll->disconnect(this);
    m_hscroll->setRange(0, 0);
    m_vscroll->setRange(0, 0);
    auto* area = qobject_cast<QAbstractScrollArea*>(m_view.data());
    if (!area) return;
    // The frame's bars beside the tabs and along the right edge stand in for the view's own: the
    // view keeps its hidden bars as the model of its scrolling, these mirror them and hand the
    // user's actions on to them. The chart page scrolls sideways, the report page up and down.
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Mirror(area->horizontalScrollBar(), m_hscroll);
    Mirror(area->verticalScrollBar(), m_vscroll);
}

void CFolderFrame::Mirror(QScrollBar* inner, QScrollBar* outer) {
    const auto mirror = [outer, inner] {
        const QSignalBlocker block(outer);
        outer->setRange(inner->minimum(), inner->maximum());
        outer->setPageStep(inner->pageStep());
        outer->setSingleStep(inner->singleStep());
        outer->setValue(inner->value());
    };
    mirror();
    connect(inner, &QScrollBar::rangeChanged, outer, mirror);
    connect(inner, &QScrollBar::valueChanged, outer, mirror);
    connect(outer, &QScrollBar::actionTriggered, this, [outer, inner](int action) {
        // A drag moves the slider; setting the view's slider position runs its SliderMove action.
        if (action == QAbstractSlider::SliderMove)
            inner->setSliderPosition(outer->sliderPosition());
        else
            inner->triggerAction(QAbstractSlider::SliderAction(action));
    });
    connect(outer, &QScrollBar::sliderPressed, this, [inner] { inner->setSliderDown(true); });
    connect(outer, &QScrollBar::sliderReleased, this, [inner] { inner->setSliderDown(false); });
}

void CFolderFrame::SetTabStripWidth(int width) {
    m_stripWidth = width;
    Relayout();
}

void CFolderFrame::ShowTab(int tab) {
    if (tab == m_viewTab && m_view) return;
    if (m_view) m_view->deleteLater();
    m_view = nullptr;
    m_view = m_doc->CreateView(tab, this);
    m_viewTab = tab;
    AdoptScrollBar();
    m_tabs->Select(tab);
    Relayout();
    if (m_view) {
        m_view->show();
        m_view->setFocus();
    }
    emit ViewChanged(m_view, tab);
}

void CFolderFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void CFolderFrame::Relayout() {
    const int thick = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const bool bars = m_stripWidth != -2;
    m_tabs->setVisible(bars);
    m_hscroll->setVisible(bars);
    m_vscroll->setVisible(bars);
    QRect client = rect();
    if (bars) {
        const int strip =
            std::min(m_stripWidth == -1 ? m_tabs->NaturalWidth() : m_stripWidth, client.width());
        const int bottom = client.height() - thick;
        m_tabs->setGeometry(0, bottom, strip, thick);
        m_hscroll->setGeometry(strip, bottom, std::max(0, client.width() - strip - thick), thick);
        m_vscroll->setGeometry(client.width() - thick, 0, thick, bottom);
        client.setHeight(bottom);
        client.setWidth(client.width() - thick);
    }
    if (m_view) m_view->setGeometry(client);
}

CChildFrame::CChildFrame(CTallonAppDocument* doc, QWidget* parent) : QMdiSubWindow(parent), m_doc(doc) {
    setAttribute(Qt::WA_DeleteOnClose);
    m_folder = new CFolderFrame(doc, this);
    setWidget(m_folder);
    // The chart page shows its tabs and scroll bars once it is set up.
    m_folder->SetTabStripWidth(-1);
    // "[*]" shows the modified mark.
    setWindowTitle(doc->Title() + QStringLiteral("[*]"));
    setWindowModified(doc->IsModified());
    connect(doc, &CTallonAppDocument::TitleChanged, this,
            [this](const QString& title) { setWindowTitle(title + QStringLiteral("[*]")); });
    connect(doc, &CTallonAppDocument::ModifiedChanged, this, &QWidget::setWindowModified);
    connect(m_folder, &CFolderFrame::ViewChanged, this, &CChildFrame::MenuChanged);
}

int CChildFrame::MenuId() const {
    return m_folder->ViewTab() == 1 ? 150 : 129;
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
}
