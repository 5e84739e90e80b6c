#include "OptionSheet.h"

#include "OptionPage.h"
#include "resources/ZynStrings.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

COptionSheet::COptionSheet(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    setObjectName(title);
    setModal(true);
    m_tabs = new QTabWidget(this);
    m_tabs->setUsesScrollButtons(false);
    m_buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    ApplyButton()->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &COptionSheet::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &COptionSheet::reject);
    connect(ApplyButton(), &QPushButton::clicked, this, &COptionSheet::Apply);
}

COptionSheet::~COptionSheet() = default;

void COptionSheet::AddPage(COptionPage* page) {
    m_pages.push_back(page);
    m_tabs->addTab(page, page->Title());
    connect(page, &COptionPage::changed, this, [this] { ApplyButton()->setEnabled(true); });
}

void COptionSheet::DeletePages() {
    std::vector<COptionPage*> pages;
    pages.swap(m_pages);
    for (COptionPage* page : pages)
        delete page;
}

COptionPage* COptionSheet::Page(int index) const {
    return index >= 0 && index < PageCount() ? m_pages[std::size_t(index)] : nullptr;
}

COptionPage* COptionSheet::FindPage(const QString& title) const {
    const auto it = std::find_if(m_pages.begin(), m_pages.end(),
                                 [&](const COptionPage* p) { return p->Title() == title; });
    return it == m_pages.end() ? nullptr : *it;
}

void COptionSheet::SetActivePage(int index) {
    m_tabs->setCurrentIndex(std::clamp(index, 0, std::max(0, PageCount() - 1)));
}

int COptionSheet::ActivePage() const {
    return m_tabs->currentIndex();
}

bool COptionSheet::AnyApplied() const {
    return std::any_of(m_pages.begin(), m_pages.end(), [](const COptionPage* p) { return p->Applied(); });
}

QPushButton* COptionSheet::OkButton() const {
    return m_buttons->button(QDialogButtonBox::Ok);
}
QPushButton* COptionSheet::CancelButton() const {
    return m_buttons->button(QDialogButtonBox::Cancel);
}
QPushButton* COptionSheet::ApplyButton() const {
    return m_buttons->button(QDialogButtonBox::Apply);
}

void COptionSheet::ShowStatus(const QString& text, int level) const {
    if (m_status) m_status(text, level);
}

void COptionSheet::Apply() {
    for (COptionPage* page : m_pages)
        page->UpdateData();
    CommitWorking();
    for (COptionPage* page : m_pages)
        page->OnApply();
    ShowStatus(LoadZynString(50109), 0);
    for (COptionPage* page : m_pages)
        page->SetApplied();
    ApplyButton()->setEnabled(false);
    AfterApply();
}

void COptionSheet::accept() {
    Apply();
    OnOk();
    QDialog::accept();
}

void COptionSheet::reject() {
    OnCancel();
    QDialog::reject();
}
