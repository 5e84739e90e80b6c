#pragma once
// COptionPage: one page of a property sheet. A page edits either the sheet's working copy of a
// chart settings record (its controls are read into it by UpdateData, or stored at once when the
// control says so) or an object of its own (a chart's comment, a channel, the numbered settings),
// which it pushes in OnApply.

#include <QString>
#include <QWidget>

class COptionPage : public QWidget {
    Q_OBJECT
public:
    explicit COptionPage(const QString& title, QWidget* parent = nullptr);

    QString Title() const { return m_title; }
    // Reads the controls into the sheet's working record.
    virtual void UpdateData() {}
    // Pushes what the page edits outside the working record.
    virtual void OnApply() {}
    // Set once the page has been applied (pushed into the live record) at least once.
    bool Applied() const { return m_applied; }
    void SetApplied() { m_applied = true; }

signals:
    // Something the page edits changed: the sheet offers Apply.
    void changed();

private:
    QString m_title;
    bool m_applied = false;
};
