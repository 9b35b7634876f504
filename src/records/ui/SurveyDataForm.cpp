#include "SurveyDataForm.h"

#include "CityNameForm.h"
#include "KvValidEdit.h"
#include "NumericEdit.h"
#include "UnionTypeForm.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/ui/CodePopup.h"
#include "app/ui/RecordList.h"
#include "records/EntryRecord.h"
#include "records/PageNotes.h"
#include "records/RecordStore.h"
#include "records/SurveyColumns.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <memory>

namespace corvalis::records {

TdlgSurveyDataForm::TdlgSurveyDataForm(DbSession& session, Settings& settings, UiServices& ui,
                                       EntryFormServices services, const TFieldDataArray& dictionary,
                                       QWidget* parent)
    : QDialog(parent), m_session(session), m_settings(settings), m_ui(ui), m_services(std::move(services)),
      m_record(dictionary), m_pageOrder(PageCount) {
    setObjectName(QStringLiteral("TdlgSurveyDataForm"));
    setWindowTitle(FormText::Caption);
    m_notesFolder = session.programFolder().notesFolder();

    buildLayout();
    // A change of page that did not come through changePage (keys of the tab widget) is checked too.
    connect(m_pages, &QTabWidget::currentChanged, this, [this](int page) {
        if (m_changingPage)
            return;
        const int from = m_pages->property("shownPage").toInt();
        m_changingPage = true;
        m_pages->setCurrentIndex(from);
        m_changingPage = false;
        guarded([this, page] { changePage(page); });
    });

    for (const char* sequence : {"Ctrl+S", "Ctrl+Shift+S"}) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(sequence)), this);
        connect(shortcut, &QShortcut::activated, this, [this] { guarded([this] { temporarySave(); }); });
    }
    connectPickers();
    // The organisation type rule follows every change of c904, also while a record loads.
    connect(numericBox(QStringLiteral("c904")), &NumericEdit::valueChanged, this, [this] {
        if (!m_rulesQuiet)
            organisationTypeRule();
    });
    m_print->setVisible(true);
    m_preview->setVisible(true);
    resize(980, 700);
}

TdlgSurveyDataForm::~TdlgSurveyDataForm() {
    // The children outlive this part of the form; nothing they do while going may reach it.
    const QList<QObject*> children = findChildren<QObject*>();
    for (QObject* child : children) {
        child->removeEventFilter(this);
        QObject::disconnect(child, nullptr, this, nullptr);
    }
}

// ---- pickers -------------------------------------------------------------------------------------

void TdlgSurveyDataForm::connectPickers() {
    auto popup = [this](CodeNameBox* box, const TMenuItemDataArray* list, std::function<void(qint64)> then) {
        connect(box, &CodeNameBox::dropDownRequested, this, [this, box, list, then] {
            guarded([this, box, list, then] {
                showCodePopup(box, *list, [this, box, then](qint64 code) {
                    then(code);
                    returnFromPicker(box);
                });
            });
        });
    };
    popup(m_levelName, &m_levels,
          [this](qint64 code) { m_numeric.value(QStringLiteral("c904"))->setValue(code); });
    popup(m_industryName, &m_industries,
          [this](qint64 code) { m_numeric.value(QStringLiteral("c905"))->setValue(code); });
    popup(m_economicName, &m_economics, [this](qint64 code) { unitCategoryRule(code); });
    popup(m_stateName, &m_states, [this](qint64 code) { filingStateRule(code); });
    popup(m_holdSituation, &m_holdings,
          [this](qint64 code) { m_numeric.value(QStringLiteral("c909"))->setValue(code); });

    connect(m_cityName, &CodeNameBox::dropDownRequested, this, [this] {
        guarded([this] { pickDivision(); });
        returnFromPicker(m_cityName);
    });
    connect(m_typeName, &CodeNameBox::dropDownRequested, this, [this] {
        guarded([this] { pickCategory(); });
        returnFromPicker(m_typeName);
    });
}

CodeNameBox* TdlgSurveyDataForm::pickerBoxOf(QWidget* box) const {
    if (!box)
        return nullptr;
    const QString field = boxKey(box->objectName());
    const std::pair<const char*, CodeNameBox*> pickers[] = {
        {"c903", m_cityName}, {"c904", m_levelName},     {"c905", m_industryName}, {"c906", m_economicName},
        {"c907", m_typeName}, {"c909", m_holdSituation}, {"c912", m_stateName},
    };
    for (const auto& [name, picker] : pickers)
        if (field == QLatin1String(name))
            return picker;
    return nullptr;
}

void TdlgSurveyDataForm::returnFromPicker(CodeNameBox* picker) {
    for (const char* field : {"c903", "c904", "c905", "c906", "c907", "c909", "c912"}) {
        QWidget* box = control(QString::fromLatin1(field));
        if (box && pickerBoxOf(box) == picker && box->isEnabled() && isVisible()) {
            focusQuietly(box);
            return;
        }
    }
}

void TdlgSurveyDataForm::pickDivision() {
    TCityNameForm picker(m_session.connection(), this);
    if (m_cityName->code() > 0)
        picker.setSelectedId(m_cityName->code());
    if (picker.exec() != QDialog::Accepted)
        return;
    m_numeric.value(QStringLiteral("c903"))->setValue(picker.selectedId());
    m_cityName->showName(picker.selectedId(), picker.selectedName());
}

void TdlgSurveyDataForm::pickCategory() {
    TUnionTypeForm picker(m_session.connection(), this);
    if (m_typeName->code() >= 100)
        picker.setSelectedCode(domainOfSlot(m_typeName->code()));
    if (picker.exec() != QDialog::Accepted)
        return;
    const QString code = picker.selectedCode();
    if (code.size() == 3) {
        m_texts.value(QStringLiteral("c907"))->setText(code);
        m_typeName->showName(domainSlot(code), picker.selectedName());
    } else {
        m_texts.value(QStringLiteral("c907"))->clear();
        m_typeName->clearCode();
    }
}

void TdlgSurveyDataForm::guarded(const std::function<void()>& action) {
    // Errors of the engine end the action, are shown, and the form carries on.
    try {
        action();
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
    } catch (const std::exception& error) {
        showRunError(m_ui, QString::fromUtf8(error.what()));
    }
}

// ---- opening and loading -------------------------------------------------------------------------

void TdlgSurveyDataForm::prepare(EntryMode mode, RecordList* list) {
    m_mode = mode;
    m_list = list;
    if (m_services.logicList.attach)
        m_services.logicList.attach(this);
    m_lastAdded.reset();
    loadCodeLists();
    loadRecord();
    const bool adding = mode == EntryMode::Add;
    setPrintable(!adding);
    m_itemNo->setVisible(!adding);
    m_navBar->setVisible(!adding && m_list && m_list->recordCount() > 1);
}

void TdlgSurveyDataForm::open(EntryMode mode, RecordList* list) {
    prepare(mode, list);
    show();
    raise();
    activateWindow();
}

int TdlgSurveyDataForm::openModal(EntryMode mode, RecordList* list) {
    prepare(mode, list);
    return exec();
}

void TdlgSurveyDataForm::loadCodeLists() {
    engine::Connection& connection = m_session.connection();
    m_levels = loadCodeList(connection, CodeTable::Level);
    m_industries = loadCodeList(connection, CodeTable::Industry);
    m_economics = loadCodeList(connection, CodeTable::Economic);
    m_holdings = loadCodeList(connection, CodeTable::Hold);
    m_states = loadCodeList(connection, CodeTable::FilingState);
}

void TdlgSurveyDataForm::loadRecord() {
    m_loaded = false;
    // The findings of the record shown before do not belong to the one that comes.
    clearErrorList();
    // The boxes fill without repainting one by one; painting resumes however loading ends.
    setUpdatesEnabled(false);
    const std::unique_ptr<QWidget, void (*)(QWidget*)> repaint(
        this, [](QWidget* form) { form->setUpdatesEnabled(true); });
    if (m_mode == EntryMode::Modify)
        loadStoredValues();
    else
        prepareBlankRecord();
    // The exit rule of c904 in its quiet form.
    runExitRule(QStringLiteral("c904"), false);
    finishLoading();
}

// Applies the field dictionary's limits to the boxes it names, as loading a record does.
void TdlgSurveyDataForm::applyDictionaryLimits(bool clearValues) {
    for (const BoxLimits& limits : m_record.boxLimits()) {
        if (limits.box == BoxKind::Text) {
            if (clearValues && limits.blankWhenNew)
                m_texts.value(boxKey(limits.field))->clear();
            continue;
        }
        NumericEdit* box = numericBox(limits.field);
        if (limits.kind != LimitKind::Own) {
            box->setMaximum(limits.maximum);
            box->setMaxDigits(limits.maxDigits);
            box->setMinimum(limits.minimum);
        }
        if (clearValues && limits.blankWhenNew)
            box->setValue(0);
    }
}

void TdlgSurveyDataForm::loadStoredValues() {
    const std::optional<double> code = m_list ? m_list->currentCode() : std::nullopt;
    const std::optional<StoredRecord> record =
        code ? readRecord(m_session.connection(), *code) : std::optional<StoredRecord>();
    if (!record)
        throw EngineError(QStringLiteral("没有找到要修改的记录。"));
    m_rowId = record->rowId;
    m_currentCode = EntryRecord::storedCode(*record);
    applyDictionaryLimits(false);

    // Values go in with the change rules held back; the organisation type rule runs once the cover
    // is in place and before the survey values, so every stored value stays as it was stored.
    m_rulesQuiet = true;
    showValues(m_record.loadedValues(*record, RecordPart::Cover));
    numericBox(QStringLiteral("c901"))->setValue(m_currentCode);
    m_rulesQuiet = false;
    organisationTypeRule();
    m_rulesQuiet = true;
    showValues(m_record.loadedValues(*record, RecordPart::Survey));
    m_rulesQuiet = false;

    const ResetFlags flags = resetFlagsForLoadedCategory(numericBox(QStringLiteral("c906"))->value());
    m_resetOn140 = flags.on140;
    m_resetOn159 = flags.on159;
    for (const char* field : {"c903", "c905", "c906", "c907", "c909", "c912"})
        runExitRule(QString::fromLatin1(field), false);
}

void TdlgSurveyDataForm::prepareBlankRecord() {
    m_appended = false;
    m_rowId.reset();
    m_currentCode = 0;
    m_rulesQuiet = true;
    applyDictionaryLimits(true);
    numericBox(QStringLiteral("c901"))->setValue(qint64(nextFreeCode(m_session.connection())));
    const qint64 lastCity = m_settings.integer(Setting::AppLastCity);
    numericBox(QStringLiteral("c903"))->setValue(lastCity);
    m_cityName->showName(lastCity, divisionName(m_session.connection(), lastCity, m_ui));
    numericBox(QStringLiteral("c904"))->setValue(1);
    m_levelName->showName(1, codeName(m_levels, 1));
    for (const char* field : {"c905", "c906", "c912"})
        numericBox(QString::fromLatin1(field))->setValue(0);
    numericBox(QStringLiteral("c909"))->setBlank();
    m_texts.value(QStringLiteral("c907"))->clear();
    for (CodeNameBox* box : {m_industryName, m_economicName, m_typeName, m_holdSituation, m_stateName})
        box->clearCode();
    numericBox(QStringLiteral("c909"))->setEnabled(true);
    m_holdSituation->setEnabled(true);
    m_texts.value(QStringLiteral("c910"))->setText(m_settings.text(Setting::FillerName));
    m_texts.value(QStringLiteral("c911"))->setText(m_settings.text(Setting::Telephone));
    m_rulesQuiet = false;
    organisationTypeRule();
}

void TdlgSurveyDataForm::finishLoading() {
    setSaveButtons(false, false);
    m_unsaved = false;
    m_changingPage = true;
    m_pages->setCurrentIndex(0);
    m_pages->setProperty("shownPage", 0);
    m_changingPage = false;
    showNotes(0);
    focusQuietly(m_numeric.value(QStringLiteral("c901")));
    updatePosition();
    // Buttons of a tool bar are shown and hidden through their place in the bar.
    findChild<QAction*>(QStringLiteral("tbAddShown"))->setVisible(m_mode == EntryMode::Add);
    findChild<QAction*>(QStringLiteral("tbSaveShown"))->setVisible(m_mode == EntryMode::Modify);
    m_loaded = true;
}

void TdlgSurveyDataForm::updatePosition() {
    const int count = m_list ? m_list->recordCount() : 0;
    if (count <= 1) {
        m_itemNo->setText(QStringLiteral("第1条/共1条"));
        m_navBar->setVisible(false);
    } else {
        m_itemNo->setText(QStringLiteral("第%1条/共%2条").arg(m_list->currentRow() + 1).arg(count));
        m_navBar->setVisible(m_mode == EntryMode::Modify);
    }
    updateNavigation();
}

void TdlgSurveyDataForm::updateNavigation() {
    const int count = m_list ? m_list->recordCount() : 0;
    const int row = m_list ? m_list->currentRow() : 0;
    m_first->setEnabled(row > 0);
    m_prev->setEnabled(row > 0);
    m_next->setEnabled(row < count - 1);
    m_last->setEnabled(row < count - 1);
}

// ---- values --------------------------------------------------------------------------------------

QWidget* TdlgSurveyDataForm::control(const QString& field) const {
    return m_controls.value(boxKey(field));
}

NumericEdit* TdlgSurveyDataForm::numericBox(const QString& field) const {
    return m_numeric.value(boxKey(field));
}

std::optional<qint64> TdlgSurveyDataForm::valueOf(const QString& field) const {
    if (const NumericEdit* box = numericBox(field))
        return box->value();
    return std::nullopt;
}

void TdlgSurveyDataForm::showValues(const BoxValues& values) {
    for (const BoxValue& value : values) {
        if (value.box == BoxKind::Text)
            m_texts.value(boxKey(value.field))->setText(value.text);
        else
            numericBox(value.field)->setValue(value.number);
    }
}

BoxValues TdlgSurveyDataForm::boxValues() const {
    BoxValues values;
    for (auto box = m_numeric.cbegin(); box != m_numeric.cend(); ++box)
        values.push_back({box.key(), BoxKind::Number, box.value()->value(), QString()});
    for (auto box = m_texts.cbegin(); box != m_texts.cend(); ++box)
        values.push_back({box.key(), BoxKind::Text, 0, box.value()->text()});
    return values;
}

CoverValues TdlgSurveyDataForm::coverValues() const {
    auto number = [this](const char* field) { return numericBox(QString::fromLatin1(field))->value(); };
    auto text = [this](const char* field) { return m_texts.value(QString::fromLatin1(field))->text(); };
    CoverValues values;
    values.c901Text = numericBox(QStringLiteral("c901"))->digits();
    values.c902 = text("c902");
    values.c903 = number("c903");
    values.c904 = number("c904");
    values.c905 = number("c905");
    values.c906 = number("c906");
    values.c912 = number("c912");
    values.holdName = m_holdSituation->text();
    values.c910 = text("c910");
    values.c911 = text("c911");
    values.c907 = text("c907");
    return values;
}

// ---- validation and saving -----------------------------------------------------------------------

bool TdlgSurveyDataForm::validateRecord() {
    // A box still being typed into holds its value within its bounds before anything reads it.
    if (auto* typing = qobject_cast<NumericEdit*>(focusWidget()))
        typing->settle();
    engine::Connection& connection = m_session.connection();
    ValidationLookups lookups;
    lookups.levels = &m_levels;
    lookups.industries = &m_industries;
    lookups.economics = &m_economics;
    lookups.states = &m_states;
    lookups.divisionName = [this, &connection](qint64 code) { return divisionName(connection, code, m_ui); };
    lookups.unionDomainName = [this, &connection](const QString& code) {
        return unionDomainName(connection, code, m_ui);
    };
    lookups.recordsWithCode = [&connection](double code) { return countRecordsWithCode(connection, code); };
    const std::optional<ValidationFailure> failure =
        records::validateRecord(coverValues(), m_mode, m_currentCode, lookups);
    if (!failure)
        return true;
    m_ui.showMessage(failure->message);
    if (failure->duplicateCode) {
        setSaveButtons(false, false);
        changePage(0);
    }
    if (QWidget* box = control(failure->focusField))
        focusQuietly(box);
    return false;
}

std::optional<qint64> TdlgSurveyDataForm::writeRecord(SaveMode mode) {
    BoxValues boxes = boxValues();
    showValues(m_record.settleAnswers(boxes));
    const ColumnValues values =
        m_record.columnsToWrite(boxes, mode, machineStamp(), !m_typeName->text().isEmpty());
    const bool appending = m_mode == EntryMode::Add && !m_appended;
    try {
        const qint64 row =
            records::writeRecord(m_session.connection(), values, appending ? std::nullopt : m_rowId);
        m_rowId = row;
        m_currentCode = numericBox(QStringLiteral("c901"))->value();
        return row;
    } catch (const Error& error) {
        m_ui.showMessage(FormText::SaveErrorPrefix + error.text() + FormText::SaveErrorSuffix, QString(),
                         MessageIcon::Critical);
        return std::nullopt;
    }
}

void TdlgSurveyDataForm::updateListAfterWrite(const QVariant& previousCode) {
    if (m_mode == EntryMode::Add)
        m_lastAdded = m_currentCode;
    Q_EMIT recordWritten(previousCode, m_currentCode);
    if (!m_list)
        return;
    // Modifying follows the record to its (possibly new) code; adding keeps the list where it was.
    const QVariant follow = m_mode == EntryMode::Modify ? QVariant(m_currentCode) : QVariant();
    m_list->recordWritten(previousCode, m_currentCode, follow);
}

QVariant TdlgSurveyDataForm::storedCode() const {
    const bool stored = m_mode == EntryMode::Modify || m_appended;
    return stored ? QVariant(m_currentCode) : QVariant();
}

bool TdlgSurveyDataForm::temporarySave() {
    if (!validateRecord())
        return false;
    const QVariant previousCode = storedCode();
    if (!writeRecord(SaveMode::Held))
        return false;
    updateListAfterWrite(previousCode);
    m_appended = true;
    m_unsaved = false;
    m_hold->setEnabled(false);
    setPrintable(true);
    m_ui.showMessage(FormText::HeldMessage);
    return true;
}

bool TdlgSurveyDataForm::formalSave(bool checkFirst) {
    if (!validateRecord())
        return false;
    const bool filing = isFiling(numericBox(QStringLiteral("c912"))->value());
    if (checkFirst && filing)
        runWholeRecordCheck();
    const bool errors = filing && !errorListEmpty();
    const QVariant previousCode = storedCode();
    if (!writeRecord(errors ? SaveMode::WithErrors : SaveMode::Clean))
        return false;
    updateListAfterWrite(previousCode);
    setSaveButtons(false, false);
    m_unsaved = false;
    m_appended = false;
    setPrintable(true);
    m_ui.showMessage(errors ? FormText::SavedWithErrorsMessage : FormText::SavedCleanMessage);
    rememberEntryDefaults();
    if (m_mode == EntryMode::Add)
        loadRecord();
    return true;
}

void TdlgSurveyDataForm::rememberEntryDefaults() {
    m_settings.setInteger(Setting::AppLastCity, numericBox(QStringLiteral("c903"))->value());
    m_settings.setText(Setting::FillerName, m_texts.value(QStringLiteral("c910"))->text());
    m_settings.setText(Setting::Telephone, m_texts.value(QStringLiteral("c911"))->text());
}

void TdlgSurveyDataForm::checkLogic() {
    if (!validateRecord())
        return;
    runWholeRecordCheck();
    if (errorListEmpty()) {
        m_ui.showMessage(FormText::NoLogicErrors);
        hideErrorList();
        return;
    }
    if (m_services.logicList.show)
        m_services.logicList.show();
    focusEdge(m_pages->currentIndex(), true);
}

void TdlgSurveyDataForm::runWholeRecordCheck() {
    for (int page = 1; page <= LastPage; ++page)
        runPageCheck(page, page == 1);
}

void TdlgSurveyDataForm::runPageCheck(int page, bool clearFirst) {
    if (!m_services.pageCheck)
        return;
    PageCheckRequest request{this, page, [this](const QString& field) { return valueOf(field); },
                             [this](int target, const QString& field) { focusField(target, field); }};
    request.clearFirst = clearFirst;
    m_services.pageCheck(request);
}

bool TdlgSurveyDataForm::errorListEmpty() const {
    return !m_services.logicList.isEmpty || m_services.logicList.isEmpty();
}

void TdlgSurveyDataForm::clearErrorList() {
    if (m_services.logicList.clear)
        m_services.logicList.clear();
}

void TdlgSurveyDataForm::hideErrorList() {
    if (m_services.logicList.hide)
        m_services.logicList.hide();
}

void TdlgSurveyDataForm::print() {
    if (m_services.print)
        m_services.print(this, m_currentCode);
}

void TdlgSurveyDataForm::printPreview() {
    if (m_services.printPreview)
        m_services.printPreview(this, m_currentCode);
}

// Printing and its preview show the stored record, so both wait while the form holds unsaved changes.
void TdlgSurveyDataForm::setPrintable(bool printable) {
    m_print->setEnabled(printable);
    m_preview->setEnabled(printable);
}

void TdlgSurveyDataForm::returnWithoutSaving() {
    m_unsaved = false;
    setSaveButtons(m_hold->isEnabled(), false);
    hideErrorList();
    QDialog::reject();
}

bool TdlgSurveyDataForm::mayLeaveRecord() {
    if (m_unsaved &&
        m_ui.askYesNo(FormText::UnsavedQuestion, FormText::UnsavedCaption, MessageIcon::Question)) {
        if (!validateRecord())
            return false;
        if (isFiling(numericBox(QStringLiteral("c912"))->value()))
            runWholeRecordCheck();
        hideErrorList();
        const bool saved = errorListEmpty() ? formalSave(false) : temporarySave();
        return saved;
    }
    hideErrorList();
    m_unsaved = false;
    return true;
}

void TdlgSurveyDataForm::reject() {
    if (mayLeaveRecord())
        QDialog::reject();
}

static int rowAfterStep(RecordStep step, int row, int last) {
    switch (step) {
    case RecordStep::First:
        return 0;
    case RecordStep::Previous:
        return std::max(0, row - 1);
    case RecordStep::Next:
        return std::min(last, row + 1);
    case RecordStep::Last:
        break;
    }
    return last;
}

void TdlgSurveyDataForm::moveTo(RecordStep step) {
    if (!m_list || m_list->recordCount() == 0 || !mayLeaveRecord())
        return;
    const int row = m_list->currentRow();
    const int target = rowAfterStep(step, row, m_list->recordCount() - 1);
    m_list->setCurrentRow(target);
    try {
        loadRecord();
    } catch (const Error&) {
        // The record is gone from the database: back to the one shown before, still editable.
        m_list->setCurrentRow(row);
        loadRecord();
        throw;
    }
    setPrintable(true);
}

// ---- modified state ------------------------------------------------------------------------------

void TdlgSurveyDataForm::setSaveButtons(bool hold, bool save) {
    m_hold->setEnabled(hold);
    m_save->setEnabled(save);
    m_add->setEnabled(save);
}

void TdlgSurveyDataForm::markModified() {
    if (!m_loaded)
        return;
    m_unsaved = true;
    setSaveButtons(isFiling(numericBox(QStringLiteral("c912"))->value()), true);
    setPrintable(false);
}

// ---- field rules ---------------------------------------------------------------------------------

void TdlgSurveyDataForm::applySwitches(const FieldSwitches& switches) {
    for (const FieldSwitch& change : switches) {
        NumericEdit* box = numericBox(change.field);
        if (!box)
            continue;
        box->setEnabled(change.enabled);
        if (!change.enabled)
            box->setValue(0);
    }
}

void TdlgSurveyDataForm::organisationTypeRule() {
    auto value = [this](const char* field) { return numericBox(QString::fromLatin1(field))->value(); };
    const OrganisationTypeEffect effect = organisationTypeEffect(value("c904"), value("c906"), value("c912"));
    if (effect.setsZ001)
        numericBox(QStringLiteral("z001"))->setValue(effect.z001);
    applySwitches(effect.switches);
}

void TdlgSurveyDataForm::filingStateRule(qint64 code) {
    numericBox(QStringLiteral("c912"))->setValue(code);
    const bool filing = isFiling(code);
    m_check->setEnabled(filing);
    if (!filing) {
        m_hold->setEnabled(false);
        clearErrorList();
    } else if (m_unsaved) {
        m_hold->setEnabled(true);
    }
    FieldSwitches all;
    for (const SurveyColumn& column : surveyColumns())
        all.push_back({QString::fromLatin1(column.name), filing});
    applySwitches(all);
    if (filing)
        unitCategoryRule(numericBox(QStringLiteral("c906"))->value());
}

void TdlgSurveyDataForm::reloadHoldList(HoldList list) {
    if (list == HoldList::Standard)
        m_holdings = loadCodeList(m_session.connection(), CodeTable::Hold);
    else if (list == HoldList::WithoutState)
        m_holdings = loadCodeList(m_session.connection(), CodeTable::HoldWithoutState);
}

void TdlgSurveyDataForm::unitCategoryRule(qint64 category) {
    numericBox(QStringLiteral("c906"))->setValue(category);
    if (isFiling(numericBox(QStringLiteral("c912"))->value()))
        applySwitches(unitCategorySwitches(category, numericBox(QStringLiteral("c904"))->value()));

    const HoldDecision decision = holdDecision(category, m_resetOn140, m_resetOn159);
    reloadHoldList(decision.list);
    NumericEdit* hold = numericBox(QStringLiteral("c909"));
    if (decision.value == HoldValue::Set)
        hold->setValue(decision.fixedValue);
    else if (decision.value == HoldValue::KeepWhenNamed && codeName(m_holdings, hold->value()).isEmpty())
        hold->setValue(0);
    hold->setEnabled(decision.enabled);
    m_holdSituation->setEnabled(decision.enabled);
    m_holdSituation->showName(hold->value(), codeName(m_holdings, hold->value()));
    m_resetOn140 = decision.resetOn140;
    m_resetOn159 = decision.resetOn159;
}

// ---- exit rules ----------------------------------------------------------------------------------

void TdlgSurveyDataForm::failExit(const QString& field, const QString& message, bool userForm, bool refocus) {
    if (userForm)
        m_ui.showMessage(message);
    if (!refocus || !userForm)
        return;
    if (QWidget* box = control(field))
        QTimer::singleShot(0, box, [this, box] { focusQuietly(box); });
}

bool TdlgSurveyDataForm::runExitRule(const QString& field, bool userForm) {
    const QString name = boxKey(field);
    if (name == QLatin1String("c901")) {
        const QString message = codeExitMessage(numericBox(name)->digits());
        if (message.isEmpty())
            return true;
        failExit(name, message, userForm);
        return false;
    }
    if (userForm && !m_loaded)
        return true;
    if (name == QLatin1String("c907"))
        return exitRuleOfDomain(userForm);
    if (m_texts.contains(name))
        return userForm ? exitRuleOfText(name, userForm) : true;
    return exitRuleOfCode(name, userForm);
}

bool TdlgSurveyDataForm::exitRuleOfCode(const QString& name, bool userForm) {
    NumericEdit* box = numericBox(name);
    if (!box)
        return true;
    const qint64 code = box->value();
    struct ListRule {
        const char* field;
        const TMenuItemDataArray* list;
        CodeNameBox* nameBox;
        const QString* message;
    };
    const ListRule listRules[] = {
        {"c904", &m_levels, m_levelName, &RuleText::LevelInvalid},
        {"c905", &m_industries, m_industryName, &RuleText::IndustryInvalid},
        {"c906", &m_economics, m_economicName, &RuleText::EconomicInvalid},
        {"c912", &m_states, m_stateName, &RuleText::StateInvalid},
    };
    if (name == QLatin1String("c903")) {
        const QString division = divisionName(m_session.connection(), code, m_ui);
        if (division.isEmpty()) {
            failExit(name, RuleText::DivisionInvalid, userForm);
            return false;
        }
        m_cityName->showName(code, division);
        return true;
    }
    if (name == QLatin1String("c909")) {
        if (!holdingSituationValid(numericBox(QStringLiteral("c906"))->value(), code)) {
            failExit(name, RuleText::HoldInvalid, userForm);
            return false;
        }
        m_holdSituation->showName(code, codeName(m_holdings, code));
        return true;
    }
    for (const ListRule& rule : listRules) {
        if (name != QLatin1String(rule.field))
            continue;
        const QString codeText = codeName(*rule.list, code);
        if (codeText.isEmpty()) {
            failExit(name, *rule.message, userForm);
            return false;
        }
        rule.nameBox->showName(code, codeText);
        if (name == QLatin1String("c906"))
            unitCategoryRule(code);
        else if (name == QLatin1String("c912"))
            filingStateRule(code);
        return true;
    }
    return true;
}

bool TdlgSurveyDataForm::exitRuleOfDomain(bool userForm) {
    TKvValidEdit* box = m_texts.value(QStringLiteral("c907"));
    const QString text = box->text();
    switch (domainFormat(text)) {
    case DomainFormat::Empty:
        m_typeName->clearCode();
        return true;
    case DomainFormat::WrongLength:
        m_ui.showMessage(RuleText::DomainLength);
        return false;
    case DomainFormat::NotDigits:
        m_ui.showMessage(RuleText::DomainDigits);
        return false;
    case DomainFormat::Valid:
        break;
    }
    const QString name = unionDomainName(m_session.connection(), text, m_ui);
    if (name.isEmpty()) {
        failExit(QStringLiteral("c907"), RuleText::DomainInvalid, userForm);
        return false;
    }
    m_typeName->showName(domainSlot(text), name);
    return true;
}

bool TdlgSurveyDataForm::exitRuleOfText(const QString& name, bool userForm) {
    TKvValidEdit* box = m_texts.value(name);
    if (!box)
        return true;
    if (box->maxBytes() > 0 && gbkLength(box->text()) > box->maxBytes())
        box->setText(truncateToGbkBytes(box->text(), box->maxBytes()));
    QString message;
    if (name == QLatin1String("c902"))
        message = unionNameExitMessage(box->text());
    else if (name == QLatin1String("c910"))
        message = fillerExitMessage(box->text());
    else if (name == QLatin1String("c911"))
        message = telephoneExitMessage(box->text());
    if (message.isEmpty())
        return true;
    failExit(name, message, userForm);
    return false;
}

// ---- pages, notes and keys -----------------------------------------------------------------------

bool TdlgSurveyDataForm::pageChangeAllowed(int from, int to) {
    if (!m_loaded || !isFiling(numericBox(QStringLiteral("c912"))->value()))
        return true;
    clearErrorList();
    const bool navigating = m_services.logicList.navigating && m_services.logicList.navigating();
    if (from == 0 && !validateRecord())
        return false;
    if (from == 0 && !navigating)
        return true;
    auto check = [this](int page, bool clearFirst) {
        if (page >= 1 && page <= LastPage)
            runPageCheck(page, clearFirst);
    };
    check(to, true);
    if (from > 0)
        check(from, false);
    return true;
}

bool TdlgSurveyDataForm::changePage(int page) {
    const int from = m_pages->currentIndex();
    if (page < 0 || page >= PageCount)
        return false;
    if (page == from)
        return true;
    if (m_changingPage || !pageChangeAllowed(from, page))
        return false;
    m_changingPage = true;
    m_pages->setCurrentIndex(page);
    m_pages->setProperty("shownPage", page);
    m_changingPage = false;
    showNotes(page);
    focusEdge(page, true);
    return true;
}

void TdlgSurveyDataForm::focusField(int page, const QString& field) {
    if (m_pages->currentIndex() == page || changePage(page)) {
        if (QWidget* box = control(field))
            focusQuietly(box);
    }
    // Called from the error list's window: the keys go to the form again. Asked of the window itself,
    // as activateWindow() counts a form whose tool window is active as active already.
    if (QWindow* handle = windowHandle())
        handle->requestActivate();
}

void TdlgSurveyDataForm::showNotes(int page) {
    m_notes->clear();
    const QString file =
        m_notesFolder + QStringLiteral("/TableNotesVQ-%1.rtf").arg(page, 2, 10, QLatin1Char('0'));
    m_notes->setHtml(readPageNotes(file));
}

bool TdlgSurveyDataForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pages->tabBar()) {
        // A click on a tab goes through the page-change handling before the page changes.
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const int tab = m_pages->tabBar()->tabAt(mouse->position().toPoint());
            if (mouse->button() == Qt::LeftButton && tab >= 0)
                guarded([this, tab] { changePage(tab); });
            return true;
        }
        if (event->type() == QEvent::Wheel)
            return true;
        return false;
    }
    if (event->type() == QEvent::FocusIn) {
        // A click on a code's name or its drop-down button leaves the focus in the code's box, so
        // that the box's exit rule neither runs nor stands between the box and its picker.
        if (auto* picker = qobject_cast<CodeNameBox*>(watched)) {
            returnFromPicker(picker);
            return false;
        }
    }
    auto* box = qobject_cast<QWidget*>(watched);
    if (!box || !m_pageOf.contains(box))
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        if (handleKeyPress(box, static_cast<QKeyEvent*>(event)))
            return true;
    } else if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Focus taken by a message box, a menu or another window is not the user leaving the box.
        // Nor is a click on the box's own picker beside it: the choice made there is checked on leaving.
        const bool toOwnPicker = pickerBoxOf(box) && QApplication::focusWidget() == pickerBoxOf(box);
        const bool leaving = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                             reason != Qt::MenuBarFocusReason && !toOwnPicker;
        if (leaving && isVisible() && !m_inExitRule && !m_refocusing) {
            m_inExitRule = true;
            if (auto* numeric = qobject_cast<NumericEdit*>(box))
                numeric->settle();
            const QString field = boxKey(box->objectName());
            if (m_pageOf.value(box) == 0)
                guarded([this, &field] { runExitRule(field, true); });
            m_inExitRule = false;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace corvalis::records
