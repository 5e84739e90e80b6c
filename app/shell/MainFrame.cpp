#include "MainFrame.h"

#include "CommandIcons.h"
#include "HelpTopics.h"

#include "ChannelBar.h"
#include "ChartFileDrops.h"
#include "ChildFrame.h"
#include "ScriptCommands.h"
#include "StatusPane.h"
#include "TallonApp.h"
#include "TallonAppDocument.h"
#include "Tips.h"
#include "display/ChartFonts.h"
#include "display/WideText.h"
#include "document/AppContext.h"
#include "document/CommandActions.h"
#include "document/ZynMessageBox.h"
#include "options/AboutBox.h"
#include "options/PreferencesSheet.h"
#include "options/PrintSetup.h"
#include "resources/ZynStrings.h"
#include "utils/ZynRegistry.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

CMainFrame::CMainFrame(CTallonApp* app) : m_app(app) {
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(QStringLiteral("Tallon"));
    m_mdi = new QMdiArea(this);
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    setAcceptDrops(true);
    CreateActions();
    CreateToolBar();

    m_channelBar = new CChannelBar(Context(), this);
    connect(m_channelBar, &CChannelBar::statusMessage, this,
            [this](const QString& text, int level) { ShowStatusMessage(text, level); });
    connect(m_channelBar, &CChannelBar::channelSelected, this, &CMainFrame::SelectChannel);
    connect(m_channelBar, &CChannelBar::channelHighlighted, this, &CMainFrame::HighlightChannel);
    connect(m_channelBar, &CChannelBar::timerTickRequested, this, [this] {
        OnTimer();
        // The tick's purpose: the bar and the views show a channel's new properties at once.
        if (CTallonAppDocument* doc = ActiveDocument()) {
            ChannelBarShowDocument(doc, true);
            doc->UpdateAllViews(0);
        }
    });
    // A hidden bar refills nothing (a file opened before the frame first shows, a bar shown again
    // by the user): it catches up with the active chart when it appears.
    connect(m_channelBar, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible) ChannelBarShowDocument(ActiveDocument(), true);
    });
    addDockWidget(Qt::BottomDockWidgetArea, m_channelBar);
    setDockNestingEnabled(true);

    CreateStatusBar();
    ShowStatusMessage(ZynVersionText(), 0);

    // The saved bar state of an earlier run; a state that does not load is ignored.
    if (CZynRegistry* reg = GetUserReg(u"Settings")) {
        if (reg->ReadDWord(u"ToolbarVer", 0) == 1) {
            const int size = reg->SizeInBytes(u"Toolbars\\ZynBar");
            if (size > 0 && size < 1 << 20) {
                QByteArray state(size, 0);
                if (reg->ReadBinary(u"Toolbars\\ZynBar", state.data(), size) == size) restoreState(state, 1);
            }
        }
        ReleaseReg(reg);
    }

    connect(m_mdi, &QMdiArea::subWindowActivated, this, &CMainFrame::OnActiveChildChanged);
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &CMainFrame::OnTimer);
    m_timer.start();
    SetMenuResource(128);
    FitToScreen();
}

// The first window takes its usual size, but never more than the screen it starts on can show
// (a small screen, or a large scale factor that makes every logical pixel several real ones).
void CMainFrame::FitToScreen() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    QSize size = kPreferredSize;
    if (s) {
        const QRect available = s->availableGeometry();
        // Room for the window manager's frame around the window.
        size = size.boundedTo(available.size() * 0.95);
        move(available.topLeft());
    }
    resize(size);
}

CMainFrame::~CMainFrame() {
    // Windows closing below must not reach a half-destroyed frame.
    disconnect(m_mdi, nullptr, this, nullptr);
    m_channelBar->SaveColumnWidths();
    if (m_app) Context().SetMainFrameGone(true);
    if (CZynRegistry* reg = GetUserReg(u"Settings")) {
        reg->Store(u"ToolbarVer", DWORD(1));
        const QByteArray state = saveState(1);
        reg->Store(u"Toolbars\\ZynBar", state.constData(), int(state.size()));
        ReleaseReg(reg);
    }
}

void CMainFrame::CreateActions() {
    auto add = [this](int id, const QString& text) {
        QAction* a = MakeCommandAction(this, m_actions, id, text);
        connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
        return a;
    };
    // Every item of every menu becomes one action; the texts are the menus' own.
    std::function<void(const std::vector<ZynMenuItem>&)> collect =
        [&](const std::vector<ZynMenuItem>& items) {
            for (const auto& item : items) {
                if (item.IsPopup())
                    collect(item.items);
                else if (item.command && !m_actions.contains(item.command))
                    add(item.command, item.text);
            }
        };
    for (int id : {129, 150, 128, 151, 152, 164, 165})
        collect(LoadZynMenu(id));
    add(ZynCmd::ZoomButton, QStringLiteral("Zoom"));
    for (int id :
         {ZynCmd::NextWindow, ZynCmd::PrevWindow, ZynCmd::EditUndo, ZynCmd::Help, ZynCmd::ContextHelp})
        if (!m_actions.contains(id)) add(id, QString());
    for (const auto& acc : ZynAccelerators()) {
        QAction* a = m_actions[acc.command];
        QList<QKeySequence> keys = a->shortcuts();
        keys << QKeySequence(QString::fromLatin1(acc.keys));
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::ApplicationShortcut);
        addAction(a);
    }
    for (int id : {ZynCmd::ViewToolbar, ZynCmd::ViewStatusBar, ZynCmd::ViewChannelBar, ZynCmd::Pause,
                   ZynCmd::AutoScroll, ZynCmd::AutoAxis})
        m_actions[id]->setCheckable(true);
    for (const CommandIcon& icon : CommandIcons())
        if (QAction* a = m_actions.value(icon.command)) a->setIcon(IconForCommand(icon.command, palette()));
}

QAction* CMainFrame::Action(int command) const {
    return m_actions.value(command);
}

QMenu* CMainFrame::BuildMenu(const std::vector<ZynMenuItem>& items, QMenu* menu) {
    for (const auto& item : items) {
        if (item.IsSeparator()) {
            menu->addSeparator();
        } else if (item.IsPopup()) {
            QMenu* sub = BuildMenu(item.items, menu->addMenu(item.text));
            // The "Stop Event" submenu lists the running events each time its menu opens.
            const bool stopEvents =
                std::any_of(item.items.begin(), item.items.end(),
                            [](const ZynMenuItem& i) { return i.command == ZynCmd::NoEvents; });
            if (stopEvents) {
                connect(menu, &QMenu::aboutToShow, this, [this, sub] { FillStopEventMenu(sub); });
                FillStopEventMenu(sub);
            }
        } else if (item.command == ZynCmd::RecentFile) {
            // The recent files take the place of their placeholder when the menu opens.
            QAction* placeholder = menu->addAction(item.text);
            placeholder->setEnabled(false);
            placeholder->setData(ZynCmd::RecentFile);
            connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillRecentFiles(menu); });
        } else {
            // One action serves every menu; the menu shown names it ("&Print Chart..." or
            // "&Print Report...").
            QAction* action = Action(item.command);
            action->setText(item.text);
            menu->addAction(action);
        }
    }
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
    return menu;
}

void CMainFrame::FillStopEventMenu(QMenu* menu) {
    if (CTallonAppDocument* doc = ActiveDocument()) {
        doc->FillStopEventMenu(menu);
        return;
    }
    menu->clear();
    menu->addAction(QStringLiteral("No Events to Stop"))->setEnabled(false);
    menu->menuAction()->setEnabled(false);
}

void CMainFrame::FillRecentFiles(QMenu* menu) {
    // Drop the entries of the last showing, keep the placeholder's position.
    QAction* anchor = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->property("recent").toBool()) {
            menu->removeAction(a);
            a->deleteLater();
        } else if (a->data().toInt() == ZynCmd::RecentFile) {
            anchor = a;
        }
    }
    if (!anchor) return;
    const QStringList files = m_app ? m_app->RecentFiles() : QStringList();
    anchor->setVisible(files.isEmpty());
    for (int i = 0; i < files.size(); ++i) {
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(files[i]), menu);
        a->setProperty("recent", true);
        const QString& path = files[i];
        connect(a, &QAction::triggered, this, [this, path] {
            if (m_app) m_app->OpenDocumentFile(path);
        });
        menu->insertAction(anchor, a);
    }
}

void CMainFrame::SetMenuResource(int id) {
    if (id == m_menuId) return;
    m_menuId = id;
    QMenuBar* bar = menuBar();
    bar->clear();
    for (const auto& item : LoadZynMenu(id)) {
        if (item.IsPopup()) BuildMenu(item.items, bar->addMenu(item.text));
    }
}

void CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar59392"));
    m_toolBar->setIconSize(QSize(20, 20));
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    for (int id : ZynToolbarButtons()) {
        if (id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* a = Action(id);
        m_toolBar->addAction(a);
        auto* button = qobject_cast<QToolButton*>(m_toolBar->widgetForAction(a));
        if (!button) continue;
        // Open, Zoom and Add Event carry drop-down menus 149, 151 and 165.
        const int dropMenu = id == ZynCmd::FileOpen     ? 149
                             : id == ZynCmd::ZoomButton ? 151
                             : id == ZynCmd::AddEvent   ? 165
                                                        : 0;
        if (dropMenu) {
            auto* menu = new QMenu(button);
            BuildMenu(LoadZynMenu(dropMenu), menu);
            button->setMenu(menu);
            button->setPopupMode(QToolButton::MenuButtonPopup);
        }
    }
}

QToolButton* CMainFrame::ToolButton(int index) const {
    const QList<QAction*> actions = m_toolBar->actions();
    if (index < 0 || index >= actions.size()) return nullptr;
    return qobject_cast<QToolButton*>(m_toolBar->widgetForAction(actions[index]));
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar59393"));
    m_statusPane = new CStatusPane(bar);
    m_statusPane->setObjectName(QStringLiteral("StatusPane"));
    m_statusPane->setMinimumWidth(m_statusPane->sizeHint().width());
    bar->addPermanentWidget(m_statusPane, 0);
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(QString::fromLatin1(indicator), bar);
        label->setEnabled(false);
        bar->addPermanentWidget(label);
    }
}

void CMainFrame::ShowStatusMessage(const QString& text, int level) {
    m_statusPane->SetMessage(text, level);
}
void CMainFrame::ShowStatusMessage(int textId, int level) {
    ShowStatusMessage(LoadZynString(textId), level);
}

CChildFrame* CMainFrame::ActiveChild() const {
    return qobject_cast<CChildFrame*>(m_mdi->activeSubWindow());
}

CTallonAppDocument* CMainFrame::ActiveDocument() const {
    CChildFrame* child = ActiveChild();
    return child ? child->Document() : nullptr;
}

void CMainFrame::AddChildFrame(CChildFrame* child) {
    m_mdi->addSubWindow(child);
    connect(child, &CChildFrame::MenuChanged, this, &CMainFrame::OnActiveChildChanged);
    const auto sizeToArea = [this, child] {
        child->resize(QSize(600, 400).boundedTo(m_mdi->viewport()->size().expandedTo(QSize(200, 150))));
    };
    sizeToArea();
    // Before the frame is first shown its MDI area has no real size yet: a file opened from the
    // command line came up 200 by 150. The window is sized again once the frame is up.
    if (!isVisible()) QTimer::singleShot(0, child, sizeToArea);
    child->show();
    m_mdi->setActiveSubWindow(child);
    OnActiveChildChanged();
}

void CMainFrame::OnActiveChildChanged() {
    CChildFrame* child = ActiveChild();
    // The MDI area reports no active window while the frame itself lacks focus: keep the last.
    if (!child && m_lastActive && m_mdi->subWindowList().contains(m_lastActive)) child = m_lastActive;
    m_lastActive = child;
    if (child) child->Document()->ActivateView(child->Folder()->View());
    SetMenuResource(child ? child->MenuId() : 128);
    ChannelBarShowDocument(child ? child->Document() : nullptr, true);
    UpdateCommands();
}

void CMainFrame::ChannelBarShowDocument(CTallonAppDocument* doc, bool force) {
    if (!m_channelBar) return;
    if (m_channelBarRefresh) force = true;
    m_channelBarRefresh = false;
    m_channelBar->ShowDocument(doc, force);
    if (m_app) Context().channelBar.shownChart = m_channelBar->ChartIdentifier();
}

void CMainFrame::ChannelBarChartChanged(IZynChart* chart) {
    if (m_channelBar) m_channelBar->ChartChanged(chart);
}

CAppContext& CMainFrame::Context() const {
    return m_app->Context();
}

QString CMainFrame::SelectedChartId() const {
    return Context().channelBar.selectedChart;
}
QString CMainFrame::SelectedChannelId() const {
    return Context().channelBar.selectedChannel;
}
QString CMainFrame::HighlightedChartId() const {
    return Context().channelBar.highlightedChart;
}
QString CMainFrame::HighlightedChannelId() const {
    return Context().channelBar.highlightedChannel;
}

void CMainFrame::SelectChannel(const QString& chartId, const QString& channelId) {
    CAppContext& context = Context();
    CChannelBarState& bar = context.channelBar;
    if (chartId == bar.selectedChart && channelId == bar.selectedChannel) return;
    bar.selectedChart = chartId;
    bar.selectedChannel = channelId;
    if (context.MainFrameGone() || !context.Settings().Get(CNumberedSettings::kBroadcastSelection)) return;
    for (CTallonAppDocument* doc : m_app->Documents())
        doc->SyncSelectedChannel();
}

void CMainFrame::HighlightChannel(const QString& chartId, const QString& channelId) {
    CAppContext& context = Context();
    CChannelBarState& bar = context.channelBar;
    const bool clear = chartId.isEmpty() || channelId.isEmpty();
    const bool changed = chartId != bar.highlightedChart || channelId != bar.highlightedChannel;
    bar.highlightedChart = clear ? QString() : chartId;
    bar.highlightedChannel = clear ? QString() : channelId;
    m_highlightTick = context.clock->TickMs();
    if (!changed || context.MainFrameGone()) return;
    for (CTallonAppDocument* doc : m_app->Documents())
        doc->UpdateAllViews(clear ? 16 : 15);
}

void CMainFrame::ConnectDocument(CTallonAppDocument* doc) {
    connect(doc, &CTallonAppDocument::StatusMessage, this,
            [this](const QString& text, int level) { ShowStatusMessage(text, level); });
    connect(doc, &CTallonAppDocument::ChartChanged, this, [this, doc] {
        ChannelBarChartChanged(doc->Chart());
        // The bar's values follow the active chart's samples (at most once per refresh period).
        if (ActiveDocument() == doc) ChannelBarShowDocument(doc, false);
    });
    connect(doc, &CTallonAppDocument::ShowInChannelBar, this, [this, doc](bool refill) {
        if (ActiveDocument() == doc) ChannelBarShowDocument(doc, refill);
    });
    connect(doc, &CTallonAppDocument::DeleteChannelRequested, this,
            [this](const QString& chartId, const QString& channelId) {
                if (chartId != m_channelBar->ChartIdentifier() || channelId != SelectedChannelId()) return;
                m_channelBar->DeleteSelected(Context().ShiftDown());
            });
}

void CMainFrame::ShowPreferences() {
    PreferencesHost host;
    host.chartWindowCount = [this] { return m_app ? int(m_app->Documents().size()) : 0; };
    host.applyDefaultsToAllWindows = [this] {
        if (!m_app) return;
        for (CTallonAppDocument* doc : m_app->Documents()) {
            CopySettings(doc->Settings(), Context().DefaultChartSettings());
            doc->ApplySettings(true);
        }
    };
    host.status = [this](const QString& text, int level) { ShowStatusMessage(text, level); };
    RunPreferences(Context(), host, this);
}

void CMainFrame::ShowAbout() {
    const QString version = ZynVersionText();
    ShowStatusMessage(version, 0);
    CAboutBox about(CAboutBox::Mode::About, version, this);
    about.exec();
}

void CMainFrame::OnTimer() {
    if (m_channelBar) m_channelBar->CheckPressAndHold();
    // Tool bar buttons follow their update handlers as the menus do.
    UpdateCommands();
    if (!HighlightedChannelId().isEmpty() && Context().clock->TickMs() - m_highlightTick > kHighlightMs)
        HighlightChannel({}, {});
}

void CMainFrame::TileWindows() {
    m_mdi->tileSubWindows();
}
void CMainFrame::CascadeWindows() {
    m_mdi->cascadeSubWindows();
}

void CMainFrame::RunStartupTasks() {
    CNumberedSettings& settings = Context().Settings();
    int starts = int(settings.Get(CNumberedSettings::kStartupCounter));
    const auto tip = ChooseStartupTip(int(settings.Get(CNumberedSettings::kAddChannelUses)), starts,
                                      int(settings.Get(CNumberedSettings::kCounterDetail)));
    settings.Set(CNumberedSettings::kStartupCounter, std::uint32_t(starts));
    if (!tip || !m_toolBar->isVisible()) return;
    // Inviting the user to add channels to a chart that has them (a file given on the command
    // line) only confuses.
    if (tip->textId == kAddChannelTip) {
        CTallonAppDocument* doc = ActiveDocument();
        LONG channels = 0;
        if (doc && doc->Chart() && SUCCEEDED(doc->Chart()->get_ChannelCount(&channels)) && channels > 0)
            return;
    }
    QToolButton* button = ToolButton(tip->button);
    if (!button) return;
    const QStringList parts = LoadZynString(tip->textId).split(u'~');
    if (m_tip) m_tip->close();
    m_tip = new CTipBalloon(parts.value(0), parts.value(1), this);
    const QPoint anchor = button->mapToGlobal(QPoint(button->width() / 2, button->height() - 4));
    m_tip->ShowAt(anchor, tip->showMs);
}

void CMainFrame::SaveAsScript(bool activeChartOnly) {
    if (!m_app) return;
    QString chartId;
    if (activeChartOnly) {
        CTallonAppDocument* doc = ActiveDocument();
        if (!doc || !doc->Chart()) return;
        CComBSTR id;
        doc->Chart()->get_Identifier(&id);
        chartId = FromBstr(id);
    }
    QString status;
    if (GenerateScript(this, m_app->Documents(), chartId, &status)) ShowStatusMessage(status);
}

bool CMainFrame::HandleDocumentCommand(int command) {
    CTallonAppDocument* doc = ActiveDocument();
    return doc && doc->OnCommand(command);
}

void CMainFrame::OnCommand(int command) {
    // The user is acting: a start-up tip has had its moment and must not sit over a dialog.
    if (m_tip) m_tip->close();
    switch (command) {
    case ZynCmd::FileNew:
        if (m_app) m_app->OnFileNew();
        return;
    case ZynCmd::FileOpen:
        if (m_app) m_app->OnFileOpen();
        return;
    case ZynCmd::ImportPrometheus:
        if (m_app) m_app->OnImportPrometheus();
        return;
    case ZynCmd::FileClose:
        if (CChildFrame* child = ActiveChild(); child && m_app && m_app->SaveModified(child->Document()))
            m_app->CloseDocument(child->Document());
        return;
    case ZynCmd::FileSave:
    case ZynCmd::FileSaveAs:
        if (m_app) m_app->SaveDocument(ActiveDocument(), command == ZynCmd::FileSaveAs);
        return;
    case ZynCmd::SaveAsScript:
    case ZynCmd::SaveAllAsScript:
        SaveAsScript(command == ZynCmd::SaveAsScript);
        return;
    case ZynCmd::AppExit:
        close();
        return;
    case ZynCmd::ViewToolbar:
        m_toolBar->setVisible(!m_toolBar->isVisible());
        return;
    case ZynCmd::ViewStatusBar:
        statusBar()->setVisible(!statusBar()->isVisible());
        return;
    case ZynCmd::ViewChannelBar:
        m_channelBar->setVisible(!m_channelBar->isVisible());
        if (m_channelBar->isVisible()) ChannelBarShowDocument(ActiveDocument(), true);
        return;
    case ZynCmd::Cascade:
        CascadeWindows();
        return;
    case ZynCmd::Tile:
        TileWindows();
        return;
    case ZynCmd::ArrangeIcons:
        m_mdi->tileSubWindows();
        return;
    case ZynCmd::NextWindow:
        m_mdi->activateNextSubWindow();
        return;
    case ZynCmd::PrevWindow:
        m_mdi->activatePreviousSubWindow();
        return;
    case ZynCmd::NewWindow:
        if (CTallonAppDocument* doc = ActiveDocument()) AddChildFrame(new CChildFrame(doc));
        return;
    case ZynCmd::About:
        ShowAbout();
        return;
    case ZynCmd::Preferences:
        ShowPreferences();
        return;
    case ZynCmd::PrintSetup:
        if (m_app) RunPrintSetup(Context(), this);
        return;
    case ZynCmd::HelpTopics:
        ShowHelp(kHelpWindowBase + 128);
        return;
    case ZynCmd::Help:
        ShowHelp(ActiveHelpContext());
        return;
    case ZynCmd::ContextHelp:
        EnterContextHelpMode();
        return;
    case ZynCmd::DeleteChannel:
        // The document's command when a chart is active; its request comes back through
        // DeleteChannelRequested.
        if (HandleDocumentCommand(command)) return;
        if (!SelectedChartId().isEmpty() && !SelectedChannelId().isEmpty())
            m_channelBar->DeleteSelected(Context().ShiftDown());
        return;
    default:
        HandleDocumentCommand(command);
        return;
    }
}

void CMainFrame::UpdateCommands() {
    CTallonAppDocument* doc = ActiveDocument();
    if (doc) doc->UpdateCommandStates();
    for (auto [id, action] : m_actions.asKeyValueRange()) {
        switch (id) {
        case ZynCmd::FileNew:
        case ZynCmd::FileOpen:
        case ZynCmd::ImportPrometheus:
        case ZynCmd::AppExit:
        case ZynCmd::About:
        case ZynCmd::HelpTopics:
        case ZynCmd::Help:
        case ZynCmd::ContextHelp:
        case ZynCmd::Preferences:
        case ZynCmd::PrintSetup:
        case ZynCmd::ViewToolbar:
        case ZynCmd::ViewStatusBar:
        case ZynCmd::ViewChannelBar:
        case ZynCmd::SaveAllAsScript:
            action->setEnabled(true);
            break;
        case ZynCmd::SaveAsScript:
        case ZynCmd::FileClose:
        case ZynCmd::FileSave:
        case ZynCmd::FileSaveAs:
        case ZynCmd::Cascade:
        case ZynCmd::Tile:
        case ZynCmd::ArrangeIcons:
        case ZynCmd::NewWindow:
        case ZynCmd::NextWindow:
        case ZynCmd::PrevWindow:
            action->setEnabled(doc != nullptr);
            break;
        case ZynCmd::DeleteChannel:
            if (doc && doc->OnUpdateCommand(id, action)) break;
            action->setEnabled(doc && !SelectedChannelId().isEmpty());
            break;
        default:
            // The document decides for its own commands; what nobody handles yet stays disabled.
            if (!doc || !doc->OnUpdateCommand(id, action)) action->setEnabled(false);
            break;
        }
    }
    m_actions[ZynCmd::ViewToolbar]->setChecked(m_toolBar->isVisible());
    m_actions[ZynCmd::ViewStatusBar]->setChecked(statusBar()->isVisible());
    m_actions[ZynCmd::ViewChannelBar]->setChecked(m_channelBar->isVisible());
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void CMainFrame::dragMoveEvent(QDragMoveEvent* event) {
    if (m_app && !DroppedChartFiles(event->mimeData()).isEmpty() &&
        (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedChartFiles(event->mimeData());
    if (!m_app || files.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Opened after the drop has ended: a message box about a file must not hold the file manager.
    QMetaObject::invokeMethod(
        this,
        [this, files] {
            for (const QString& file : files)
                if (m_app) m_app->OpenDocumentFile(file);
        },
        Qt::QueuedConnection);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_app) {
        for (CTallonAppDocument* doc : std::vector<CTallonAppDocument*>(m_app->Documents())) {
            if (!m_app->SaveModified(doc)) {
                event->ignore();
                return;
            }
        }
        // Clients still hold objects of the program: its windows close and it goes on serving
        // them out of sight, ending with the last.
        if (m_app->HandOverToAutomation()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

bool CMainFrame::ShowHelp(std::uint32_t context) {
    QString page = HelpPageForContext(context);
    if (page.isEmpty()) page = HelpIndexPage(); // a request nobody wrote a page for gets the contents
    if (!m_help) m_help = new CHelpWindow(this);
    if (m_help->ShowPage(page)) return true;
    ZynMessageBox(
        QStringLiteral("The help pages are not installed (%1 is missing).").arg(HelpFolder() + u'/' + page),
        QMessageBox::Ok, QMessageBox::Warning);
    return false;
}

std::uint32_t CMainFrame::ActiveHelpContext() const {
    const CChildFrame* child = ActiveChild();
    return kHelpWindowBase + std::uint32_t(child ? child->MenuId() : 128);
}

void CMainFrame::EnterContextHelpMode() {
    if (m_contextHelp) return;
    m_contextHelp = true;
    QApplication::setOverrideCursor(Qt::WhatsThisCursor);
    qApp->installEventFilter(this);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (!m_contextHelp) return QMainWindow::eventFilter(watched, event);
    const auto leave = [this] {
        m_contextHelp = false;
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    };
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        leave();
        return true;
    }
    if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType()) return false;
    // The command under the click (a menu item or a tool-bar button), else the window it is in.
    auto* widget = static_cast<QWidget*>(watched);
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    QAction* action = nullptr;
    if (auto* menu = qobject_cast<QMenu*>(widget)) {
        action = menu->actionAt(at);
        menu->close();
    } else if (auto* button = qobject_cast<QToolButton*>(widget)) {
        action = button->defaultAction();
    }
    std::uint32_t context = ActiveHelpContext();
    if (action && action->data().toInt() > 0) {
        context = kHelpCommandBase + std::uint32_t(action->data().toInt());
    } else {
        for (QWidget* w = widget; w; w = w->parentWidget())
            if (auto* child = qobject_cast<CChildFrame*>(w)) {
                context = kHelpWindowBase + std::uint32_t(child->MenuId());
                break;
            }
    }
    leave();
    ShowHelp(context);
    return true;
}
