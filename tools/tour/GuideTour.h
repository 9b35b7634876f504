#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;

namespace corvalis {
class MainWindow;
namespace records {
class TdlgSurveyDataForm;
}
} // namespace corvalis

namespace corvalis::tour {

class TourServices;

// What the day's work starts from: the data files that came from the units below (the first imports
// cleanly, the second holds codes already in the database, the third is the first one corrected).
struct TourFiles {
    QString cleanImport;
    QString conflictingImport;
    QString correctedImport; // empty: the import preview is left out
};

// A clerk's working day, walked through in the program window the way a person does it (clicks on
// buttons, keys, the pickers), with a picture of every step saved as NN-name.png. Controls are found by
// their object names and commands by their names, so the pictures follow changes of the windows.
class GuideTour {
public:
    GuideTour(MainWindow& window, TourServices& services, TourFiles files, const QDir& pictures);

    // Walks the whole day; false when a step could not be done or a picture not saved.
    bool run();
    const QStringList& failures() const { return m_failures; }

private:
    using ModalHandler = std::function<void(QWidget* modal)>;

    void startOfDay();
    void addRecord();
    void fillRecord(records::TdlgSurveyDataForm& form);
    void fillCover(records::TdlgSurveyDataForm& form);
    void pickDivision(records::TdlgSurveyDataForm& form);
    void chooseFromCodeList(records::TdlgSurveyDataForm& form, const QString& box, qint64 code,
                            const QString& picture = QString());
    void correctFromErrorList(records::TdlgSurveyDataForm& form);
    void checkAllRecords();
    void reviewCheckResults();
    void fixFromResults(QWidget* results, qint64 code, const QString& field, qint64 right,
                        const QString& picture);
    void exportReport();
    void importFromBelow();
    void showConflictReport();
    void previewCorrectedReturn();
    void undoFromHistory(QWidget* preview);
    void makeSummary();
    void printRecord();
    void showCompleteness();

    // Runs an action that opens modal windows one after another; each handler gets the next one once
    // it is drawn and must close it. False (and a failure noted) when a window did not come.
    bool throughModals(const QString& what, const std::function<void()>& action,
                       std::vector<ModalHandler> handlers, int timeoutMs = 20000);
    void shoot(const QString& name, const QList<QWidget*>& windows);
    void fail(const QString& text);

    // A modal window nobody waits for would stop the tour: it is pictured, noted and closed.
    void closeStrayModal();

    MainWindow& m_window;
    TourServices& m_services;
    TourFiles m_files;
    QDir m_pictures;
    QStringList m_failures;
    QList<QPointer<QWidget>> m_claimed;
    int m_strays = 0;
    QPointer<QWidget> m_stray;
    QElapsedTimer m_straySeen;
    // The answers of the stored record the new one copies, by lower-case column name.
    QHash<QString, qint64> m_source;
};

// Waits for the window to draw what changed.
void settle(int ms = 150);

// Clicks a widget found by object name below a parent; false when there is none.
bool clickChild(QWidget* parent, const QString& name);

} // namespace corvalis::tour
