#pragma once

#include "app/FieldDictionary.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

namespace corvalis {
class Clock;
class DbSession;
class ProgressReporter;
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::exchange {

// The key of the network-version file, built at run time from a base text by single-character
// substitutions and two exchanges of positions; 16 characters.
QString deriveExportKey();

// AES-128 (FIPS-197) in electronic codebook mode over 16-byte blocks; a last partial block is
// filled with zero bytes. The key text's first 16 bytes are the key, zero-filled when shorter.
QByteArray encryptAes128(const QByteArray& plain, const QString& key);
QByteArray decryptAes128(const QByteArray& cipher, const QString& key);

// The network-version file: the plain length as a signed 64-bit little-endian integer, then the
// encrypted blocks. Raise FileError when a file cannot be read or written; the target is replaced
// only when complete.
void encryptFileAes128(const QString& source, const QString& target, const QString& key);
// The reverse; refuses a file whose length field does not agree with its size.
void decryptFileAes128(const QString& source, const QString& target, const QString& key);

// The export field list: dictionary rows with 0 < sequence < 1000, in sequence order.
struct ExportField {
    QString name;
    int queryType = 0;
};
std::vector<ExportField> networkExportFields(engine::Connection& connection);

// What writing changed in the texts: control characters written as blanks (they would split a
// line), and the places whose characters GBK cannot hold, written as "?", each as "code field".
struct TextChanges {
    qint64 controlsReplaced = 0;
    QStringList lossyPlaces;
};

// Writes the plain text of the network version (GBK, CR LF): the header of field names, then one
// line per record in code order. Returns the number of records written.
qint64 writeNetworkText(engine::Connection& connection, const QString& path,
                        ProgressReporter* progress = nullptr, TextChanges* changes = nullptr);

// The question asked before a file is written with characters turned into "?": the places, at most
// a screenful of them, and how many there are.
QString lossyTextQuestion(const QStringList& places);

// The target and temporary names of the export from the name chosen in the dialog.
struct NetworkExportNames {
    QString target;
    QString temporary;
};
NetworkExportNames networkExportNames(const QString& chosen);

// "上报到网络版"; true when the file was written.
bool exportNetworkFile(DbSession& session, UiServices& ui, const Clock& clock);
bool exportNetworkFileTo(DbSession& session, UiServices& ui, const QString& chosen);

inline const QString NetworkRefusal = QStringLiteral("存在临时保存或逻辑错误的数据，不能导出上报数据!");

} // namespace corvalis::exchange
