#pragma once

#include <QString>
#include <vector>

namespace corvalis::summary {

enum class CheckState { Unticked = 0, Ticked = 1, Grey = 2 };

// One entry of the summary dialog's sheet list.
struct TableListEntry {
    bool enabled = true;
    CheckState state = CheckState::Unticked;
    QString text;

    // Group headers begin with "//"; they are shown as headings and stand for no sheet.
    bool isHeader() const { return text.startsWith(QLatin1String("//")); }
    bool isTicked() const { return state == CheckState::Ticked; }
    bool operator==(const TableListEntry& other) const {
        return enabled == other.enabled && state == other.state && text == other.text;
    }
};

// The sheet list "sumtable.vq": one line per entry, "&" + enabled flag + " " + check state + " " + text,
// GBK with CR LF. The enabled entries, in order, stand for the 16 sheets of the summary workbook.
class TableListFile {
public:
    static QString fileName() { return QStringLiteral("sumtable.vq"); }

    // The list as it ships: every sheet entry ticked.
    static std::vector<TableListEntry> shippedEntries();

    // Parses the lines of a list. A line that does not begin with "&" and two valid flags is an
    // enabled, unticked entry holding the whole line; headers are always disabled.
    static std::vector<TableListEntry> parse(const QStringList& lines);
    static QStringList format(const std::vector<TableListEntry>& entries);
    // True when the entries stand for exactly the 16 sheets.
    static bool isComplete(const std::vector<TableListEntry>& entries);

    // Reads the file; a missing, unreadable or incomplete file gives the shipped list.
    static std::vector<TableListEntry> load(const QString& path);
    // Writes the file; raises FileError when it cannot be written.
    static void save(const QString& path, const std::vector<TableListEntry>& entries);

    // The sheet numbers (1 to 16) of the ticked sheet entries.
    static std::vector<int> tickedSheets(const std::vector<TableListEntry>& entries);
};

} // namespace corvalis::summary
