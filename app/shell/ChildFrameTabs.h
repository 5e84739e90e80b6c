#pragma once
// CFolderTabCtrl: the row of folder tabs ("Chart", "Report") drawn as trapezoids beside the
// horizontal scroll bar of a chart window.

#include <QFont>
#include <QPolygon>
#include <QWidget>

class CFolderTabCtrl : public QWidget {
    Q_OBJECT
public:
    static constexpr int kOverlap = 8;
    static constexpr int kTextPadding = 32;
    static constexpr int kTrailing = 10;

    // Tabs from a text split at line feeds (50088 "Chart\nReport").
    CFolderTabCtrl(const QString& tabs, int height, QWidget* parent);

    int Count() const { return int(m_tabs.size()); }
    int Selected() const { return m_selected; }
    void Select(int index);
    QString TabText(int index) const { return m_tabs.at(std::size_t(index)).text; }
    QRect TabRect(int index) const { return m_tabs.at(std::size_t(index)).rect; }
    QPolygon TabShape(int index) const;
    // Right edge of the last tab + 10.
    int NaturalWidth() const;

signals:
    // Notification code 1: a tab was chosen with the mouse.
    void TabChosen(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Layout();
    struct Tab {
        QString text;
        QRect rect;
    };
    std::vector<Tab> m_tabs;
    int m_selected = 0;
    QFont m_normal, m_bold;
};
