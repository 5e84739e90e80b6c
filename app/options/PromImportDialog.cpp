#include "PromImportDialog.h"

#include "document/ZynMessageBox.h"

#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

CPromImportDialog::CPromImportDialog(const PromImportRequest& initial, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Import from Prometheus"));
    auto* form = new QFormLayout;
    m_server = new QLineEdit(initial.serverUrl, this);
    m_server->setPlaceholderText(QStringLiteral("http://host:9090"));
    m_server->setMinimumWidth(360);
    m_query = new QLineEdit(initial.query, this);
    m_query->setPlaceholderText(QStringLiteral("rate(node_cpu_seconds_total{mode=\"idle\"}[1m])"));
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    m_start = new QDateTimeEdit(initial.start, this);
    m_start->setDisplayFormat(format);
    m_start->setCalendarPopup(true);
    m_end = new QDateTimeEdit(initial.end, this);
    m_end->setDisplayFormat(format);
    m_end->setCalendarPopup(true);
    m_step = new QDoubleSpinBox(this);
    m_step->setRange(0.001, 86400);
    m_step->setDecimals(3);
    m_step->setSuffix(QStringLiteral(" s"));
    m_step->setValue(initial.stepSeconds);
    form->addRow(QStringLiteral("&Server:"), m_server);
    form->addRow(QStringLiteral("&Query:"), m_query);
    form->addRow(QStringLiteral("&From:"), m_start);
    form->addRow(QStringLiteral("&To:"), m_end);
    form->addRow(QStringLiteral("S&tep:"), m_step);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPromImportDialog::AcceptIfComplete);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

PromImportRequest CPromImportDialog::Request() const {
    return {m_server->text().trimmed(), m_query->text().trimmed(), m_start->dateTime(), m_end->dateTime(),
            m_step->value()};
}

void CPromImportDialog::AcceptIfComplete() {
    // What can be told without asking the server is told here, with the dialog still open.
    const PromImportRequest r = Request();
    QString problem;
    if (r.serverUrl.isEmpty())
        problem = QStringLiteral("Enter the address of the Prometheus server.");
    else if (r.query.isEmpty())
        problem = QStringLiteral("Enter a PromQL query.");
    else if (r.end <= r.start)
        problem = QStringLiteral("The end of the range must come after its start.");
    if (!problem.isEmpty()) {
        ZynMessageBox(problem, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    accept();
}

bool RunPromImportDialog(QWidget* parent, PromImportRequest& request) {
    CPromImportDialog dialog(request, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    request = dialog.Request();
    return true;
}
