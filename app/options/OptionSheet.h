#pragma once
// COptionSheet: a modal property sheet: its pages as tabs, and OK, Cancel and Apply. Applying
// (Apply, or OK) reads every page's controls, lets the sheet push its working record into the
// live one, lets every page push what it edits itself, shows "Applying configuration changes"
// and marks the pages applied. What Cancel does is the sheet's own (OnCancel).

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class COptionPage;
class QDialogButtonBox;
class QPushButton;
class QTabWidget;

class COptionSheet : public QDialog {
    Q_OBJECT
public:
    // A status-pane text with its level (0 information, 1 warning, 2 error).
    using StatusSink = std::function<void(const QString& text, int level)>;

    COptionSheet(const QString& title, QWidget* parent);
    ~COptionSheet() override;

    void AddPage(COptionPage* page);
    int PageCount() const { return int(m_pages.size()); }
    COptionPage* Page(int index) const;
    // The page with that title, or null.
    COptionPage* FindPage(const QString& title) const;
    void SetActivePage(int index);
    int ActivePage() const;

    // True when any page was applied since the sheet opened.
    bool AnyApplied() const;
    void Apply();

    QTabWidget* Tabs() const { return m_tabs; }
    QPushButton* OkButton() const;
    QPushButton* CancelButton() const;
    QPushButton* ApplyButton() const;

    void SetStatusSink(StatusSink sink) { m_status = std::move(sink); }

    void accept() override;
    void reject() override;

protected:
    // Deletes the pages now (a sheet whose pages refer to its own members calls it first thing in
    // its destructor).
    void DeletePages();
    void ShowStatus(const QString& text, int level) const;
    // Pushes the working record into the live one (sheets that have one).
    virtual void CommitWorking() {}
    // At the end of every apply.
    virtual void AfterApply() {}
    // After OK has applied, before the sheet closes.
    virtual void OnOk() {}
    virtual void OnCancel() {}

private:
    QTabWidget* m_tabs = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    std::vector<COptionPage*> m_pages;
    StatusSink m_status;
};
