#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

namespace corvalis {

// Text in the GBK code page, the form of every text file the system writes or reads.
QByteArray toGbk(const QString& text);
// The same, adding to *unencodable the number of characters GBK cannot hold (each written as "?").
QByteArray toGbk(const QString& text, int* unencodable);
QString fromGbk(const QByteArray& bytes);
// The UTF-8 form of GBK bytes, written into a buffer whose capacity is used again (as fromGbk
// converts them, without a QString between).
void utf8FromGbk(QByteArrayView gbk, QByteArray& utf8);
// The text with every control character (line breaks, tabs, NUL, the other C0 and C1 codes, the
// Unicode line and paragraph separators) as a blank, so that it cannot split a line of a text file;
// adds the number replaced to *replaced when given.
QString controlsAsBlanks(const QString& text, qint64* replaced = nullptr);
// Length in GBK bytes (a Chinese character counts 2).
int gbkLength(const QString& text);
// The longest start of the text that fits into the given number of GBK bytes.
QString truncateToGbkBytes(const QString& text, int maxBytes);

// Writes a text file in GBK with CR LF line ends through a buffer. Each line can be flushed at
// once, so a report stays complete up to its last line if the program stops.
class GbkTextWriter {
public:
    enum class Mode { Replace, Append };

    GbkTextWriter() = default;
    GbkTextWriter(const QString& path, Mode mode = Mode::Replace);
    ~GbkTextWriter();
    GbkTextWriter(const GbkTextWriter&) = delete;
    GbkTextWriter& operator=(const GbkTextWriter&) = delete;

    // Raises FileError when the file cannot be created or opened.
    void open(const QString& path, Mode mode = Mode::Replace);
    void writeLine(const QString& line = QString());
    void write(const QString& text);
    // A line already in GBK: bulk writers encode only the parts that are not plain ASCII.
    void writeEncodedLine(QByteArrayView gbkLine);
    // Hands the buffer to the operating system; raises FileError on a failed write.
    void flush();
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    const QString& path() const { return m_path; }

private:
    void writeBytes(const QByteArray& bytes);

    QFile m_file;
    QString m_path;
    QByteArray m_buffer;
};

// Writes a whole GBK text file with CR LF after every line.
void writeGbkTextFile(const QString& path, const QStringList& lines);
// Reads a GBK text file into lines (CR LF or LF).
QStringList readGbkTextFile(const QString& path);

} // namespace corvalis
