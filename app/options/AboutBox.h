#pragma once
// CAboutBox: the program's name, version text and what it does. The same window serves as the
// about box (modal, with OK) and as the splash window at start-up (frameless, no button).

#include <QDialog>

class QLabel;

class CAboutBox : public QDialog {
    Q_OBJECT
public:
    enum class Mode { About, Splash };

    CAboutBox(Mode mode, const QString& versionText, QWidget* parent = nullptr);

    QLabel* VersionLabel() const { return m_version; }

private:
    QLabel* m_version = nullptr;
};
