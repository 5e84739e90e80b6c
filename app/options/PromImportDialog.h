#pragma once
// "Import from Prometheus": the server, the PromQL query, the range and the step of a history
// import. The dialog only gathers them; the import itself is the application object's.

#include <QDateTime>
#include <QDialog>
#include <QString>

class QDateTimeEdit;
class QDoubleSpinBox;
class QLineEdit;

struct PromImportRequest {
    QString serverUrl;
    QString query;
    QDateTime start;
    QDateTime end;
    double stepSeconds = 15;
};

class CPromImportDialog : public QDialog {
    Q_OBJECT
public:
    explicit CPromImportDialog(const PromImportRequest& initial, QWidget* parent = nullptr);

    [[nodiscard]] PromImportRequest Request() const;

    QLineEdit* ServerEdit() const { return m_server; }
    QLineEdit* QueryEdit() const { return m_query; }

private:
    void AcceptIfComplete();

    QLineEdit* m_server = nullptr;
    QLineEdit* m_query = nullptr;
    QDateTimeEdit* m_start = nullptr;
    QDateTimeEdit* m_end = nullptr;
    QDoubleSpinBox* m_step = nullptr;
};

// Shows the dialog; false when cancelled. `request` holds what was last asked and receives the new
// request.
bool RunPromImportDialog(QWidget* parent, PromImportRequest& request);
