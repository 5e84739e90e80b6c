#pragma once
// CChildFrame: the window of one chart. Its folder frame shows one view of the document at a time
// (tab 0 the chart page, tab 1 the report page) above a strip of folder tabs and a horizontal
// scroll bar, with a vertical scroll bar on the right.

#include <QMdiSubWindow>
#include <QPointer>

class CFolderTabCtrl;
class CTallonAppDocument;
class QScrollBar;

class CFolderFrame : public QWidget {
    Q_OBJECT
public:
    CFolderFrame(CTallonAppDocument* doc, QWidget* parent);

    QWidget* View() const { return m_view; }
    int ViewTab() const { return m_viewTab; }
    CFolderTabCtrl* Tabs() const { return m_tabs; }
    // The bar along the right edge: it scrolls the report page.
    QScrollBar* VerticalScrollBar() const { return m_vscroll; }
    // -2 hides the tab strip and both scroll bars; -1 takes the tabs' natural width.
    void SetTabStripWidth(int width);
    // Swaps the view for one of the tab's kind; nothing when it already shows that kind.
    void ShowTab(int tab);

signals:
    void ViewChanged(QWidget* view, int tab);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout();
    void AdoptScrollBar();
    void Mirror(QScrollBar* inner, QScrollBar* outer);

    CTallonAppDocument* m_doc;
    QPointer<QWidget> m_view;
    int m_viewTab = 0;
    CFolderTabCtrl* m_tabs;
    QScrollBar* m_hscroll;
    QScrollBar* m_vscroll;
    int m_stripWidth = -2;
};

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(CTallonAppDocument* doc, QWidget* parent = nullptr);
    CTallonAppDocument* Document() const { return m_doc; }
    CFolderFrame* Folder() const { return m_folder; }
    // The menu the active view asks for: 129 for the chart page, 150 for the report page.
    int MenuId() const;

signals:
    void MenuChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CTallonAppDocument* m_doc;
    CFolderFrame* m_folder;
};
