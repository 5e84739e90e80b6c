#pragma once
// The "Notes" page: the chart's comment, at most 64000 characters. An empty comment shows the
// hint 50112, which is never stored as the comment.

#include "OptionPage.h"

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

class QPlainTextEdit;

class CNotesPage : public COptionPage {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 64000;

    explicit CNotesPage(IZynChart* chart, QWidget* parent = nullptr);

    void OnApply() override;

    QPlainTextEdit* Edit() const { return m_edit; }
    // The hint as the edit shows it.
    static QString HintText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Limit();

    CComPtr<IZynChart> m_chart;
    QPlainTextEdit* m_edit = nullptr;
    QString m_shown; // the comment as loaded, as the edit shows it
};
