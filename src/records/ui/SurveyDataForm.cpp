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
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollArea>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>

namespace corvalis::records {

namespace {
constexpr int LastPage = PageCount - 1;
constexpr int CellsPerBand = 6;

// The limits the form gives a cover box; the field dictionary may widen them when loading.
struct CoverBox {
    const char* name;
    int digits;
    qint64 minimum;
    qint64 maximum;
    qint64 blankValue;
    int padding;
};
const CoverBox coverBoxes[] = {
    {"c901", 12, 1, 999999999999LL, 1, 0}, {"c903", 6, 0, 999999, 0, 6}, {"c904", 6, 0, 999999, 10, 0},
    {"c905", 6, 0, 999999, 0, 0},          {"c906", 6, 0, 999999, 0, 0}, {"c909", 6, 0, 999999, 0, 0},
    {"c912", 6, 0, 999999, 0, 0},
};

const char* const CoverNotice = "　　《中华人民共和国统计法》第七条规定：国家机关、企业事业单位和其他组织以及"
                                "个体工商户和个人等统计调查对象，"
                                "必须依照本法和国家有关规定，真实、准确、完整、及时地提供统计调查所需的资料，"
                                "不得提供不真实或者不完整的统计资料，"
                                "不得迟报、拒报统计资料。";
const char* const CoverIdentification = "表　　号：NB_VQ\n制表机关：全国总工会\n批准机关：国家统计局\n"
                                        "批准文号：国统制〔2019〕107号\n有效期至：2022年8月";

QString key(const QString& field) {
    return field.toLower();
}

// The name a column's box carries: table 4 in capitals, the category box as C907.
QString controlName(const QString& column) {
    if (column.startsWith(QLatin1Char('l')))
        return column.toUpper();
    if (column == QLatin1String("c907"))
        return QStringLiteral("C907");
    return column;
}

QLabel* cell(const QString& text, QWidget* parent, bool wrap = true) {
    auto* label = new QLabel(text, parent);
    label->setFrameShape(QFrame::Box);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(wrap);
    label->setMargin(2);
    return label;
}

// The survey columns of a page in form order, split where the printed table changes (page 7).
std::vector<std::vector<const SurveyColumn*>> tablesOfPage(int page) {
    std::vector<std::vector<const SurveyColumn*>> tables(1);
    for (const SurveyColumn& column : surveyColumns()) {
        if (column.page != page)
            continue;
        if (page == 7 && QLatin1String(column.name).startsWith(QLatin1Char('s')) && tables.size() == 1 &&
            !tables.front().empty())
            tables.emplace_back();
        tables.back().push_back(&column);
    }
    return tables;
}

QString groupHeading(const SurveyColumn& column) {
    if (column.heading)
        return QString::fromUtf8(column.heading);
    return column.partOf ? QStringLiteral("其中") : QString();
}
} // namespace

TdlgSurveyDataForm::TdlgSurveyDataForm(DbSession& session, Settings& settings, UiServices& ui,
                                       EntryFormServices services, const TFieldDataArray& dictionary,
                                       QWidget* parent)
    : QDialog(parent), m_session(session), m_settings(settings), m_ui(ui), m_services(std::move(services)),
      m_record(dictionary), m_pageOrder(PageCount) {
    setObjectName(QStringLiteral("TdlgSurveyDataForm"));
    setWindowTitle(FormText::Caption);
    m_notesFolder = session.programFolder().notesFolder();

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("DataPage"));
    m_pages->setTabPosition(QTabWidget::South);
    m_pages->tabBar()->setExpanding(false);
    m_pages->tabBar()->installEventFilter(this);
    for (int page = 0; page < PageCount; ++page) {
        auto* scroll = new QScrollArea(m_pages);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        auto* content = new QWidget(scroll);
        content->setObjectName(QStringLiteral("Page%1").arg(page));
        if (page == 0)
            buildCover(content);
        else
            buildSurveyPage(page, content);
        scroll->setWidget(content);
        m_pages->addTab(scroll, pageTabCaption(page));
        m_pages->setTabToolTip(page, pageTabHint(page));
    }
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
    m_pages->setProperty("shownPage", 0);

    m_notes = new QTextBrowser(this);
    m_notes->setObjectName(QStringLiteral("rtfNotes"));
    m_notes->setFocusPolicy(Qt::NoFocus);
    m_notes->setMaximumHeight(110);

    buildToolbar();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(findChild<QToolBar*>(QStringLiteral("ToolBar")));
    bottom->addStretch(1);
    bottom->addWidget(m_navBar);
    bottom->addWidget(m_itemNo);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages, 1);
    layout->addWidget(m_notes);
    layout->addLayout(bottom);

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
    for (const auto& boxes : m_pageOrder)
        for (size_t i = 1; i < boxes.size(); ++i)
            setTabOrder(boxes[i - 1], boxes[i]);
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

NumericEdit* TdlgSurveyDataForm::addNumeric(const QString& name, int page) {
    auto* box = new NumericEdit;
    box->setObjectName(controlName(name));
    m_controls.insert(key(name), box);
    m_numeric.insert(key(name), box);
    m_pageOrder[size_t(page)].push_back(box);
    m_pageOf.insert(box, page);
    box->installEventFilter(this);
    connect(box, &NumericEdit::valueChanged, this, &TdlgSurveyDataForm::markModified);
    return box;
}

TKvValidEdit* TdlgSurveyDataForm::addText(const QString& name, int page, int maxBytes) {
    auto* box = new TKvValidEdit;
    box->setObjectName(controlName(name));
    box->setCheckType(TKvValidEdit::tcForbid);
    box->setForbidChars(TKvValidEdit::quoteCharacters());
    box->setMaxBytes(maxBytes);
    m_controls.insert(key(name), box);
    m_texts.insert(key(name), box);
    m_pageOrder[size_t(page)].push_back(box);
    m_pageOf.insert(box, page);
    box->installEventFilter(this);
    connect(box, &QLineEdit::textChanged, this, &TdlgSurveyDataForm::markModified);
    return box;
}

CodeNameBox* TdlgSurveyDataForm::addNameBox(const QString& name) {
    auto* box = new CodeNameBox;
    box->setObjectName(name);
    box->setFocusPolicy(Qt::NoFocus);
    connect(box, &QLineEdit::textChanged, this, &TdlgSurveyDataForm::markModified);
    return box;
}

void TdlgSurveyDataForm::buildCover(QWidget* page) {
    auto* notice = new QLabel(QString::fromUtf8(CoverNotice), page);
    notice->setWordWrap(true);
    auto* identification = new QLabel(QString::fromUtf8(CoverIdentification), page);
    auto* head = new QHBoxLayout;
    head->addWidget(notice, 3);
    head->addSpacing(24);
    head->addWidget(identification, 1, Qt::AlignTop);
    auto* title = new QLabel(QStringLiteral("2020年度  基层工会调查表"), page);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(2, 1);
    int row = 0;
    for (const CoverColumn& column : coverColumns()) {
        const QString name = QString::fromLatin1(column.name);
        grid->addWidget(new QLabel(QString::fromUtf8(column.label), page), row, 0, Qt::AlignRight);
        QWidget* box = nullptr;
        if (column.kind == ColumnKind::Text) {
            box = addText(name, 0, name == QLatin1String("c902") || name == QLatin1String("c907") ? 60 : 50);
        } else {
            NumericEdit* numeric = addNumeric(name, 0);
            for (const CoverBox& limits : coverBoxes)
                if (name == QLatin1String(limits.name)) {
                    numeric->setMaxDigits(limits.digits);
                    numeric->setMinimum(limits.minimum);
                    numeric->setMaximum(limits.maximum);
                    numeric->setBlankValue(limits.blankValue);
                    numeric->setZeroPadding(limits.padding);
                }
            numeric->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            box = numeric;
        }
        const bool wide =
            name == QLatin1String("c902") || name == QLatin1String("c910") || name == QLatin1String("c911");
        box->setMinimumWidth(wide ? 320 : 120);
        grid->addWidget(box, row, 1, 1, wide ? 2 : 1);
        ++row;
    }
    auto* city = addNameBox(QStringLiteral("CityNameCtrl"));
    auto* level = addNameBox(QStringLiteral("LevelName"));
    auto* industry = addNameBox(QStringLiteral("IndustryName"));
    auto* economic = addNameBox(QStringLiteral("EconomicName"));
    auto* type = addNameBox(QStringLiteral("TypeName"));
    auto* hold = addNameBox(QStringLiteral("HoldSituation"));
    auto* state = addNameBox(QStringLiteral("StateName"));
    m_cityName = city;
    m_levelName = level;
    m_industryName = industry;
    m_economicName = economic;
    m_typeName = type;
    m_holdSituation = hold;
    m_stateName = state;
    const std::pair<int, CodeNameBox*> nameRows[] = {{2, city}, {3, level}, {4, industry}, {5, economic},
                                                     {6, type}, {7, hold},  {8, state}};
    for (const auto& [line, box] : nameRows)
        grid->addWidget(box, line, 2);
    m_texts.value(QStringLiteral("c910"))->setExtraFilter(fillerKeyAccepted);
    m_texts.value(QStringLiteral("c911"))->setExtraFilter(telephoneKeyAccepted);
    m_texts.value(QStringLiteral("c911"))->setInputMethodHints(Qt::ImhDialableCharactersOnly);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(head);
    layout->addSpacing(8);
    layout->addWidget(title);
    layout->addSpacing(8);
    layout->addLayout(grid);
    layout->addStretch(1);
}

void TdlgSurveyDataForm::buildSurveyPage(int page, QWidget* content) {
    auto* layout = new QVBoxLayout(content);
    const QStringList titles = pageTableTitles(page);
    const auto tables = tablesOfPage(page);
    for (size_t table = 0; table < tables.size(); ++table) {
        auto* title = new QLabel(titles.value(int(table)), content);
        title->setWordWrap(true);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        layout->addWidget(title);
        auto* grid = new QGridLayout;
        grid->setSpacing(0);
        const auto& columns = tables[table];
        for (size_t first = 0; first < columns.size(); first += CellsPerBand) {
            const int baseRow = int(first / CellsPerBand) * 5;
            const size_t end = std::min(columns.size(), first + CellsPerBand);
            // Grouping cells above neighbouring columns with the same heading are merged.
            for (size_t i = first; i < end;) {
                const QString heading = groupHeading(*columns[i]);
                size_t span = 1;
                while (i + span < end && !heading.isEmpty() && groupHeading(*columns[i + span]) == heading)
                    ++span;
                grid->addWidget(cell(heading, content), baseRow, int(i - first), 1, int(span));
                i += span;
            }
            for (size_t i = first; i < end; ++i) {
                const SurveyColumn& column = *columns[i];
                const QString name = QString::fromLatin1(column.name);
                const int at = int(i - first);
                QLabel* question = cell(QString::fromUtf8(column.question), content);
                question->setMinimumHeight(72);
                grid->addWidget(question, baseRow + 1, at);
                grid->addWidget(cell(name, content, false), baseRow + 2, at);
                NumericEdit* box = addNumeric(name, page);
                box->setSurveyStyle(true);
                const bool answer = column.kind != ColumnKind::Count;
                box->setMaxDigits(answer ? 1 : 14);
                box->setMaximum(answer ? LargestAnswer : LargestCount);
                grid->addWidget(box, baseRow + 3, at);
            }
            grid->setRowMinimumHeight(baseRow + 4, 10);
        }
        // Every band has the same columns, so a short table keeps the cell width of a long one.
        for (int at = 0; at < CellsPerBand; ++at) {
            grid->setColumnStretch(at, 1);
            grid->setColumnMinimumWidth(at, 130);
        }
        layout->addLayout(grid);
    }
    layout->addStretch(1);
}

void TdlgSurveyDataForm::buildToolbar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    struct Button {
        QToolButton** slot;
        const char* name;
        const char* caption;
        const char* hint;
    };
    const Button buttons[] = {
        {&m_hold, "tbHold", "临时保存",
         "临时保存输入的数据|"
         "临时保存已经输入的数据，不检查数据的逻辑关系，保存后可继续编辑，临时保存的数据不能被导出或上报"},
        {&m_save, "tbSave", "保存记录", "正式保存输入的数据|正式保存已经数据的数据，将检查数据的逻辑关系"},
        {&m_add, "tbAdd", "保存记录",
         "正式保存输入的数据|"
         "正式保存已经数据的数据，将检查数据的逻辑关系，保存后会请空所有已经输入的数据，以便输入新的数据"},
        {&m_check, "tbCheck", "检查逻辑", ""},
        {&m_print, "tbPrint", "打  印", "打印当前的报表"},
        {&m_preview, "tbPrintPreview", "打印预览",
         "预览当前的报表|在屏幕上预览当前的报表，可以打印或保存为PDF文件"},
        {&m_return, "tbReturn", "返  回", ""},
    };
    for (const Button& button : buttons) {
        auto* tool = new QToolButton(bar);
        tool->setObjectName(QString::fromLatin1(button.name));
        tool->setText(QString::fromUtf8(button.caption));
        const QStringList hint = QString::fromUtf8(button.hint).split(QLatin1Char('|'));
        tool->setToolTip(hint.value(0));
        tool->setStatusTip(hint.value(hint.size() - 1));
        tool->setFocusPolicy(Qt::NoFocus);
        QAction* shown = bar->addWidget(tool);
        shown->setObjectName(QString::fromLatin1(button.name) + QStringLiteral("Shown"));
        *button.slot = tool;
    }
    connect(m_hold, &QToolButton::clicked, this, [this] { guarded([this] { temporarySave(); }); });
    connect(m_save, &QToolButton::clicked, this, [this] { guarded([this] { formalSave(); }); });
    connect(m_add, &QToolButton::clicked, this, [this] { guarded([this] { formalSave(); }); });
    connect(m_check, &QToolButton::clicked, this, [this] { guarded([this] { checkLogic(); }); });
    connect(m_print, &QToolButton::clicked, this, [this] { guarded([this] { print(); }); });
    connect(m_preview, &QToolButton::clicked, this, [this] { guarded([this] { printPreview(); }); });
    connect(m_return, &QToolButton::clicked, this, &TdlgSurveyDataForm::returnWithoutSaving);

    m_navBar = new QToolBar(this);
    m_navBar->setObjectName(QStringLiteral("NavBar"));
    m_navBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    struct Move {
        QAction** slot;
        const char* name;
        const char* caption;
        RecordStep step;
    };
    const Move moves[] = {{&m_first, "actFirst", "第一条", RecordStep::First},
                          {&m_prev, "actPrev", "上一条", RecordStep::Previous},
                          {&m_next, "actNext", "下一条", RecordStep::Next},
                          {&m_last, "actLast", "最后一条", RecordStep::Last}};
    for (const Move& move : moves) {
        QAction* action = m_navBar->addAction(QString::fromUtf8(move.caption));
        action->setObjectName(QString::fromLatin1(move.name));
        *move.slot = action;
        const RecordStep step = move.step;
        connect(action, &QAction::triggered, this, [this, step] { guarded([this, step] { moveTo(step); }); });
    }
    for (QToolButton* button : m_navBar->findChildren<QToolButton*>())
        button->setFocusPolicy(Qt::NoFocus);
    m_itemNo = new QLabel(this);
    m_itemNo->setObjectName(QStringLiteral("ItemNo"));
}

// ---- pickers -------------------------------------------------------------------------------------

void TdlgSurveyDataForm::connectPickers() {
    auto popup = [this](CodeNameBox* box, const TMenuItemDataArray* list, std::function<void(qint64)> then) {
        connect(box, &CodeNameBox::dropDownRequested, this,
                [this, box, list, then] { guarded([box, list, then] { showCodePopup(box, *list, then); }); });
    };
    popup(m_levelName, &m_levels,
          [this](qint64 code) { m_numeric.value(QStringLiteral("c904"))->setValue(code); });
    popup(m_industryName, &m_industries,
          [this](qint64 code) { m_numeric.value(QStringLiteral("c905"))->setValue(code); });
    popup(m_economicName, &m_economics, [this](qint64 code) { unitCategoryRule(code); });
    popup(m_stateName, &m_states, [this](qint64 code) { filingStateRule(code); });
    popup(m_holdSituation, &m_holdings,
          [this](qint64 code) { m_numeric.value(QStringLiteral("c909"))->setValue(code); });

    connect(m_cityName, &CodeNameBox::dropDownRequested, this,
            [this] { guarded([this] { pickDivision(); }); });
    connect(m_typeName, &CodeNameBox::dropDownRequested, this,
            [this] { guarded([this] { pickCategory(); }); });
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
        m_ui.showMessage(RunErrorPrefix + error.text(), QString(), MessageIcon::Critical);
    } catch (const std::exception& error) {
        m_ui.showMessage(RunErrorPrefix + QString::fromUtf8(error.what()), QString(), MessageIcon::Critical);
    }
}

// ---- opening and loading -------------------------------------------------------------------------

void TdlgSurveyDataForm::prepare(EntryMode mode, RecordList* list) {
    m_mode = mode;
    m_list = list;
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
                m_texts.value(key(limits.field))->clear();
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
    return m_controls.value(key(field));
}

NumericEdit* TdlgSurveyDataForm::numericBox(const QString& field) const {
    return m_numeric.value(key(field));
}

std::optional<qint64> TdlgSurveyDataForm::valueOf(const QString& field) const {
    if (const NumericEdit* box = numericBox(field))
        return box->value();
    return std::nullopt;
}

void TdlgSurveyDataForm::showValues(const BoxValues& values) {
    for (const BoxValue& value : values) {
        if (value.box == BoxKind::Text)
            m_texts.value(key(value.field))->setText(value.text);
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
    const QString name = key(field);
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
    if (m_pages->currentIndex() != page && !changePage(page))
        return;
    if (QWidget* box = control(field))
        focusQuietly(box);
}

void TdlgSurveyDataForm::showNotes(int page) {
    m_notes->clear();
    const QString file =
        m_notesFolder + QStringLiteral("/TableNotesVQ-%1.rtf").arg(page, 2, 10, QLatin1Char('0'));
    m_notes->setHtml(readPageNotes(file));
}

static bool takesFocus(const QWidget* box) {
    return box->isEnabled() && box->focusPolicy() != Qt::NoFocus && !box->isHidden();
}

QWidget* TdlgSurveyDataForm::neighbourOnPage(QWidget* from, bool forward) const {
    const int page = m_pageOf.value(from, -1);
    if (page < 0)
        return nullptr;
    const auto& boxes = m_pageOrder[size_t(page)];
    const auto at = std::find(boxes.begin(), boxes.end(), from);
    if (forward) {
        for (auto it = at + 1; it < boxes.end(); ++it)
            if (takesFocus(*it))
                return *it;
    } else {
        for (auto it = at; it != boxes.begin();)
            if (takesFocus(*--it))
                return *it;
    }
    return nullptr;
}

QWidget* TdlgSurveyDataForm::edgeOfPage(int page, bool first) const {
    const auto& boxes = m_pageOrder[size_t(page)];
    if (first) {
        for (QWidget* box : boxes)
            if (takesFocus(box))
                return box;
    } else {
        for (auto it = boxes.rbegin(); it != boxes.rend(); ++it)
            if (takesFocus(*it))
                return *it;
    }
    return nullptr;
}

void TdlgSurveyDataForm::focusQuietly(QWidget* box) {
    // The program putting the focus somewhere is not the user leaving a box: no exit rule runs, so
    // two invalid boxes cannot send the focus back and forth between them.
    m_refocusing = true;
    box->setFocus();
    m_refocusing = false;
}

void TdlgSurveyDataForm::focusEdge(int page, bool first) {
    if (QWidget* box = edgeOfPage(page, first))
        focusQuietly(box);
}

bool TdlgSurveyDataForm::handleMoveKey(QWidget* box, int keyCode) {
    const bool forward = keyCode != Qt::Key_Up;
    if (QWidget* next = neighbourOnPage(box, forward)) {
        next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    const int page = m_pages->currentIndex();
    if (forward && page == LastPage) {
        formalSave();
        return true;
    }
    // A refused change leaves the focus where the validation put it, on the field at fault.
    if (changePage(forward ? page + 1 : (page == 0 ? LastPage : page - 1)))
        focusEdge(m_pages->currentIndex(), forward);
    return true;
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
    auto* box = qobject_cast<QWidget*>(watched);
    if (!box || !m_pageOf.contains(box))
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const int code = keyEvent->key();
        const bool plain =
            !(keyEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier));
        if (plain &&
            (code == Qt::Key_Return || code == Qt::Key_Enter || code == Qt::Key_Down || code == Qt::Key_Up))
            if (plain && (code == Qt::Key_Return || code == Qt::Key_Enter || code == Qt::Key_Down ||
                          code == Qt::Key_Up)) {
                guarded([this, box, code] { handleMoveKey(box, code); });
                return true;
            }
    } else if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Focus taken by a message box, a menu or another window is not the user leaving the box.
        const bool leaving = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                             reason != Qt::MenuBarFocusReason;
        if (leaving && isVisible() && !m_inExitRule && !m_refocusing) {
            m_inExitRule = true;
            if (auto* numeric = qobject_cast<NumericEdit*>(box))
                numeric->settle();
            const QString field = key(box->objectName());
            if (m_pageOf.value(box) == 0)
                guarded([this, &field] { runExitRule(field, true); });
            m_inExitRule = false;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace corvalis::records
