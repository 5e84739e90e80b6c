#include "CounterPage.h"

#include "ChannelText.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>

CCounterPage::CCounterPage(IZynChannel* channel, QWidget* parent) : COptionPage(tr("Counter"), parent) {
    struct Row {
        QString label;
        HRESULT (IZynChannel::*getter)(BSTR*);
    };
    const Row rows[] = {
        {tr("Counter"), &IZynChannel::get_Counter},          {tr("Path"), &IZynChannel::get_CounterPath},
        {tr("Machine"), &IZynChannel::get_CounterMachine},   {tr("Object"), &IZynChannel::get_CounterObject},
        {tr("Instance"), &IZynChannel::get_CounterInstance}, {tr("Parent"), &IZynChannel::get_CounterParent},
        {tr("Name"), &IZynChannel::get_CounterName},
    };
    auto* form = new QFormLayout(this);
    for (const Row& row : rows) {
        auto* edit = new QLineEdit(ChannelText(channel, row.getter), this);
        edit->setReadOnly(true);
        edit->setCursorPosition(0);
        m_fields.push_back(edit);
        form->addRow(row.label, edit);
    }
    m_description = new QPlainTextEdit(ChannelText(channel, &IZynChannel::get_CounterDescription), this);
    m_description->setReadOnly(true);
    form->addRow(tr("Description"), m_description);
}

QLineEdit* CCounterPage::Field(int index) const {
    return index >= 0 && index < int(m_fields.size()) ? m_fields[std::size_t(index)] : nullptr;
}
