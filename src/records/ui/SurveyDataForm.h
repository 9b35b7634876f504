#pragma once

#include "EntryFormServices.h"
#include "app/FieldDictionary.h"
#include "records/CodeTables.h"
#include "records/EntryRecord.h"
#include "records/FieldRules.h"
#include "records/RecordValidation.h"
#include "records/SurveyColumns.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <functional>
#include <optional>
#include <vector>

class QAction;
class QKeyEvent;
class QLabel;
class QTabWidget;
class QTextBrowser;
class QToolBar;
class QToolButton;

namespace corvalis {
class CodeNameBox;
class DbSession;
class RecordList;
class Settings;
class UiServices;
} // namespace corvalis

namespace corvalis::records {

class NumericEdit;
class TKvValidEdit;

// The moves of the form's navigation bar through the list's records.
enum class RecordStep { First, Previous, Next, Last };

// The survey entry form (TdlgSurveyDataForm, "基层工会数据"): one survey record on eight pages, the
// cover and the eight tables, with one box per dt_data column named like the column. It adds new
// records or edits stored ones, validates the cover page, applies the field rules while the user
// types, saves temporarily or formally and hands the pages to the logic check and printing services.
// One instance serves the whole run.
class TdlgSurveyDataForm : public QDialog {
    Q_OBJECT
public:
    TdlgSurveyDataForm(DbSession& session, Settings& settings, UiServices& ui, EntryFormServices services,
                       const TFieldDataArray& dictionary, QWidget* parent = nullptr);
    ~TdlgSurveyDataForm() override;

    // Sets the mode and the list whose current row the form shows, loads the code lists and the
    // record (what opening does before the form shows).
    void prepare(EntryMode mode, RecordList* list);
    // Prepares and shows the form without waiting.
    void open(EntryMode mode, RecordList* list);
    // Opens the form modally and returns when it closes.
    int openModal(EntryMode mode, RecordList* list);

    EntryMode mode() const { return m_mode; }
    bool isLoaded() const { return m_loaded; }
    UnionCode currentCode() const { return m_currentCode; }
    // The code of the record last written in this opening of the add mode; none when nothing was added.
    std::optional<UnionCode> lastAddedCode() const { return m_lastAdded; }
    bool hasUnsavedChanges() const { return m_unsaved; }

    // The data boxes by column name (ignoring case); null for other names.
    QWidget* control(const QString& field) const;
    NumericEdit* numericBox(const QString& field) const;
    // The integer value of a numeric box; empty for text boxes and unknown names.
    std::optional<qint64> valueOf(const QString& field) const;
    // Shows a page (through the page-change handling) and puts the focus into a box of it.
    void focusField(int page, const QString& field);

    // The actions of the form, as its buttons and keys run them.
    bool validateRecord();
    bool temporarySave();
    bool formalSave(bool checkFirst = true);
    void checkLogic();
    void print();
    // The print preview of the stored record shown.
    void printPreview();
    void returnWithoutSaving();
    // The closing steps: asks about unsaved changes and saves on Yes; false when the form must stay.
    bool mayLeaveRecord();
    // Moves to the first, previous, next or last record of the list.
    void moveTo(RecordStep step);
    // Changes the page through the page-change handling; false when the change was refused.
    bool changePage(int page);
    // The whole-record logic check: page 1 clearing the error list, then pages 2 to 7.
    void runWholeRecordCheck();

    // Exit rules of the boxes: userForm shows messages and acts only once the record is loaded.
    bool runExitRule(const QString& field, bool userForm = true);

    void reject() override;

Q_SIGNALS:
    // A record was written: its code before (none for a record added) and its code now.
    void recordWritten(const QVariant& previousCode, corvalis::UnionCode code);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The pages are the cover (0) and the survey tables up to LastPage.
    static constexpr int LastPage = PageCount - 1;
    // Boxes are kept by their column name in lower case.
    static QString boxKey(const QString& field) { return field.toLower(); }

    // The form opens only with a mode and a list; QDialog's bare open() stays out of reach.
    using QDialog::open;

    // The layout (EntryFormLayout.cpp).
    void buildLayout();
    void buildCover(QWidget* page);
    void buildSurveyPage(int page, QWidget* content);
    void buildToolbar();
    NumericEdit* addNumeric(const QString& name, int page);
    TKvValidEdit* addText(const QString& name, int page, int maxBytes);
    CodeNameBox* addNameBox(const QString& name);

    void connectPickers();
    void pickDivision();
    void pickCategory();
    // The name box whose drop-down picks the code of a cover box; null for boxes without a picker.
    CodeNameBox* pickerBoxOf(QWidget* box) const;
    // After a picker the focus goes back to its code box, whose exit rule then sees the choice.
    void returnFromPicker(CodeNameBox* picker);
    void guarded(const std::function<void()>& action);

    void loadCodeLists();
    void loadRecord();
    void loadStoredValues();
    void prepareBlankRecord();
    void applyDictionaryLimits(bool clearValues);
    void finishLoading();
    void updatePosition();
    void updateNavigation();

    std::optional<qint64> writeRecord(SaveMode mode);
    // Puts values into their boxes; reads every box.
    void showValues(const BoxValues& values);
    BoxValues boxValues() const;
    CoverValues coverValues() const;
    bool errorListEmpty() const;
    void clearErrorList();
    void hideErrorList();
    void runPageCheck(int page, bool clearFirst);
    void rememberEntryDefaults();
    // The code the record shown is stored under (none for a new record not yet written).
    QVariant storedCode() const;
    // Takes the write into the list without re-reading every key.
    void updateListAfterWrite(const QVariant& previousCode);

    void markModified();
    void setPrintable(bool printable);
    void setSaveButtons(bool hold, bool save);
    void organisationTypeRule();
    void filingStateRule(qint64 code);
    void unitCategoryRule(qint64 category);
    void applySwitches(const FieldSwitches& switches);
    void reloadHoldList(HoldList list);
    bool exitRuleOfCode(const QString& field, bool userForm);
    bool exitRuleOfDomain(bool userForm);
    bool exitRuleOfText(const QString& field, bool userForm);
    void failExit(const QString& field, const QString& message, bool userForm, bool refocus = true);

    bool pageChangeAllowed(int from, int to);
    void showNotes(int page);

    // Keyboard navigation (EntryFormNavigation.cpp).
    QWidget* neighbourOnPage(QWidget* from, bool forward) const;
    QWidget* edgeOfPage(int page, bool first) const;
    void focusEdge(int page, bool first);
    void focusQuietly(QWidget* box);
    bool handleMoveKey(QWidget* box, int key);
    // The key part of the event filter: true when the key moved the focus (or saved).
    bool handleKeyPress(QWidget* box, const QKeyEvent* event);

    DbSession& m_session;
    Settings& m_settings;
    UiServices& m_ui;
    const EntryFormServices m_services;
    const EntryRecord m_record;

    QTabWidget* m_pages = nullptr;
    QTextBrowser* m_notes = nullptr;
    QToolButton* m_hold = nullptr;
    QToolButton* m_save = nullptr;
    QToolButton* m_add = nullptr;
    QToolButton* m_check = nullptr;
    QToolButton* m_print = nullptr;
    QToolButton* m_preview = nullptr;
    QToolButton* m_return = nullptr;
    QToolBar* m_navBar = nullptr;
    QLabel* m_itemNo = nullptr;
    QAction* m_first = nullptr;
    QAction* m_prev = nullptr;
    QAction* m_next = nullptr;
    QAction* m_last = nullptr;

    QHash<QString, QWidget*> m_controls; // by lower-case column name
    QHash<QString, NumericEdit*> m_numeric;
    QHash<QString, TKvValidEdit*> m_texts;
    std::vector<std::vector<QWidget*>> m_pageOrder; // data boxes of each page in focus order
    QHash<QWidget*, int> m_pageOf;
    CodeNameBox* m_cityName = nullptr;
    CodeNameBox* m_levelName = nullptr;
    CodeNameBox* m_industryName = nullptr;
    CodeNameBox* m_economicName = nullptr;
    CodeNameBox* m_typeName = nullptr;
    CodeNameBox* m_holdSituation = nullptr;
    CodeNameBox* m_stateName = nullptr;

    EntryMode m_mode = EntryMode::Add;
    QPointer<RecordList> m_list;
    std::optional<qint64> m_rowId; // the row being edited; none before the first write of a new record
    bool m_loaded = false;
    bool m_appended = false;
    bool m_unsaved = false;
    bool m_inExitRule = false;
    bool m_refocusing = false;
    bool m_changingPage = false;
    bool m_rulesQuiet = false; // loading values: the change rules wait for the loader
    UnionCode m_currentCode = 0;
    std::optional<UnionCode> m_lastAdded;
    bool m_resetOn140 = false;
    bool m_resetOn159 = false;
    TMenuItemDataArray m_levels;
    TMenuItemDataArray m_industries;
    TMenuItemDataArray m_economics;
    TMenuItemDataArray m_holdings;
    TMenuItemDataArray m_states;
    QString m_notesFolder;
};

namespace FormText {
inline const QString Caption = QStringLiteral("基层工会数据");
inline const QString HeldMessage = QStringLiteral("数据已经被临时保存。");
inline const QString SavedCleanMessage = QStringLiteral("数据保存成功，没有逻辑错误！");
inline const QString SavedWithErrorsMessage = QStringLiteral("数据保存成功，有逻辑错误！");
inline const QString NoLogicErrors = QStringLiteral("没有逻辑错误");
inline const QString UnsavedQuestion = QStringLiteral("对数据改动后尚未保存，准备保存这些改动吗？");
inline const QString UnsavedCaption = QStringLiteral("提示信息");
inline const QString SaveErrorPrefix = QStringLiteral("保存过程中遇到错误：");
inline const QString SaveErrorSuffix = QStringLiteral("数据没有被保存。");
} // namespace FormText

} // namespace corvalis::records
