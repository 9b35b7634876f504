#include "Passwords.h"

#include <utility>

namespace corvalis {

QString deriveFromBase(const QString& base, const Substitution* table, int tableSize, const int (*swaps)[2],
                       int swapCount) {
    QString text = base;
    for (int i = 0; i < tableSize; ++i) {
        const int at = text.indexOf(QLatin1Char(table[i].from));
        if (at >= 0)
            text[at] = QLatin1Char(table[i].to);
    }
    for (int i = 0; i < swapCount; ++i) {
        const int a = swaps[i][0], b = swaps[i][1];
        if (a < text.size() && b < text.size())
            std::swap(text[a], text[b]);
    }
    return text;
}

QString deriveDatabasePassword() {
    static const QString base = QStringLiteral("Kv7rQ2mWx9");
    static const Substitution table[10] = {{'K', 'h'}, {'7', 'T'}, {'r', '4'}, {'Q', 'e'}, {'2', 'Z'},
                                           {'m', '8'}, {'W', 'p'}, {'x', 'N'}, {'9', 'c'}, {'v', '3'}};
    static const int swaps[2][2] = {{0, 7}, {3, 5}};
    return deriveFromBase(base, table, 10, swaps, 2);
}

} // namespace corvalis
