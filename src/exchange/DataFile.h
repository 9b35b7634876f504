#pragma once

#include "app/ProgramFolder.h"

#include <QString>
#include <QStringList>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::exchange {

// A data file is a database file whose first 1024 bytes are scrambled: each byte p becomes
// ((p + 2) mod 256) XOR 0x07. A plain database file starts with the SQLite header byte 0x53, so a
// scrambled one starts with 0x52. A second, older head form starts with 0x66 and is restored by
// writing the 16-byte file signature at offset 0.
inline constexpr int ScrambledHeadSize = 1024;
inline constexpr unsigned char PlainFirstByte = 0x53;
inline constexpr unsigned char ScrambledFirstByte = 0x52;
inline constexpr unsigned char SignatureFormFirstByte = 0x66;

unsigned char scrambleByte(unsigned char plain);
unsigned char unscrambleByte(unsigned char scrambled);

// Scrambles the head of a file in place; a missing file is left alone. Raises FileError when the
// file cannot be opened for writing.
void scrambleDataFile(const QString& path);
// Restores the head of a scrambled file in place (both head forms); any other file is unchanged.
void unscrambleDataFile(const QString& path);

// A data file is at least its scrambled head long: anything shorter is refused before any of it is
// transformed or opened.
bool tooShortForDataFile(const QString& path);

// The first byte of a file, or -1 when it is empty or cannot be read.
int firstByteOf(const QString& path);

// Makes a chosen file readable: a plain database file is used in place; any other file is copied to
// the copy path and the copy's head restored. Returns the path to open. The chosen file is never
// changed; a copy path naming the chosen file itself raises FileError.
QString prepareDataFileCopy(const QString& chosenPath, const QString& copyPath);

// Whether two paths name the same file (after resolving links; also for files not there yet).
bool isSameFile(const QString& a, const QString& b);

// The working copy of a received file: temp.dat in the program folder, unless that is the open
// database or the chosen file itself, in which case a name beside it is used so that neither is
// overwritten.
QString workingCopyPath(const ProgramFolder& folder, const QString& chosenPath, const QString& openDatabase);

// Extension rules of the file dialogs: a name longer than 4 characters whose last 4 characters are
// not exactly the extension gets it appended.
QString withExtensionIfLong(const QString& name, const QString& extension);
// The report export's rule: shorter names always get the extension too.
QString withExtension(const QString& name, const QString& extension);

// The column names of a table in order ("main" or an attached alias).
QStringList tableColumns(engine::Connection& connection, const QString& table,
                         const QString& schema = QStringLiteral("main"));
// Whether the dt_data of an attached file has exactly the columns of the open database, in order:
// records are copied with "select *", so any other layout would put values into wrong columns.
bool sameRecordLayout(engine::Connection& connection, const QString& alias);

// Texts of the file dialogs and messages shared by the exchange commands.
inline const QString DataFileFilter = QStringLiteral("数据加密文件(*.dat)|*.dat");
inline const QString ImportFilter = QStringLiteral("数据加密文件(*.dat)|*.dat|数据备份文件(*.mdb)|*.mdb");
inline const QString AccessFilter = QStringLiteral("Access文件(*.mdb)|*.mdb");
inline const QString ChooseImportTitle = QStringLiteral("选择导入文件");
inline const QString FileMissingMessage = QStringLiteral("您选择的文件并不存在，请选择其它文件。");
inline const QString FileHasNoDataTable = QStringLiteral("您选择的文件中不存在名字为\"dt_data\"的数据表");
inline const QString SystemHasNoDataTable = QStringLiteral("系统中不存在名字为\"dt_data\"的数据表");
inline const QString ContactSuffix = QStringLiteral(",请与软件发行者联系。");

} // namespace corvalis::exchange
