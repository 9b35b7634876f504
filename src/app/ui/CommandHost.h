#pragma once

#include "app/FieldDictionary.h"

#include <QString>
#include <functional>

class QAction;
class QWidget;

namespace corvalis {

class Clock;
class DbSession;
class RecordList;
class Settings;
class UiServices;

// What the commands of a subsystem need from the window that hosts them: a place to attach what a
// command does, the services and the open database, the record list and the parent for dialogs.
// The main window implements it; tests can host a subsystem's commands without building that window.
class CommandHost {
public:
    virtual ~CommandHost() = default;

    // What a command does when it is chosen (from the bar, a menu, the pop-up or a key).
    virtual void setHandler(const QString& name, std::function<void()> handler) = 0;
    // Runs a command's handler regardless of the command's enabled state.
    virtual void runCommand(const QString& name) = 0;
    // The action of a command; null for a name the host does not have.
    virtual QAction* action(const QString& name) const = 0;

    virtual DbSession& session() = 0;
    virtual UiServices& ui() = 0;
    virtual Settings& settings() = 0;
    virtual const Clock& clock() const = 0;
    // The parent of the dialogs the commands open; also the owner of what they keep for the run.
    virtual QWidget* dialogParent() = 0;

    virtual RecordList& recordList() = 0;
    virtual const TFieldDataArray& fieldDictionary() const = 0;
    // Re-runs the list and goes back to the current record (or its neighbour when it is gone).
    virtual void refreshList() = 0;
    // Reads the field dictionary again and rebuilds the list (after another database was opened).
    virtual void reloadDictionary() = 0;
    // Shows the label of the open database in the caption.
    virtual void updateCaption() = 0;
    // Re-evaluates which commands are enabled.
    virtual void updateCommandStates() = 0;
};

} // namespace corvalis
