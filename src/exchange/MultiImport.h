#pragma once

#include "app/ProgramFolder.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace corvalis {
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::exchange {

// The files chosen for a multi-file import, with their labels, in the order of choice.
struct ChosenFiles {
    QStringList paths;
    QStringList labels;
    QString labelText() const { return labels.join(QStringLiteral(" || ")); }
    QString pathText() const { return paths.join(QLatin1Char(';')); }
};

// The working copy of a chosen scrambled file: the file's own name in the "incoming" folder of the
// program folder, where it can never replace the default database, the template or the chosen file.
QString multiImportCopyPath(const ProgramFolder& folder, const QString& chosenPath);

// Checks the chosen files one by one (extension rule by the dialog's filter, none for filter 0;
// existence; label), making the working copies of scrambled files. Empty optional after a message when one of
// them fails.
std::optional<ChosenFiles> prepareImportFiles(const ProgramFolder& folder, const QStringList& chosen,
                                              int filterIndex, UiServices& ui);

struct MultiImportResult {
    int imported = 0;
    int failed = 0;
    bool ended = false; // stopped by an error before the last file
};

// Imports the files one after the other, each in its own transaction, and collects the conflicts of
// all of them in one report. percent reports the progress from 0 to 100.
MultiImportResult importMultipleFiles(DbSession& session, UiServices& ui, const QStringList& chosenPaths,
                                      const std::function<void(int)>& percent = {});

} // namespace corvalis::exchange
