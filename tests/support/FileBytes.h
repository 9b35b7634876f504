#pragma once

// Whole-file reads and writes for tests that look at or damage files byte by byte.
#include <QByteArray>
#include <QFile>
#include <QtTest>

namespace corvalis::testing {

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace corvalis::testing
