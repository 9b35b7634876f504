#pragma once

#include "QtUiServices.h"
#include "RecordList.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/FieldDictionary.h"
#include "app/ProgramFolder.h"
#include "app/Settings.h"

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
// status bar. It owns the database session, the settings and the UI services. Subsystems attach what
// their commands do with setHandler (see CommandInstall.h); a command without a handler says so.
class MainWindow : public QMainWindow {
public:
    MainWindow(const ProgramFolder& folder, const StartOptions& options = StartOptions());
    ~MainWindow() override;

    // The start-up sequence. False when the default database could not be opened (the user has been
    // told why); the program then ends.
    bool startUp();

    QAction* action(const QString& name) const;
    // What a command does when it is chosen (from the bar, a menu, the pop-up or a key).
    void setHandler(const QString& name, std::function<void()> handler);
    // Runs a command's handler regardless of the command's enabled state (keys of the list do so).
    void runCommand(const QString& name);

    DbSession& session() { return *m_session; }
    UiServices& ui() { return *m_ui; }
    Settings& settings() { return *m_settings; }
    const Clock& clock() const { return *m_clock; }
    const ProgramFolder& programFolder() const { return m_folder; }
    QWidget* dialogParent() { return this; }
    const QStringList& groupTableList() const { return m_groupTables; }

    // The record list and its dictionary.
    RecordList& recordList() { return *m_list; }
    const TFieldDataArray& fieldDictionary() const { return m_dictionary; }
    bool listIsEmpty() const { return m_list->isEmpty(); }
    std::optional<UnionCode> currentCode() const { return m_list->currentCode(); }
    QList<UnionCode> selectedCodes() const { return m_list->selectedCodes(); }
    // Re-runs the list and goes back to the current record (or its neighbour when it is gone).
    void refreshList();
    // LoadFieldDictionary: reads the dictionary again and rebuilds the list.
    void reloadDictionary();
    // The caption from the current database label.
    void updateCaption();
    // Re-evaluates which commands are enabled (also done whenever the interface is idle).
    void updateCommandStates();

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
    QStringList m_groupTables;
};

} // namespace corvalis
