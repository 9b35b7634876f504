#include "GbkText.h"

#include "Errors.h"
#include "FileOps.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace corvalis {

namespace {

// One converter per direction and thread, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from) : m_handle(iconv_open(to, from)) {}
    ~Converter() {
        if (m_handle != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts the input; a sequence that the target cannot hold becomes `replacement`.
    QByteArray convert(const QByteArray& input, const QByteArray& replacement, int unitSize,
                       int* replaced = nullptr) {
        QByteArray output;
        convertInto(input, output, replacement, unitSize, replaced);
        return output;
    }

    // The same into a buffer of the caller's, whose capacity is used again.
    void convertInto(QByteArrayView input, QByteArray& output, const QByteArray& replacement, int unitSize,
                     int* replaced = nullptr) {
        if (m_handle == reinterpret_cast<iconv_t>(-1))
            throw Error(QStringLiteral("系统不支持 GBK 编码转换。"));
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        output.resize(input.size() * 2 + 16);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = size_t(input.size());
        char* out = output.data();
        size_t outLeft = size_t(output.size());
        while (inLeft > 0) {
            const size_t rc = iconv(m_handle, &in, &inLeft, &out, &outLeft);
            if (rc != size_t(-1))
                break;
            if (errno == E2BIG) {
                const qsizetype used = out - output.data();
                output.resize(output.size() * 2);
                out = output.data() + used;
                outLeft = size_t(output.size() - used);
            } else {
                // Skip one unit of input that cannot be converted and put the replacement instead.
                const size_t skip = std::min(inLeft, size_t(unitSize));
                in += skip;
                inLeft -= skip;
                if (outLeft < size_t(replacement.size()) + 1) {
                    const qsizetype used = out - output.data();
                    output.resize(output.size() * 2 + replacement.size());
                    out = output.data() + used;
                    outLeft = size_t(output.size() - used);
                }
                if (replaced)
                    ++*replaced;
                std::copy(replacement.begin(), replacement.end(), out);
                out += replacement.size();
                outLeft -= size_t(replacement.size());
            }
        }
        output.truncate(out - output.data());
    }

    // Converts input that makes whole characters only, without replacing anything: the length of
    // the output, or -1 when the input does not convert so or the output would not fit.
    int convertExactly(const char* input, size_t inputSize, char* output, size_t outputSize) {
        if (m_handle == reinterpret_cast<iconv_t>(-1))
            return -1;
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(input);
        char* out = output;
        size_t inLeft = inputSize, outLeft = outputSize;
        if (iconv(m_handle, &in, &inLeft, &out, &outLeft) == size_t(-1) || inLeft != 0)
            return -1;
        return int(out - output);
    }

private:
    iconv_t m_handle;
};

// The UTF-8 of every two-byte GBK character, as the converter itself gives it, worked out once: text
// of names and the like then converts by looking up pairs. A pair it gives nothing for, like any
// byte outside the ranges of pairs, leaves the text to the converter.
class GbkPairs {
public:
    static constexpr int FirstLead = 0x81, LastLead = 0xFE, FirstTrail = 0x40, LastTrail = 0xFE;

    GbkPairs() {
        Converter converter("UTF-8", "GBK");
        for (int lead = FirstLead; lead <= LastLead; ++lead)
            for (int trail = FirstTrail; trail <= LastTrail; ++trail) {
                const char pair[2] = {char(lead), char(trail)};
                Utf8& utf8 = m_pairs[lead - FirstLead][trail - FirstTrail];
                char bytes[8];
                const int length = converter.convertExactly(pair, 2, bytes, sizeof bytes);
                if (length > 0 && length <= 3) {
                    std::copy(bytes, bytes + length, utf8.bytes);
                    utf8.length = static_cast<unsigned char>(length);
                }
            }
    }

    // Converts the whole of gbk into out (room for twice its length); false, with out left in any
    // state, when a byte or pair is not in the table.
    bool convert(QByteArrayView gbk, char* out, qsizetype& written) const {
        const auto* in = reinterpret_cast<const unsigned char*>(gbk.data());
        const auto* const end = in + gbk.size();
        char* const start = out;
        while (in != end) {
            if (*in < 0x80) {
                *out++ = char(*in++);
                continue;
            }
            if (end - in < 2 || *in < FirstLead || *in > LastLead || in[1] < FirstTrail || in[1] > LastTrail)
                return false;
            const Utf8& utf8 = m_pairs[in[0] - FirstLead][in[1] - FirstTrail];
            if (utf8.length == 0)
                return false;
            for (int i = 0; i < utf8.length; ++i)
                *out++ = utf8.bytes[i];
            in += 2;
        }
        written = out - start;
        return true;
    }

private:
    struct Utf8 {
        char bytes[3] = {0, 0, 0};
        unsigned char length = 0;
    };
    Utf8 m_pairs[LastLead - FirstLead + 1][LastTrail - FirstTrail + 1];
};

bool isAscii(const QString& text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

QByteArray toGbk(const QString& text) {
    return toGbk(text, nullptr);
}

QByteArray toGbk(const QString& text, int* unencodable) {
    if (isAscii(text))
        return text.toLatin1();
    // UTF-32 input lets a failed character be skipped as one unit of four bytes.
    thread_local Converter converter("GBK", "UTF-32LE");
    const QList<uint> codepoints = text.toUcs4();
    QByteArray input(reinterpret_cast<const char*>(codepoints.constData()), codepoints.size() * 4);
    return converter.convert(input, QByteArrayLiteral("?"), 4, unencodable);
}

QString fromGbk(const QByteArray& bytes) {
    bool ascii = true;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return QString::fromLatin1(bytes);
    thread_local Converter converter("UTF-8", "GBK");
    return QString::fromUtf8(converter.convert(bytes, QByteArrayLiteral("\xEF\xBF\xBD"), 1));
}

void utf8FromGbk(QByteArrayView gbk, QByteArray& utf8) {
    static const GbkPairs pairs;
    utf8.resize(gbk.size() * 2 + 16);
    qsizetype written = 0;
    if (pairs.convert(gbk, utf8.data(), written)) {
        utf8.truncate(written);
        return;
    }
    thread_local Converter converter("UTF-8", "GBK");
    converter.convertInto(gbk, utf8, QByteArrayLiteral("\xEF\xBF\xBD"), 1);
}

QString controlsAsBlanks(const QString& text, qint64* replaced) {
    auto isControl = [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
    };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString clean = text;
    for (QChar& c : clean)
        if (isControl(c)) {
            c = QLatin1Char(' ');
            if (replaced)
                ++*replaced;
        }
    return clean;
}

int gbkLength(const QString& text) {
    return int(toGbk(text).size());
}

QString truncateToGbkBytes(const QString& text, int maxBytes) {
    if (gbkLength(text) <= maxBytes)
        return text;
    QString result;
    int used = 0;
    const QList<uint> codepoints = text.toUcs4();
    for (uint cp : codepoints) {
        const QString piece = QString::fromUcs4(reinterpret_cast<const char32_t*>(&cp), 1);
        const int length = gbkLength(piece);
        if (used + length > maxBytes)
            break;
        used += length;
        result += piece;
    }
    return result;
}

GbkTextWriter::GbkTextWriter(const QString& path, Mode mode) {
    open(path, mode);
}

GbkTextWriter::~GbkTextWriter() {
    try {
        close();
    } catch (const Error&) {
    }
}

void GbkTextWriter::open(const QString& path, Mode mode) {
    close();
    m_path = path;
    m_file.setFileName(path);
    const QIODevice::OpenMode flags =
        QIODevice::WriteOnly | (mode == Mode::Append ? QIODevice::Append : QIODevice::Truncate);
    if (!m_file.open(flags))
        throw FileError(QStringLiteral("无法创建文件“%1”：%2").arg(path, fileFailureReason(m_file)));
    // Files of the program's temporary folder are the user's alone.
    if (isInTempFolder(path))
        restrictToOwner(path);
}

void GbkTextWriter::write(const QString& text) {
    m_buffer += toGbk(text);
    if (m_buffer.size() >= 1 << 16)
        flush();
}

void GbkTextWriter::writeLine(const QString& line) {
    m_buffer += toGbk(line);
    m_buffer += "\r\n";
    if (m_buffer.size() >= 1 << 16)
        flush();
}

void GbkTextWriter::writeEncodedLine(QByteArrayView gbkLine) {
    m_buffer.append(gbkLine);
    m_buffer += "\r\n";
    if (m_buffer.size() >= 1 << 16)
        flush();
}

void GbkTextWriter::writeBytes(const QByteArray& bytes) {
    if (!m_file.isOpen())
        throw FileError(QStringLiteral("文件没有打开。"));
    if (m_file.write(bytes) != bytes.size())
        throw FileError(QStringLiteral("写入文件“%1”时出错：%2").arg(m_path, fileFailureReason(m_file)));
}

void GbkTextWriter::flush() {
    if (!m_buffer.isEmpty()) {
        const QByteArray pending = std::move(m_buffer);
        m_buffer.clear();
        writeBytes(pending);
    }
    if (m_file.isOpen() && !m_file.flush())
        throw FileError(QStringLiteral("写入文件“%1”时出错：%2").arg(m_path, fileFailureReason(m_file)));
}

void GbkTextWriter::close() {
    if (!m_file.isOpen())
        return;
    try {
        flush();
    } catch (...) {
        m_file.close();
        throw;
    }
    m_file.close();
}

void writeGbkTextFile(const QString& path, const QStringList& lines) {
    GbkTextWriter writer(path);
    for (const QString& line : lines)
        writer.writeLine(line);
    writer.close();
}

QStringList readGbkTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("无法打开文件“%1”：%2").arg(path, file.errorString()));
    QString text = fromGbk(file.readAll());
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace corvalis
