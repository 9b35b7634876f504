#include "MainWindow.h"

#include "AboutDialog.h"
#include "BuildInfo.h"
#include "CommandBar.h"
#include "CommandTable.h"
#include "FieldChoiceDialog.h"
#include "OptionsDialog.h"
#include "app/Errors.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace corvalis {

namespace {
// Theme icons where the desktop has them; a standard icon of the style otherwise.
QIcon commandIcon(const QString& theme, QStyle* style) {
    static const QHash<QString, QStyle::StandardPixmap> fallbacks = {
        {QStringLiteral("document-new"), QStyle::SP_FileIcon},
        {QStringLiteral("document-edit"), QStyle::SP_FileDialogDetailedView},
        {QStringLiteral("edit-delete"), QStyle::SP_TrashIcon},
        {QStringLiteral("tools-check-spelling"), QStyle::SP_DialogApplyButton},
        {QStringLiteral("edit-find"), QStyle::SP_FileDialogContentsView},
        {QStringLiteral("x-office-spreadsheet"), QStyle::SP_FileDialogListView},
        {QStringLiteral("view-list-tree"), QStyle::SP_DirIcon},
        {QStringLiteral("document-export"), QStyle::SP_ArrowRight},
        {QStringLiteral("document-import"), QStyle::SP_ArrowLeft},
        {QStringLiteral("document-print"), QStyle::SP_DialogSaveButton},
        {QStringLiteral("document-save-as"), QStyle::SP_DriveFDIcon},
        {QStringLiteral("document-send"), QStyle::SP_ArrowUp},
        {QStringLiteral("network-server"), QStyle::SP_DriveNetIcon},
        {QStringLiteral("package-x-generic"), QStyle::SP_DriveHDIcon},
        {QStringLiteral("preferences-system"), QStyle::SP_ComputerIcon},
        {QStringLiteral("view-list-details"), QStyle::SP_FileDialogDetailedView},
        {QStringLiteral("document-open-recent"), QStyle::SP_BrowserReload},
        {QStringLiteral("help-about"), QStyle::SP_MessageBoxInformation},
        {QStringLiteral("application-exit"), QStyle::SP_DialogCloseButton},
    };
    const QIcon icon =
        QIcon::fromTheme(theme, style->standardIcon(fallbacks.value(theme, QStyle::SP_FileIcon)));
    // Themes and the style offer different sizes; the command bar shows every icon at one size.
    const QSize size(CommandBar::IconSize, CommandBar::IconSize);
    if (icon.actualSize(size) == size)
        return icon;
    QPixmap pixmap = icon.pixmap(size);
    if (pixmap.isNull())
        return icon;
    const qreal ratio = pixmap.devicePixelRatio();
    pixmap = pixmap.scaled(size * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(ratio);
    return QIcon(pixmap);
}

std::shared_ptr<Clock> clockOr(const std::shared_ptr<Clock>& clock) {
    return clock ? clock : std::make_shared<SystemClock>();
}
} // namespace

MainWindow::MainWindow(const ProgramFolder& folder, const StartOptions& options)
    : m_folder(folder), m_qtUi(std::make_unique<QtUiServices>(this)),
      m_ui(options.ui ? options.ui : m_qtUi.get()),
      m_settings(options.settingsFile.isEmpty() ? std::make_unique<Settings>()
                                                : std::make_unique<Settings>(options.settingsFile)),
      m_clock(clockOr(options.clock)), m_session(std::make_unique<DbSession>(folder, *m_ui)),
      m_splash(options.splash) {
    setObjectName(QStringLiteral("TMainForm"));
    createActions();
    createList();
    createCommandBar();
    createMenus();
    createStatusBar();
    installShellCommands();
    // The enabling rules are re-evaluated whenever the interface is idle.
    m_idle = new QTimer(this);
    m_idle->setInterval(150);
    connect(m_idle, &QTimer::timeout, this, &MainWindow::updateCommandStates);
}

MainWindow::~MainWindow() = default;

void MainWindow::createActions() {
    for (const CommandInfo& command : commandTable()) {
        const QString name = QString::fromLatin1(command.name);
        auto* action = new QAction(commandIcon(QString::fromLatin1(command.icon), style()),
                                   QString::fromUtf8(command.caption), this);
        action->setObjectName(name);
        // The fixed command configuration: hidden commands stay unreachable for the whole run.
        action->setVisible(!command.hidden);
        connect(action, &QAction::triggered, this, [this, name] { runCommand(name); });
        m_actions.insert(name, action);
    }
}

void MainWindow::createList() {
    m_list = new RecordList(*m_session, this);
    m_list->setObjectName(QStringLiteral("RecordGrid"));
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QAbstractItemView::doubleClicked, this,
            [this] { runCommand(QStringLiteral("actModify")); });
    connect(m_list, &RecordList::enterReleased, this, [this] { runCommand(QStringLiteral("actModify")); });
    connect(m_list, &RecordList::insertReleased, this, [this] { runCommand(QStringLiteral("actAddNew")); });
    connect(m_list, &RecordList::deleteReleased, this, [this] { runCommand(QStringLiteral("actDelete")); });
}

void MainWindow::createCommandBar() {
    auto* bar = new CommandBar(this);
    for (const CommandGroup& group : commandGroups()) {
        bar->addGroup(QString::fromLatin1(group.name), QString::fromUtf8(group.caption), group.open);
        for (const char* item : group.items) {
            const CommandInfo* info = findCommand(QString::fromLatin1(item));
            QToolButton* button =
                bar->addItem(action(QString::fromLatin1(item)),
                             QString::fromUtf8(info->groupCaption ? info->groupCaption : info->caption));
            button->setVisible(!info->hidden);
        }
    }
    auto* splitter = new QSplitter(this);
    splitter->addWidget(bar);
    splitter->addWidget(m_list);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({190, 1000});
    setCentralWidget(splitter);
}

void MainWindow::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    for (const MenuInfo& info : menuTable()) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(info.caption));
        for (const char* item : info.items) {
            if (item)
                menu->addAction(action(QString::fromLatin1(item)));
            else
                menu->addSeparator();
        }
        menu->menuAction()->setVisible(!info.hidden);
    }
    // A menu bar shows an action's icon instead of its text: the top-level commands get items of
    // their own that show the caption.
    for (const char* item : topLevelItems()) {
        QAction* command = action(QString::fromLatin1(item));
        QAction* entry = bar->addAction(command->text());
        entry->setObjectName(QStringLiteral("menu_") + command->objectName());
        entry->setToolTip(command->text());
        connect(entry, &QAction::triggered, command, &QAction::trigger);
        connect(command, &QAction::changed, entry, [command, entry] {
            entry->setEnabled(command->isEnabled());
            entry->setVisible(command->isVisible());
        });
    }

    auto* popup = new QMenu(this);
    popup->setObjectName(QStringLiteral("GridPopupMenu"));
    for (const char* item : popupItems()) {
        if (item)
            popup->addAction(action(QString::fromLatin1(item)));
        else
            popup->addSeparator();
    }
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this, popup](const QPoint& at) { popup->popup(m_list->viewport()->mapToGlobal(at)); });

    // Ctrl+L and Ctrl+F anywhere in the window, while the list has rows.
    auto* locate = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(locate, &QShortcut::activated, this, [this] {
        if (action(QStringLiteral("actLocate"))->isEnabled())
            runCommand(QStringLiteral("actLocate"));
    });
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    connect(find, &QShortcut::activated, this, [this] {
        if (action(QStringLiteral("actLocate"))->isEnabled())
            runCommand(QStringLiteral("actConditionSearch"));
    });
}

void MainWindow::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("RzStatusBar1"));
    m_statusVersion = new QLabel(this);
    m_statusVersion->setObjectName(QStringLiteral("StatusVersion"));
    m_clockStatus = new QLabel(this);
    m_clockStatus->setObjectName(QStringLiteral("RzClockStatus1"));
    bar->addWidget(m_statusVersion, 1);
    bar->addPermanentWidget(m_clockStatus);
    auto* tick = new QTimer(this);
    tick->setInterval(60 * 1000);
    const auto showDate = [this] {
        m_clockStatus->setText(m_clock->today().toString(QStringLiteral("yyyy年MM月dd日")));
    };
    connect(tick, &QTimer::timeout, this, showDate);
    showDate();
    tick->start();
}

bool MainWindow::startUp() {
    m_settings->initSettings(m_folder.path());
    if (m_session->openDatabase() != OpenOutcome::Opened)
        return false;
    updateCaption();
    m_settings->setInteger(Setting::ShowGrid, 1);
    m_list->setVisible(m_settings->integer(Setting::ShowGrid) == 1);
    try {
        reloadDictionary();
    } catch (const Error& error) {
        showRunError(*m_ui, error.text());
    }
    m_statusVersion->setText(statusVersionText(BuildNumber));
    if (m_splash)
        showAbout(true);
    updateCommandStates();
    m_idle->start();
    return true;
}

QAction* MainWindow::action(const QString& name) const {
    return m_actions.value(name);
}

void MainWindow::setHandler(const QString& name, std::function<void()> handler) {
    m_handlers.insert(name, std::move(handler));
}

void MainWindow::runCommand(const QString& name) {
    const auto handler = m_handlers.value(name);
    if (!handler) {
        m_ui->showMessage(QStringLiteral("“%1”尚未提供。").arg(action(name) ? action(name)->text() : name));
        return;
    }
    // Errors that a command does not handle itself are shown; the window carries on.
    try {
        handler();
    } catch (const Error& error) {
        showRunError(*m_ui, error.text());
    } catch (const std::exception& error) {
        showRunError(*m_ui, QString::fromUtf8(error.what()));
    }
    updateCommandStates();
}

void MainWindow::refreshList() {
    m_list->refreshKeepingPosition();
}

void MainWindow::reloadDictionary() {
    const TFieldDataArray dictionary = loadFieldDictionary(m_session->connection());
    if (!dictionary.empty())
        m_dictionary = dictionary;
    m_list->setSource(QStringLiteral("view_data"));
    m_list->setDictionary(m_dictionary);
}

void MainWindow::updateCaption() {
    setWindowTitle(mainWindowCaption(m_session->label()));
}

void MainWindow::updateCommandStates() {
    const bool hasRows = !m_list->isEmpty();
    const bool listShown = !m_list->isHidden();
    for (const CommandInfo& command : commandTable()) {
        QAction* item = action(QString::fromLatin1(command.name));
        switch (command.enabling) {
        case Enabling::ListNotEmpty:
            item->setEnabled(hasRows);
            break;
        case Enabling::ListVisible:
            item->setEnabled(listShown);
            break;
        case Enabling::Always:
            break;
        }
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_idle->stop();
    event->accept();
}

void MainWindow::installShellCommands() {
    setHandler(QStringLiteral("actExit"), [this] { close(); });
    setHandler(QStringLiteral("actAbout"), [this] { showAbout(false); });
    setHandler(QStringLiteral("actOptions"), [this] { showOptions(); });
    setHandler(QStringLiteral("actRecordGrid"), [this] { showFieldChoice(); });
    setHandler(QStringLiteral("actCompress"), [this] { compactDatabase(); });
}

void MainWindow::compactDatabase() {
    m_session->compact();
    // The list reads again from the reopened database; its columns stay as they are.
    m_list->refreshKeepingPosition();
}

void MainWindow::showAbout(bool asSplash) {
    AboutDialog about(BuildNumber, asSplash, this);
    // The gesture runs inside the about box's event filter, which no exception may leave.
    about.setMaintenanceAction([this] {
        try {
            m_session->connection().execute(QStringLiteral("update dt_data set RecordState=1"));
            refreshList();
        } catch (const Error& error) {
            showRunError(*m_ui, error.text());
        }
    });
    about.exec();
}

void MainWindow::showOptions() {
    OptionsDialog dialog(*m_settings, this);
    dialog.exec();
}

void MainWindow::showFieldChoice() {
    FieldChoiceDialog dialog(
        *m_session, *m_ui, [this] { reloadDictionary(); }, this);
    dialog.exec();
}

} // namespace corvalis
