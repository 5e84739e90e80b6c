#include "HelpWindow.h"

#include "CommandIcons.h"
#include "HelpTopics.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Tallon Help"));
    resize(760, 620);
    m_browser = new QTextBrowser(this);
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({HelpFolder()});
    auto* bar = new QToolBar(this);
    bar->addAction(QIcon::fromTheme(QStringLiteral("go-previous")), QStringLiteral("Back"), m_browser,
                   &QTextBrowser::backward);
    bar->addAction(QIcon::fromTheme(QStringLiteral("go-next")), QStringLiteral("Forward"), m_browser,
                   &QTextBrowser::forward);
    bar->addAction(OwnIcon("help-contents", palette()), QStringLiteral("Contents"), this,
                   [this] { ShowPage(HelpIndexPage()); });
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_browser);
}

bool CHelpWindow::ShowPage(const QString& page) {
    const QString path = HelpFolder() + u'/' + page;
    if (!QFileInfo::exists(path)) return false;
    m_browser->setSource(QUrl::fromLocalFile(path));
    show();
    raise();
    activateWindow();
    return true;
}

QString CHelpWindow::CurrentPage() const {
    return m_browser->source().toLocalFile();
}
