#pragma once
// The event dialogs: "Add Event" (name and comment of a new event) and "Edit Event" (the same of
// an existing event, its start and stop times, and "Delete Event").

#include <QDialog>
#include <QString>

class CTallonChart;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class CEventDialog : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Add, Edit };
    // The dialog's result when "Delete Event" closed it.
    static constexpr int kDeleted = 2;

    explicit CEventDialog(Mode mode, QWidget* parent = nullptr);

    void SetName(const QString& name);
    void SetComment(const QString& comment);
    // Edit mode: the event's times as shown (a stop time of 0 reads as still running).
    void SetTimes(double start, double stop);
    QString Name() const;
    QString Comment() const;

    QLineEdit* NameEdit() const { return m_name; }
    QPlainTextEdit* CommentEdit() const { return m_comment; }
    QLineEdit* StartEdit() const { return m_start; }
    QLineEdit* StopEdit() const { return m_stop; }
    QPushButton* DeleteButton() const { return m_delete; }

private:
    QLineEdit* m_name = nullptr;
    QPlainTextEdit* m_comment = nullptr;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_stop = nullptr;
    QPushButton* m_delete = nullptr;
};

// The chart view's "Add Event" dialog: false when cancelled.
bool RunAddEventDialog(QWidget* parent, QString& name, QString& comment);
// "Edit Event" for the event at `eventIndex` in chart order: OK renames it and sets its comment,
// "Delete Event" removes it from the chart. True when the event changed.
bool EditChartEvent(CTallonChart& doc, int eventIndex, QWidget* owner);
