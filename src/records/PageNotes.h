#pragma once

#include <QByteArray>
#include <QString>

namespace corvalis::records {

// The filling instructions of an entry-form page: a rich-text file of the notes folder, shown as
// HTML. Empty text when the file is missing or unreadable.
QString readPageNotes(const QString& path);

// The RTF subset the notes use, as HTML: paragraphs, line breaks, bold, italic, font size, colour,
// \uN and \'hh escapes (GBK). Unknown control words are skipped, and so are destinations (font and
// style tables, pictures, "\*" groups), so files written by word processors read without failing.
QString rtfToHtml(const QByteArray& rtf);

} // namespace corvalis::records
