#include "SurveyDataForm.h"

#include "KvValidEdit.h"
#include "NumericEdit.h"
#include "app/ui/CodePopup.h"
#include "records/FieldRules.h"
#include "records/SurveyColumns.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

// The entry form's layout: the cover, the survey pages with one box per column, the notes, the tool
// bar and the navigation bar.

namespace corvalis::records {

namespace {
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

void TdlgSurveyDataForm::buildLayout() {
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

    // Tab runs through the boxes of a page in form order.
    for (const auto& boxes : m_pageOrder)
        for (size_t i = 1; i < boxes.size(); ++i)
            setTabOrder(boxes[i - 1], boxes[i]);
}

NumericEdit* TdlgSurveyDataForm::addNumeric(const QString& name, int page) {
    auto* box = new NumericEdit;
    box->setObjectName(controlName(name));
    m_controls.insert(boxKey(name), box);
    m_numeric.insert(boxKey(name), box);
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
    m_controls.insert(boxKey(name), box);
    m_texts.insert(boxKey(name), box);
    m_pageOrder[size_t(page)].push_back(box);
    m_pageOf.insert(box, page);
    box->installEventFilter(this);
    connect(box, &QLineEdit::textChanged, this, &TdlgSurveyDataForm::markModified);
    return box;
}

CodeNameBox* TdlgSurveyDataForm::addNameBox(const QString& name) {
    auto* box = new CodeNameBox;
    box->setObjectName(name);
    // It takes a click (on its drop-down button too) only to hand the focus back to its code's box.
    box->setFocusPolicy(Qt::ClickFocus);
    box->installEventFilter(this);
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

} // namespace corvalis::records
