#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <vector>

namespace corvalis::workbook {

// The check sum and sizes of a member's content, known before the member is written.
struct DeflatedSummary {
    quint32 crc = 0;
    quint64 size = 0;
    quint64 compressedSize = 0;
};

// Raw deflate of pieces that are joined into one member: every piece but the last ends on a byte
// boundary (a sync flush), so pieces compressed apart and in parallel follow each other unchanged.
class RawDeflater {
public:
    explicit RawDeflater(int level);
    ~RawDeflater();
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;

    // Compresses one piece on its own; `last` closes the stream.
    QByteArray piece(const char* data, qsizetype size, bool last);
    // The same into out, whose storage is reused.
    void piece(const char* data, qsizetype size, bool last, QByteArray& out);

private:
    struct State;
    State* m_state;
};

// Adds the piece's check sum and sizes to a running summary.
void appendToSummary(DeflatedSummary& summary, quint32 crc, quint64 size, quint64 compressedSize);
quint32 crcOf(const char* data, qsizetype size);

// A zip file written front to back: each member's header, its deflated data, and the directory at
// the end. Members and offsets past 4 GiB take the 64-bit fields.
class ZipWriter {
public:
    // Opens the file for writing; throws FileError. Sizes from `large64` on take the 64-bit fields
    // (only tests lower it, to try those fields on small files).
    explicit ZipWriter(const QString& path, quint64 large64 = 0xFFFFFFFFull);

    // A member compressed here in one piece.
    void addMember(const QString& name, const QByteArray& content);
    // A member whose deflated data the caller writes through writeData(), exactly as summed up.
    void beginMember(const QString& name, const DeflatedSummary& summary);
    void writeData(const char* data, qint64 size);
    void writeData(const QByteArray& data) { writeData(data.constData(), data.size()); }
    void copyData(QIODevice& source);
    void endMember();
    // Writes the directory and closes the file.
    void finish();

private:
    struct Entry {
        QByteArray name;
        DeflatedSummary summary;
        quint64 offset = 0;
    };
    void write(const QByteArray& bytes);
    [[noreturn]] void failed();

    QFile m_file;
    quint64 m_large64;
    quint64 m_written = 0;
    quint64 m_memberStart = 0;
    std::vector<Entry> m_entries;
};

} // namespace corvalis::workbook
