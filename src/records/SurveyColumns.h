#pragma once

#include "app/FieldDictionary.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace corvalis::records {

// What a column of dt_data holds.
enum class ColumnKind {
    RowNumber,  // id, assigned by the database
    Stamp,      // c900, the machine stamp
    Code,       // c901, the union's 12-digit statistical code
    Text,       // c902, c907, c910, c911
    CodeNumber, // c903 ... c912: codes of the code tables
    State,      // RecordState
    Count,      // number of people, cases, projects: 0 to 99999999999999
    YesNo,      // 1 yes, 2 no, 0 not answered
    Choice,     // one of three options, 0 to 2
};

// One survey column: its name, the page of the entry form that holds it, its kind, the question
// as the form prints it, a heading that groups it with its neighbours (or none), and the column it is
// a part of (the "of which" sub-columns of the printed form), if any.
struct SurveyColumn {
    const char* name;
    int page;
    ColumnKind kind;
    const char* question;
    const char* heading;
    const char* partOf;
};

// A cover column with its label on the cover page.
struct CoverColumn {
    const char* name;
    ColumnKind kind;
    const char* label;
};

// The survey columns z001 ... s004 in the order of the printed form.
const std::vector<SurveyColumn>& surveyColumns();
// The cover columns c901 ... c912 in the order of the cover page.
const std::vector<CoverColumn>& coverColumns();
// Every column of dt_data in table order: id, c900, the cover columns, the survey columns, RecordState.
const QStringList& dataColumnNames();

// The index of a survey column by name (ignoring case), -1 when it is none.
int surveyColumnIndex(const QString& name);
// The kind of any dt_data column; RowNumber for an unknown name.
ColumnKind columnKind(const QString& name);

// The value class the field dictionary gives a column: Text for texts, Number for the code and
// counts, Code for integer codes and the state, Answer for yes/no and choice answers; Other for the
// columns outside those classes.
QueryType queryTypeOf(ColumnKind kind);

// Entry-form page titles: page 0 is the cover, 1 to 7 the survey tables.
constexpr int PageCount = 8;
QString pageTabCaption(int page);
QString pageTabHint(int page);
// The table titles a survey page shows at its top (page 7 has two).
QStringList pageTableTitles(int page);

} // namespace corvalis::records
