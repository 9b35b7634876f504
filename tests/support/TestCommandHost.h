#pragma once

// A host for one subsystem's commands without the main window: a plain widget as the parent of the
// dialogs, scripted UI services, private settings, a fixed clock, the test folder's database and a
// record list over view_data.

#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Settings.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"
#include "support/ScriptedUiServices.h"

#include <QAction>
#include <QHash>
#include <QTemporaryDir>
#include <QWidget>

namespace corvalis::testing {

class TestCommandHost : public CommandHost {
public:
    explicit TestCommandHost(const ProgramFolder& folder)
        : m_settings(m_settingsFolder.filePath(QStringLiteral("settings.ini"))),
          m_session(folder, uiServices) {
        m_session.openDatabase();
        m_list = new RecordList(m_session, &m_window);
        m_list->setSource(QStringLiteral("view_data"));
        m_list->setDictionary(m_dictionary);
    }

    void setHandler(const QString& name, std::function<void()> handler) override {
        m_handlers.insert(name, std::move(handler));
    }
    void runCommand(const QString& name) override {
        if (const auto handler = m_handlers.value(name))
            handler();
    }
    QAction* action(const QString& name) const override {
        QAction*& made = m_actions[name];
        if (!made) {
            made = new QAction(name, const_cast<QWidget*>(&m_window));
            made->setObjectName(name);
        }
        return made;
    }
    DbSession& session() override { return m_session; }
    UiServices& ui() override { return uiServices; }
    Settings& settings() override { return m_settings; }
    const Clock& clock() const override { return m_clock; }
    QWidget* dialogParent() override { return &m_window; }
    RecordList& recordList() override { return *m_list; }
    const TFieldDataArray& fieldDictionary() const override { return m_dictionary; }
    void refreshList() override { m_list->refreshKeepingPosition(); }
    void reloadDictionary() override {}
    void updateCaption() override {}
    void updateCommandStates() override {}

    bool hasHandler(const QString& name) const { return bool(m_handlers.value(name)); }

    ScriptedUiServices uiServices;

private:
    QTemporaryDir m_settingsFolder;
    Settings m_settings;
    FixedClock m_clock{QDateTime(QDate(2021, 3, 5), QTime(9, 30))};
    DbSession m_session;
    // After the session, so the list and whatever the commands keep go before the database closes.
    QWidget m_window;
    TFieldDataArray m_dictionary;
    RecordList* m_list = nullptr;
    QHash<QString, std::function<void()>> m_handlers;
    mutable QHash<QString, QAction*> m_actions;
};

} // namespace corvalis::testing
