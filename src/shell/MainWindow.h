#pragma once

#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/FieldDictionary.h"
#include "app/ProgramFolder.h"
#include "app/Settings.h"
#include "app/ui/CommandHost.h"
#include "app/ui/QtUiServices.h"
#include "app/ui/RecordList.h"

#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolButton;

namespace corvalis {

// Options of a start of the main window.
struct StartOptions {
    bool splash = true;           // show the about box as a splash
    QString settingsFile;         // empty: the user's settings
    std::shared_ptr<Clock> clock; // empty: the system clock
    UiServices* ui = nullptr;     // empty: the window's own Qt services (tests pass scripted ones)
};

// The main window (TMainForm): the command bar, menus, the record list of the open database and the
// status bar. It owns the database session, the settings and the UI services. It hosts the commands
// of the subsystems, which the composition root attaches (see CommandInstall.h); a command without a
// handler says so.
class MainWindow : public QMainWindow, public CommandHost {
public:
    MainWindow(const ProgramFolder& folder, const StartOptions& options = StartOptions());
    ~MainWindow() override;

    // The start-up sequence. False when the default database could not be opened (the user has been
    // told why); the program then ends.
    bool startUp();

    // CommandHost
    QAction* action(const QString& name) const override;
    void setHandler(const QString& name, std::function<void()> handler) override;
    void runCommand(const QString& name) override;
    DbSession& session() override { return *m_session; }
    UiServices& ui() override { return *m_ui; }
    Settings& settings() override { return *m_settings; }
    const Clock& clock() const override { return *m_clock; }
    QWidget* dialogParent() override { return this; }
    RecordList& recordList() override { return *m_list; }
    const TFieldDataArray& fieldDictionary() const override { return m_dictionary; }
    void refreshList() override;
    // LoadFieldDictionary: reads the dictionary again and rebuilds the list.
    void reloadDictionary() override;
    void updateCaption() override;
    // Also done whenever the interface is idle.
    void updateCommandStates() override;

    QLabel* statusVersion() const { return m_statusVersion; }
    QLabel* clockStatus() const { return m_clockStatus; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createActions();
    void createCommandBar();
    void createMenus();
    void createList();
    void createStatusBar();
    void installShellCommands();
    void compactDatabase();
    void showAbout(bool asSplash);
    void showOptions();
    void showFieldChoice();

    ProgramFolder m_folder;
    std::unique_ptr<QtUiServices> m_qtUi;
    UiServices* m_ui;
    std::unique_ptr<Settings> m_settings;
    std::shared_ptr<Clock> m_clock;
    std::unique_ptr<DbSession> m_session;
    bool m_splash;
    TFieldDataArray m_dictionary;
    RecordList* m_list = nullptr;
    QHash<QString, QAction*> m_actions;
    QHash<QString, std::function<void()>> m_handlers;
    QLabel* m_statusVersion = nullptr;
    QLabel* m_clockStatus = nullptr;
    QTimer* m_idle = nullptr;
};

} // namespace corvalis
