#include "PageNotes.h"

#include "app/GbkText.h"

#include <QFile>
#include <QStringList>
#include <cctype>
#include <vector>

namespace corvalis::records {

namespace {
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    QString name() const {
        return QStringLiteral("#%1%2%3")
            .arg(red, 2, 16, QLatin1Char('0'))
            .arg(green, 2, 16, QLatin1Char('0'))
            .arg(blue, 2, 16, QLatin1Char('0'));
    }
};

struct Style {
    bool bold = false;
    bool italic = false;
    int halfPoints = 0;
    int color = 0;
    bool skip = false;
    int unicodeSkip = 1;
};

const char* const skippedDestinations[] = {"fonttbl",
                                           "stylesheet",
                                           "info",
                                           "pict",
                                           "header",
                                           "footer",
                                           "headerl",
                                           "headerr",
                                           "footerl",
                                           "footerr",
                                           "object",
                                           "listtable",
                                           "listoverridetable",
                                           "rsidtbl",
                                           "generator",
                                           "xmlnstbl",
                                           "themedata",
                                           "datastore",
                                           "latentstyles",
                                           "colorschememapping",
                                           "filetbl"};

class RtfReader {
public:
    explicit RtfReader(const QByteArray& rtf) : m_rtf(rtf) {}

    QString html() {
        m_stack.push_back(Style());
        while (m_pos < m_rtf.size()) {
            const char c = m_rtf[m_pos++];
            if (c == '{') {
                flushBytes();
                m_stack.push_back(m_stack.back());
            } else if (c == '}') {
                flushBytes();
                if (m_inColorTable && m_stack.size() <= m_colorDepth)
                    m_inColorTable = false;
                if (m_stack.size() > 1)
                    m_stack.pop_back();
            } else if (c == '\\') {
                controlWord();
            } else if (c != '\r' && c != '\n') {
                byte(c);
            }
        }
        flushBytes();
        closeParagraph();
        return m_html;
    }

private:
    Style& style() { return m_stack.back(); }

    void byte(char c) {
        if (style().skip)
            return;
        if (m_inColorTable) {
            if (c == ';')
                m_colors.emplace_back();
            return;
        }
        if (m_pendingSkip > 0) {
            --m_pendingSkip;
            return;
        }
        m_bytes.append(c);
    }

    void flushBytes() {
        if (m_bytes.isEmpty())
            return;
        const QByteArray bytes = m_bytes;
        m_bytes.clear();
        text(fromGbk(bytes));
    }

    void text(const QString& text) {
        if (style().skip || text.isEmpty())
            return;
        if (m_inColorTable)
            return;
        QString escaped = text.toHtmlEscaped();
        QStringList css;
        if (style().bold)
            css << QStringLiteral("font-weight:bold");
        if (style().italic)
            css << QStringLiteral("font-style:italic");
        if (style().halfPoints > 0)
            css << QStringLiteral("font-size:%1pt").arg(style().halfPoints / 2.0);
        if (style().color > 0 && style().color < int(m_colors.size()))
            css << QStringLiteral("color:%1").arg(m_colors[size_t(style().color)].name());
        m_paragraph +=
            css.isEmpty()
                ? escaped
                : QStringLiteral("<span style=\"%1\">%2</span>").arg(css.join(QLatin1Char(';')), escaped);
    }

    void closeParagraph() {
        if (!m_paragraph.isEmpty())
            m_html += QStringLiteral("<p>") + m_paragraph + QStringLiteral("</p>");
        m_paragraph.clear();
    }

    void controlWord() {
        if (m_pos >= m_rtf.size())
            return;
        const char first = m_rtf[m_pos];
        if (!std::isalpha(static_cast<unsigned char>(first))) {
            ++m_pos;
            controlSymbol(first);
            return;
        }
        QByteArray word;
        while (m_pos < m_rtf.size() && std::isalpha(static_cast<unsigned char>(m_rtf[m_pos])))
            word.append(m_rtf[m_pos++]);
        QByteArray digits;
        if (m_pos < m_rtf.size() &&
            (m_rtf[m_pos] == '-' || std::isdigit(static_cast<unsigned char>(m_rtf[m_pos]))))
            digits.append(m_rtf[m_pos++]);
        while (m_pos < m_rtf.size() && std::isdigit(static_cast<unsigned char>(m_rtf[m_pos])))
            digits.append(m_rtf[m_pos++]);
        if (m_pos < m_rtf.size() && m_rtf[m_pos] == ' ')
            ++m_pos;
        const bool hasNumber = !digits.isEmpty() && digits != "-";
        const int number = hasNumber ? digits.toInt() : 1;
        apply(word, number, hasNumber);
    }

    void controlSymbol(char symbol) {
        switch (symbol) {
        case '\'': {
            const QByteArray hex = m_rtf.mid(m_pos, 2);
            m_pos += 2;
            bool ok = false;
            const int value = hex.toInt(&ok, 16);
            if (ok)
                byte(char(value));
            break;
        }
        case '*':
            style().skip = true;
            break;
        case '~':
            flushBytes();
            text(QStringLiteral("\u00a0"));
            break;
        case '\\':
        case '{':
        case '}':
            byte(symbol);
            break;
        case '\r':
        case '\n':
            flushBytes();
            closeParagraph();
            break;
        default:
            break;
        }
    }

    void apply(const QByteArray& word, int number, bool hasNumber) {
        for (const char* destination : skippedDestinations)
            if (word == destination) {
                style().skip = true;
                return;
            }
        if (word == "colortbl") {
            flushBytes();
            m_inColorTable = true;
            m_colorDepth = m_stack.size();
            m_colors.assign(1, Rgb());
            return;
        }
        if (m_inColorTable) {
            applyColorTable(word, number);
            return;
        }
        if (word == "u") {
            flushBytes();
            if (!style().skip)
                text(QString(QChar(char16_t(number < 0 ? number + 65536 : number))));
            m_pendingSkip = style().unicodeSkip;
            return;
        }
        flushBytes();
        if (word == "par" || word == "sect" || word == "page")
            closeParagraph();
        else if (word == "line")
            m_paragraph += QStringLiteral("<br/>");
        else if (word == "tab")
            text(QStringLiteral("\t"));
        else if (word == "b")
            style().bold = !hasNumber || number != 0;
        else if (word == "i")
            style().italic = !hasNumber || number != 0;
        else if (word == "fs")
            style().halfPoints = number;
        else if (word == "cf")
            style().color = number;
        else if (word == "uc")
            style().unicodeSkip = number;
        else if (word == "plain")
            style() = Style{false, false, 0, 0, style().skip, style().unicodeSkip};
    }

    void applyColorTable(const QByteArray& word, int number) {
        Rgb& color = m_colors.back();
        if (word == "red")
            color.red = number & 0xff;
        else if (word == "green")
            color.green = number & 0xff;
        else if (word == "blue")
            color.blue = number & 0xff;
    }

    const QByteArray& m_rtf;
    qsizetype m_pos = 0;
    std::vector<Style> m_stack;
    QByteArray m_bytes;
    QString m_paragraph;
    QString m_html;
    int m_pendingSkip = 0;
    bool m_inColorTable = false;
    size_t m_colorDepth = 0;
    std::vector<Rgb> m_colors;
};
} // namespace

QString rtfToHtml(const QByteArray& rtf) {
    return RtfReader(rtf).html();
}

QString readPageNotes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return rtfToHtml(file.readAll());
}

} // namespace corvalis::records
