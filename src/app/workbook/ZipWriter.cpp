#include "ZipWriter.h"

#include "DeflateStreamEnd.h"
#include "app/Errors.h"

#include <QFileInfo>
#include <algorithm>
#include <libdeflate.h>
#include <optional>
#include <zlib.h>

namespace corvalis::workbook {

namespace {

constexpr quint32 LocalHeaderSignature = 0x04034b50;
constexpr quint32 CentralHeaderSignature = 0x02014b50;
constexpr quint32 EndSignature = 0x06054b50;
constexpr quint32 End64Signature = 0x06064b50;
constexpr quint32 End64LocatorSignature = 0x07064b50;
constexpr quint16 Version = 20;
constexpr quint16 Version64 = 45;
constexpr quint16 Deflated = 8;
// 1980-01-01 00:00: a fixed stamp keeps the same content byte-identical from one run to the next.
constexpr quint16 DosTime = 0;
constexpr quint16 DosDate = (1 << 5) | 1;
constexpr quint32 Saturated32 = 0xFFFFFFFFu;

void put16(QByteArray& out, quint16 value) {
    out.append(char(value & 0xFF)).append(char(value >> 8));
}

void put32(QByteArray& out, quint32 value) {
    put16(out, quint16(value & 0xFFFF));
    put16(out, quint16(value >> 16));
}

void put64(QByteArray& out, quint64 value) {
    put32(out, quint32(value & 0xFFFFFFFFu));
    put32(out, quint32(value >> 32));
}

} // namespace

struct RawDeflater::State {
    libdeflate_compressor* compressor = nullptr;
    int level = 0;
    // zlib, only for a piece whose end the fast path cannot find (never seen in practice).
    std::optional<z_stream> zlib;

    ~State() {
        libdeflate_free_compressor(compressor);
        if (zlib)
            deflateEnd(&*zlib);
    }
    QByteArray zlibPiece(const char* data, qsizetype size, bool last);
};

RawDeflater::RawDeflater(int level) : m_state(new State) {
    // zlib's default level (-1) is its level 6.
    m_state->level = level < 0 ? 6 : level;
    m_state->compressor = libdeflate_alloc_compressor(m_state->level);
    if (!m_state->compressor) {
        delete m_state;
        throw Error(QStringLiteral("无法初始化压缩。"));
    }
}

RawDeflater::~RawDeflater() {
    delete m_state;
}

// A stream of its own for every piece, several times faster than zlib. Such a stream ends with a
// final block; a piece that others follow has that block's final bit cleared and is brought to a
// byte boundary by an empty stored block, as a sync flush would: 3 header bits, zero padding, then
// LEN 0 and NLEN 0xFFFF.
QByteArray RawDeflater::piece(const char* data, qsizetype size, bool last) {
    QByteArray out;
    piece(data, size, last, out);
    return out;
}

void RawDeflater::piece(const char* data, qsizetype size, bool last, QByteArray& out) {
    const size_t bound = libdeflate_deflate_compress_bound(m_state->compressor, size_t(size));
    out.resize(qsizetype(bound) + 8);
    const size_t produced =
        libdeflate_deflate_compress(m_state->compressor, data, size_t(size), out.data(), size_t(out.size()));
    if (produced == 0)
        throw Error(QStringLiteral("压缩失败。"));
    out.resize(qsizetype(produced));
    if (last)
        return;
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    const std::optional<DeflateStreamEnd> end = findDeflateStreamEnd(bytes, produced);
    if (!end || (end->endBit + 7) / 8 != produced ||
        !(bytes[end->finalBlockBit / 8] >> (end->finalBlockBit % 8) & 1)) {
        out = m_state->zlibPiece(data, size, last);
        return;
    }
    bytes[end->finalBlockBit / 8] &= static_cast<unsigned char>(~(1u << (end->finalBlockBit % 8)));
    const quint64 alignedEnd = (end->endBit + 3 + 7) / 8;
    out.resize(qsizetype(alignedEnd));
    bytes = reinterpret_cast<unsigned char*>(out.data());
    // Past the last code: the stored block's header and padding, all zero bits.
    const unsigned used = unsigned(end->endBit % 8);
    if (used != 0)
        bytes[end->endBit / 8] &= static_cast<unsigned char>((1u << used) - 1);
    for (quint64 at = (end->endBit + 7) / 8; at < alignedEnd; ++at)
        bytes[at] = 0;
    out.append("\x00\x00\xFF\xFF", 4);
}

QByteArray RawDeflater::State::zlibPiece(const char* data, qsizetype size, bool last) {
    if (!zlib) {
        zlib.emplace();
        if (deflateInit2(&*zlib, std::clamp(level, 1, 9), Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
            Z_OK) {
            zlib.reset();
            throw Error(QStringLiteral("无法初始化压缩。"));
        }
    }
    z_stream& stream = *zlib;
    deflateReset(&stream);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(size))) + 16, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream.avail_in = uInt(size);
    qsizetype produced = 0;
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        stream.avail_out = uInt(out.size() - produced);
        const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
        produced = out.size() - qsizetype(stream.avail_out);
        if (result == Z_STREAM_ERROR)
            throw Error(QStringLiteral("压缩失败。"));
        if (stream.avail_out != 0 && (!last || result == Z_STREAM_END))
            break;
        out.resize(out.size() * 2);
    }
    out.resize(produced);
    return out;
}

quint32 crcOf(const char* data, qsizetype size) {
    return quint32(libdeflate_crc32(0, data, size_t(size)));
}

void appendToSummary(DeflatedSummary& summary, quint32 crc, quint64 size, quint64 compressedSize) {
    summary.crc = quint32(crc32_combine64(summary.crc, crc, z_off64_t(size)));
    summary.size += size;
    summary.compressedSize += compressedSize;
}

ZipWriter::ZipWriter(const QString& path, quint64 large64) : m_file(path), m_large64(large64) {
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(QStringLiteral("无法创建文件“%1”：%2").arg(path, m_file.errorString()));
}

void ZipWriter::failed() {
    throw FileError(QStringLiteral("无法写入文件“%1”：%2").arg(m_file.fileName(), m_file.errorString()));
}

void ZipWriter::write(const QByteArray& bytes) {
    writeData(bytes.constData(), bytes.size());
}

void ZipWriter::writeData(const char* data, qint64 size) {
    if (m_file.write(data, size) != size)
        failed();
    m_written += quint64(size);
}

void ZipWriter::copyData(QIODevice& source) {
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 read = source.read(buffer.data(), buffer.size());
        if (read < 0)
            throw FileError(QStringLiteral("无法读取临时文件：%1").arg(source.errorString()));
        if (read == 0)
            return;
        writeData(buffer.constData(), read);
    }
}

void ZipWriter::addMember(const QString& name, const QByteArray& content) {
    RawDeflater deflater(Z_DEFAULT_COMPRESSION);
    const QByteArray deflated = deflater.piece(content.constData(), content.size(), true);
    DeflatedSummary summary;
    appendToSummary(summary, crcOf(content.constData(), content.size()), quint64(content.size()),
                    quint64(deflated.size()));
    beginMember(name, summary);
    write(deflated);
    endMember();
}

void ZipWriter::beginMember(const QString& name, const DeflatedSummary& summary) {
    Entry entry{name.toUtf8(), summary, m_written};
    const bool large = summary.size >= m_large64 || summary.compressedSize >= m_large64;
    QByteArray header;
    put32(header, LocalHeaderSignature);
    put16(header, large ? Version64 : Version);
    put16(header, 0x0800); // names in UTF-8
    put16(header, Deflated);
    put16(header, DosTime);
    put16(header, DosDate);
    put32(header, summary.crc);
    put32(header, large ? Saturated32 : quint32(summary.compressedSize));
    put32(header, large ? Saturated32 : quint32(summary.size));
    put16(header, quint16(entry.name.size()));
    put16(header, large ? 20 : 0);
    header.append(entry.name);
    if (large) {
        put16(header, 0x0001);
        put16(header, 16);
        put64(header, summary.size);
        put64(header, summary.compressedSize);
    }
    write(header);
    m_memberStart = m_written;
    m_entries.push_back(entry);
}

void ZipWriter::endMember() {
    if (m_written - m_memberStart != m_entries.back().summary.compressedSize)
        throw FileError(QStringLiteral("写入文件“%1”时数据长度不符。").arg(m_file.fileName()));
}

void ZipWriter::finish() {
    const quint64 directoryStart = m_written;
    for (const Entry& entry : m_entries) {
        const bool largeSizes = entry.summary.size >= m_large64 || entry.summary.compressedSize >= m_large64;
        const bool largeOffset = entry.offset >= m_large64;
        QByteArray extra;
        if (largeSizes) {
            put64(extra, entry.summary.size);
            put64(extra, entry.summary.compressedSize);
        }
        if (largeOffset)
            put64(extra, entry.offset);
        if (!extra.isEmpty()) {
            QByteArray field;
            put16(field, 0x0001);
            put16(field, quint16(extra.size()));
            extra.prepend(field);
        }
        const bool large = largeSizes || largeOffset;
        QByteArray header;
        put32(header, CentralHeaderSignature);
        put16(header, large ? Version64 : Version);
        put16(header, large ? Version64 : Version);
        put16(header, 0x0800);
        put16(header, Deflated);
        put16(header, DosTime);
        put16(header, DosDate);
        put32(header, entry.summary.crc);
        put32(header, largeSizes ? Saturated32 : quint32(entry.summary.compressedSize));
        put32(header, largeSizes ? Saturated32 : quint32(entry.summary.size));
        put16(header, quint16(entry.name.size()));
        put16(header, quint16(extra.size()));
        put16(header, 0); // comment
        put16(header, 0); // disk
        put16(header, 0); // internal attributes
        put32(header, 0); // external attributes
        put32(header, largeOffset ? Saturated32 : quint32(entry.offset));
        header.append(entry.name).append(extra);
        write(header);
    }
    const quint64 directorySize = m_written - directoryStart;
    const quint64 count = m_entries.size();
    const bool large = count >= 0xFFFF || directorySize >= m_large64 || directoryStart >= m_large64;
    QByteArray end;
    if (large) {
        const quint64 end64Start = m_written;
        put32(end, End64Signature);
        put64(end, 44);
        put16(end, Version64);
        put16(end, Version64);
        put32(end, 0);
        put32(end, 0);
        put64(end, count);
        put64(end, count);
        put64(end, directorySize);
        put64(end, directoryStart);
        put32(end, End64LocatorSignature);
        put32(end, 0);
        put64(end, end64Start);
        put32(end, 1);
    }
    put32(end, EndSignature);
    put16(end, 0);
    put16(end, 0);
    put16(end, large ? 0xFFFF : quint16(count));
    put16(end, large ? 0xFFFF : quint16(count));
    put32(end, large ? Saturated32 : quint32(directorySize));
    put32(end, large ? Saturated32 : quint32(directoryStart));
    put16(end, 0);
    write(end);
    if (!m_file.flush())
        failed();
    m_file.close();
}

} // namespace corvalis::workbook
