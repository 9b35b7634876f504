#include "Value.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdio>

namespace corvalis::engine {

ColumnType columnTypeFromDeclaration(const QString& declared) {
    const QString t = declared.toUpper();
    if (t.isEmpty())
        return ColumnType::Unknown;
    if (t.contains(QLatin1String("BOOL")) || t == QLatin1String("BIT") || t == QLatin1String("YESNO"))
        return ColumnType::Boolean;
    if (t.contains(QLatin1String("INT")) || t == QLatin1String("COUNTER"))
        return ColumnType::Integer;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("TEXT")) ||
        t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("MEMO")))
        return ColumnType::Text;
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return ColumnType::DateTime;
    if (t.contains(QLatin1String("BLOB")) || t.contains(QLatin1String("BINARY")))
        return ColumnType::Blob;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
        t.contains(QLatin1String("DOUB")) || t.contains(QLatin1String("NUM")) ||
        t.contains(QLatin1String("DEC")) || t.contains(QLatin1String("CURRENCY")))
        return ColumnType::Float;
    return ColumnType::Unknown;
}

int columnSizeFromDeclaration(const QString& declared) {
    static const QRegularExpression sized(QStringLiteral("\\(\\s*(\\d+)\\s*\\)"));
    const auto match = sized.match(declared);
    switch (columnTypeFromDeclaration(declared)) {
    case ColumnType::Text:
        return match.hasMatch() ? match.captured(1).toInt() : 255;
    case ColumnType::Integer:
    case ColumnType::Float:
    case ColumnType::DateTime:
        return 8;
    case ColumnType::Boolean:
        return 2;
    default:
        return match.hasMatch() ? match.captured(1).toInt() : 0;
    }
}

QString formatGeneral(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");
    const double magnitude = std::fabs(value);
    char buffer[64];
    if (magnitude >= 1e15 || magnitude < 1e-5) {
        std::snprintf(buffer, sizeof buffer, "%.14E", value);
        // Trim trailing zeros of the mantissa and leading zeros of the exponent: 1.5E+20, 1E-6.
        QString text = QString::fromLatin1(buffer);
        const int e = text.indexOf(QLatin1Char('E'));
        QString mantissa = text.left(e);
        QString exponent = text.mid(e + 1);
        if (mantissa.contains(QLatin1Char('.'))) {
            while (mantissa.endsWith(QLatin1Char('0')))
                mantissa.chop(1);
            if (mantissa.endsWith(QLatin1Char('.')))
                mantissa.chop(1);
        }
        const QChar sign = exponent.at(0);
        QString digits = exponent.mid(1);
        while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
            digits.remove(0, 1);
        return mantissa + QLatin1Char('E') + sign + digits;
    }
    // Fixed notation with 15 significant digits in all.
    const int intDigits = magnitude >= 1 ? int(std::floor(std::log10(magnitude))) + 1 : 0;
    const int decimals = std::max(0, 15 - intDigits);
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    QString text = QString::fromLatin1(buffer);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

QString textOf(const QVariant& value) {
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return formatGeneral(value.toDouble());
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

QString codeTextOf(const QVariant& value) {
    if (value.typeId() != QMetaType::Double && value.typeId() != QMetaType::Float)
        return textOf(value);
    const double rounded = std::round(value.toDouble());
    if (rounded > -PastLargestInteger && rounded < PastLargestInteger)
        return QString::number(qint64(rounded));
    return formatGeneral(rounded);
}

namespace {
// The nearest whole number, saturated at the ends of the 64-bit range (llround is unspecified there).
qint64 roundedInteger(double real) {
    return saturatedUnionCode(std::round(real));
}
} // namespace

qint64 integerOf(const QVariant& value) {
    if (value.isNull())
        return 0;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return roundedInteger(value.toDouble());
    case QMetaType::QString: {
        bool ok = false;
        const QString text = value.toString().trimmed();
        const qint64 whole = text.toLongLong(&ok);
        if (ok)
            return whole;
        const double real = text.toDouble(&ok);
        return ok ? roundedInteger(real) : 0;
    }
    default:
        return value.toLongLong();
    }
}

double floatOf(const QVariant& value) {
    if (value.isNull())
        return 0;
    if (value.typeId() == QMetaType::QString)
        return value.toString().trimmed().toDouble();
    return value.toDouble();
}

namespace {
// The whole number a double holds, when it holds one inside the 64-bit range.
std::optional<qint64> wholeNumberOf(double number) {
    if (!std::isfinite(number) || std::trunc(number) != number || number >= PastLargestInteger ||
        number < -PastLargestInteger)
        return std::nullopt;
    return qint64(number);
}
} // namespace

std::optional<UnionCode> codeOf(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return wholeNumberOf(value.toDouble());
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
        return value.toLongLong();
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        bool ok = false;
        const qint64 whole = text.toLongLong(&ok);
        if (ok)
            return whole;
        const double real = text.toDouble(&ok);
        return ok ? wholeNumberOf(real) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

UnionCode codeBoundaryOf(const QVariant& value) {
    return codeOf(value).value_or(saturatedUnionCode(floatOf(value)));
}

namespace {
int rank(const QVariant& v) {
    if (v.isNull())
        return 0;
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
        return 1;
    case QMetaType::QString:
        return 2;
    default:
        return 3;
    }
}
} // namespace

int compareValues(const QVariant& a, const QVariant& b) {
    const int ra = rank(a), rb = rank(b);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    switch (ra) {
    case 0:
        return 0;
    case 1: {
        const bool bothWhole = a.typeId() != QMetaType::Double && b.typeId() != QMetaType::Double;
        if (bothWhole) {
            const qint64 x = a.toLongLong(), y = b.toLongLong();
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case 2:
        return a.toString().compare(b.toString());
    default:
        return a.toByteArray().compare(b.toByteArray());
    }
}

} // namespace corvalis::engine
