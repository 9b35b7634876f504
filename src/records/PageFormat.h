#pragma once

#include <QtGlobal>

// The engine's file layout, shared by the reading of its pages and their writing: a header of 100
// bytes on the first page, b-tree pages of the kinds below, numbers stored big-endian.
namespace corvalis::records::pageformat {

inline constexpr int HeaderBytes = 100;
inline constexpr unsigned char LeafTablePage = 0x0d;
inline constexpr unsigned char InteriorTablePage = 0x05;
inline constexpr unsigned char LeafIndexPage = 0x0a;
inline constexpr unsigned char InteriorIndexPage = 0x02;
inline constexpr int LeafHeaderBytes = 8;
inline constexpr int InteriorHeaderBytes = 12;
// The byte whose page the engine keeps for its file locks.
inline constexpr qint64 LockByteOffset = 0x40000000;

inline quint32 bigEndian16(const unsigned char* p) {
    return quint32(p[0]) << 8 | p[1];
}

inline quint32 bigEndian32(const unsigned char* p) {
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

} // namespace corvalis::records::pageformat
