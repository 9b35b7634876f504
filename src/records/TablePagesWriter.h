#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// One row in the form the engine stores it, built value by value as the engine itself would: an
// integer in the fewest bytes that hold it, 0 and 1 in none, a text as its UTF-8 bytes. Values must
// already be what the column keeps (the engine's affinity rules are the caller's).
class EncodedRecord {
public:
    // Whether the records built here are those the engine writes into the main database of the
    // connection: one in UTF-8 and of the current file format (older ones store 0 and 1 otherwise).
    static bool matchesDatabase(engine::Connection& connection);

    void clear() {
        m_typeBytes = 0;
        m_bodyBytes = 0;
    }
    void addNull();
    void addInteger(qint64 value);
    void addText(const char* utf8, int bytes);
    // Where the next value goes, in the header and in the body.
    size_t typeBytes() const { return m_typeBytes; }
    size_t bodyBytes() const { return m_bodyBytes; }
    // Becomes the other record with the null it holds at those places replaced by the integer.
    void assignWithInteger(const EncodedRecord& other, size_t typeAt, size_t bodyAt, qint64 value);
    // The length of the record.
    qsizetype size() const;
    // Writes the record's size() bytes there.
    void copyTo(unsigned char* out) const;

private:
    void makeRoom(size_t typeBytes, size_t bodyBytes);
    int headerLength() const;

    std::vector<unsigned char> m_types; // the serial types, as varints; room beyond m_typeBytes
    std::vector<unsigned char> m_body;
    size_t m_typeBytes = 0;
    size_t m_bodyBytes = 0;
};

// Fills empty tables and indexes of a new database file by writing their pages straight into the
// file, which costs a small part of inserting the rows through the engine. The engine makes the
// file and its schema (page size, statements, encoding), and reads it afterwards like any other. A
// table's rows are appended in rowid order 1, 2, 3, ...; an index's entries (its columns' values
// and the rowid) in the index's order, which is the caller's to keep. For a file of this process
// alone: it takes no locks and keeps no journal, so a file left half-written is good only for removal.
class TablePagesWriter {
public:
    // Makes the file at path (existing and empty) with the tables and indexes of the statements, in
    // the order given, in pages of that size. Throws EngineError or FileError when it cannot.
    TablePagesWriter(const QString& path, const QStringList& createStatements, int pageSize = 65536);
    TablePagesWriter(const TablePagesWriter&) = delete;
    TablePagesWriter& operator=(const TablePagesWriter&) = delete;

    // Appends a record to the table, or an entry to the index, made by the statement at that
    // position. False, and nothing written, when it would not stand whole on one page.
    bool append(int tree, const EncodedRecord& record);
    // Writes what is left and the file's new size into its header; the engine may open it then.
    void finish();

private:
    // A page below an interior page, with what a cell for it holds after its page number: the
    // largest rowid under it (a table), or the entry that follows everything under it (an index).
    struct Child {
        uint32_t page;
        std::string key;
    };
    struct Leaf {
        std::vector<unsigned char> bytes;
        int cells = 0;
        int contentStart = 0;
    };
    struct Tree {
        bool index = false;
        uint32_t root = 0;
        Leaf leaf;
        int64_t nextRow = 1;
        std::vector<Child> leaves; // written ones, in order
        // An index's full leaf, held back with the entry that came after it until another entry
        // comes: the entry then parts the two leaves, or, at the end, one of the held leaf's
        // entries parts them instead.
        Leaf held;
        std::string heldNext;
        bool holding = false;
    };

    void startLeaf(Tree& tree, Leaf& leaf) const;
    static bool roomFor(const Leaf& leaf, int cellBytes);
    static void putCell(Leaf& leaf, const unsigned char* lead, int leadBytes, const EncodedRecord* record,
                        const std::string* bytes);
    bool appendRow(Tree& tree, const EncodedRecord& record);
    bool appendEntry(Tree& tree, const EncodedRecord& record);
    uint32_t closeLeaf(Leaf& leaf, uint32_t page);
    void finishTree(Tree& tree);
    std::vector<Child> interiorLevel(const std::vector<Child>& children, bool index, uint32_t root);
    uint32_t appendPage(const unsigned char* page);
    void appendBytes(const unsigned char* page);
    void writePage(uint32_t page, const unsigned char* bytes);
    void flushAppended();
    void updateHeader();

    QFile m_file;
    int m_pageSize = 0;
    uint32_t m_pages = 0; // in the file, appended ones included
    std::vector<Tree> m_trees;
    std::vector<unsigned char> m_appended; // pages after the file's end, not yet written
    uint32_t m_firstAppended = 0;
};

} // namespace corvalis::records
