#pragma once

// Whole-file and in-place reads and writes for tests that look at or damage files byte by byte.
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

// The bytes at an offset; fewer or none past the end.
inline QByteArray readAt(const QString& path, qint64 offset, int bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    return file.read(bytes);
}

// Overwrites bytes at an offset, leaving the rest of the file as it is.
inline void writeAt(const QString& path, qint64 offset, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(offset));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

} // namespace corvalis::testing
