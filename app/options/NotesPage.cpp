#include "NotesPage.h"

#include "ChannelText.h"
#include "resources/ZynStrings.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

// The edit keeps line breaks as '\n'.
QString AsShown(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

} // namespace

QString CNotesPage::HintText() {
    return AsShown(LoadZynString(50112));
}

CNotesPage::CNotesPage(IZynChart* chart, QWidget* parent) : COptionPage(tr("Notes"), parent), m_chart(chart) {
    m_edit = new QPlainTextEdit(this);
    m_edit->setObjectName(QStringLiteral("NotesEdit"));
    m_edit->setTabChangesFocus(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit);

    m_shown = AsShown(ChannelText(m_chart.p, &IZynChart::get_Comment)).left(kMaxLength);
    m_edit->setPlainText(m_shown.isEmpty() ? HintText() : m_shown);
    m_edit->installEventFilter(this);
    connect(m_edit, &QPlainTextEdit::textChanged, this, [this] {
        Limit();
        emit changed();
    });
}

// Text pasted or typed past the limit is cut at it.
void CNotesPage::Limit() {
    const QString text = m_edit->toPlainText();
    if (text.size() <= kMaxLength) return;
    const QSignalBlocker block(m_edit);
    m_edit->setPlainText(text.left(kMaxLength));
    m_edit->moveCursor(QTextCursor::End);
}

// Entering the edit while it shows the hint selects the hint, so typing replaces it.
bool CNotesPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::FocusIn && m_edit->toPlainText() == HintText())
        m_edit->selectAll();
    return COptionPage::eventFilter(watched, event);
}

void CNotesPage::OnApply() {
    if (!m_chart) return;
    const QString text = m_edit->toPlainText();
    if (text == HintText() || text == m_shown) return;
    m_chart->put_Comment(ToBstr(text));
    m_shown = text;
}
