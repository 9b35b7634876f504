#pragma once

#include <QString>
#include <cstddef>
#include <string>

namespace corvalis::workbook {

// The text of a cell as sheet XML: markup characters as entities, "_xHHHH_"-like literals with
// their underscore named, control characters named (a raw carriage return would be read back as
// a line feed), and what XML cannot hold (half characters, U+FFFE, U+FFFF) as U+FFFD.
void appendEscapedText(std::string& out, const QString& text);

// The same for text in UTF-8, written at out, which has room for EscapedUtf8Growth bytes per byte of
// the text; the display width (see displayWidth()) is measured on the way. Returns the end of what
// was written, or null when the bytes are no valid UTF-8 or begin with a byte order mark: the caller
// then takes the QString way, which reads them as QString::fromUtf8() does.
constexpr std::size_t EscapedUtf8Growth = 7; // a control character becomes "_xHHHH_"
char* writeEscapedUtf8(char* out, const char* data, std::size_t size, double& width);

// Whether the text begins or ends with white space that XML would drop without xml:space.
bool needsPreservedSpace(const QString& text);
bool needsPreservedSpace(const char* data, std::size_t size);

// The shortest text that reads back as the same number; whole numbers below 10^15 without a point.
void appendNumber(std::string& out, double value);

} // namespace corvalis::workbook
