#include "EventDialog.h"

#include "ChannelText.h"
#include "display/DisplayFormat.h"
#include "document/CTallonChart.h"
#include "resources/ZynStrings.h"

#include "com/variant.h"
#include "display/VariantDate.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace {

double DateOf(IZynEvent* e, HRESULT (IZynEvent::*getter)(VARIANT*)) {
    CComVariant v;
    if (FAILED((e->*getter)(&v))) return 0.0;
    return VariantDate(v);
}

} // namespace

CEventDialog::CEventDialog(Mode mode, QWidget* parent) : QDialog(parent) {
    setWindowTitle(mode == Mode::Add ? tr("Add Event") : tr("Edit Event"));
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("EventName"));
    m_comment = new QPlainTextEdit(this);
    m_comment->setObjectName(QStringLiteral("EventComment"));
    m_comment->setTabChangesFocus(true);
    m_comment->setMinimumHeight(m_comment->fontMetrics().height() * 4);
    auto* form = new QFormLayout(this);
    form->addRow(tr("Event Name"), m_name);
    form->addRow(tr("Event Comment"), m_comment);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    if (mode == Mode::Edit) {
        m_start = new QLineEdit(this);
        m_start->setReadOnly(true);
        m_stop = new QLineEdit(this);
        m_stop->setReadOnly(true);
        form->addRow(tr("Start Time"), m_start);
        form->addRow(tr("Stop Time"), m_stop);
        m_delete = buttons->addButton(tr("Delete Event"), QDialogButtonBox::DestructiveRole);
        connect(m_delete, &QPushButton::clicked, this, [this] { done(kDeleted); });
    }
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(sizeHint().width() * 3 / 2, sizeHint().height());
}

void CEventDialog::SetName(const QString& name) {
    m_name->setText(name);
    m_name->selectAll();
}

void CEventDialog::SetComment(const QString& comment) {
    m_comment->setPlainText(comment);
}

void CEventDialog::SetTimes(double start, double stop) {
    if (!m_start) return;
    m_start->setText(FormatTimeDate(start));
    m_stop->setText(stop > 0 ? FormatTimeDate(stop) : LoadZynString(50131));
}

QString CEventDialog::Name() const {
    return m_name->text();
}

QString CEventDialog::Comment() const {
    return m_comment->toPlainText();
}

bool RunAddEventDialog(QWidget* parent, QString& name, QString& comment) {
    CEventDialog dialog(CEventDialog::Mode::Add, parent);
    dialog.SetName(name);
    dialog.SetComment(comment);
    if (dialog.exec() != QDialog::Accepted) return false;
    name = dialog.Name();
    comment = dialog.Comment();
    return true;
}

bool EditChartEvent(CTallonChart& doc, int eventIndex, QWidget* owner) {
    const auto events = doc.Events();
    if (eventIndex < 0 || std::size_t(eventIndex) >= events.size() || !doc.Chart()) return false;
    const CComPtr<IZynEvent>& event = events[std::size_t(eventIndex)];
    const QString name = ChannelText(event.p, &IZynEvent::get_Name);
    const QString comment = ChannelText(event.p, &IZynEvent::get_Comment);

    CEventDialog dialog(CEventDialog::Mode::Edit, owner);
    dialog.SetName(name);
    dialog.SetComment(comment);
    dialog.SetTimes(DateOf(event, &IZynEvent::get_StartTime), DateOf(event, &IZynEvent::get_StopTime));
    const QPointer<CTallonChart> guard(&doc);
    const int result = dialog.exec();
    if (!guard) return false; // the window closed under the dialog
    bool changed = false;
    if (result == CEventDialog::kDeleted) {
        LONG removed = 0;
        doc.Chart()->DetachEvent(ToBstr(ChannelText(event.p, &IZynEvent::get_Identifier)), &removed);
        changed = removed != 0;
    } else if (result == QDialog::Accepted) {
        // An emptied name keeps the one the event had.
        const QString newName = dialog.Name().trimmed().isEmpty() ? name : dialog.Name();
        if (newName != name) {
            event->put_Name(ToBstr(newName));
            changed = true;
        }
        if (dialog.Comment() != comment) {
            event->put_Comment(ToBstr(dialog.Comment()));
            changed = true;
        }
    }
    if (changed) {
        doc.SetModifiedFlag(true);
        doc.UpdateAllViews(CTallonChart::kHintRefresh);
    }
    return changed;
}
