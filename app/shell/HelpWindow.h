#pragma once
// The program's help window: the installed help pages in a text browser, with back, forward and
// contents; one window, raised again for each request.

#include <QWidget>

class QTextBrowser;

class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Shows `page` of the help folder; false (and the window untouched) when the page is missing.
    bool ShowPage(const QString& page);
    // The page shown, as a path; empty before the first.
    QString CurrentPage() const;
    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};
