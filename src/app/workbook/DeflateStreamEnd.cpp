#include "DeflateStreamEnd.h"

#include <cstring>
#include <utility>

namespace corvalis::workbook {

namespace {

constexpr int MaxCodeBits = 15;
constexpr int FastBits = 10;
constexpr int MaxSymbols = 288;

// The bits of the data, lowest bit first, through a buffer refilled a word at a time; reads past the
// end give zeros, and overrun() tells the caller that they were used.
class BitReader {
public:
    BitReader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint64_t position() const { return std::uint64_t(m_next) * 8 - m_count; }
    bool overrun() const { return position() > std::uint64_t(m_size) * 8; }

    // At least 56 valid bits in the buffer.
    void refill() {
        if (m_next + 8 <= m_size) {
            std::uint64_t word = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            std::memcpy(&word, m_data + m_next, 8);
#else
            for (int i = 7; i >= 0; --i)
                word = word << 8 | m_data[m_next + std::size_t(i)];
#endif
            m_buffer |= word << m_count;
            m_next += (63 - m_count) >> 3;
            m_count |= 56;
            return;
        }
        while (m_count <= 56) {
            const std::uint64_t byte = m_next < m_size ? m_data[m_next] : 0;
            m_buffer |= byte << m_count;
            ++m_next;
            m_count += 8;
        }
    }
    // The buffered bits; refill() first makes at least 56 of them valid.
    std::uint64_t bits() const {
        return m_buffer;
    }
    unsigned count() const {
        return m_count;
    }
    void skip(unsigned count) {
        m_buffer >>= count;
        m_count -= count;
    }
    unsigned take(unsigned count) {
        if (m_count < count)
            refill();
        const unsigned value = unsigned(m_buffer & ((std::uint64_t(1) << count) - 1));
        skip(count);
        return value;
    }
    void alignToByte() {
        skip(m_count & 7);
    }
    // Skips whole bytes, from a byte boundary.
    void skipBytes(std::uint64_t bytes) {
        const std::uint64_t buffered = m_count / 8;
        if (bytes < buffered) { // a whole buffer of 64 bits cannot be shifted out
            skip(unsigned(bytes * 8));
            return;
        }
        m_next += std::size_t(bytes - buffered);
        m_buffer = 0;
        m_count = 0;
    }

private:
    const unsigned char* m_data;
    std::size_t m_size;
    std::size_t m_next = 0; // the next byte to buffer
    std::uint64_t m_buffer = 0;
    unsigned m_count = 0;
};

// A canonical prefix code: codes of up to FastBits bits are looked up in one step, longer ones
// are decoded bit by bit. A symbol may be followed by extra bits (lengths and distances): the fast
// look-up skips them with the code, since walking the stream needs their count only.
class PrefixCode {
public:
    // False for lengths that no prefix code has (too many codes of some length). extraBits gives the
    // count of extra bits of each symbol from firstWithExtra on.
    bool build(const unsigned char* lengths, int count, const unsigned char* extraBits = nullptr,
               int firstWithExtra = 0, int extraCount = 0) {
        m_extra = extraBits;
        m_firstWithExtra = firstWithExtra;
        m_extraCount = extraCount;
        std::memset(m_count, 0, sizeof m_count);
        std::memset(m_fast, 0, sizeof m_fast);
        for (int symbol = 0; symbol < count; ++symbol)
            ++m_count[lengths[symbol]];
        int left = 1;
        for (int length = 1; length <= MaxCodeBits; ++length) {
            left = (left << 1) - m_count[length];
            if (left < 0)
                return false;
        }
        int offsets[MaxCodeBits + 2] = {};
        for (int length = 1; length <= MaxCodeBits; ++length)
            offsets[length + 1] = offsets[length] + m_count[length];
        for (int symbol = 0; symbol < count; ++symbol) {
            if (lengths[symbol] != 0)
                m_symbols[offsets[lengths[symbol]]++] = std::uint16_t(symbol);
        }
        unsigned code = 0;
        int index = 0;
        for (int length = 1; length <= MaxCodeBits; ++length) {
            for (int k = 0; k < m_count[length]; ++k, ++code, ++index) {
                if (length > FastBits)
                    continue;
                unsigned reversed = 0;
                for (int bit = 0; bit < length; ++bit)
                    reversed |= ((code >> bit) & 1) << (length - 1 - bit);
                const int symbol = m_symbols[index];
                const unsigned extra = extraOf(symbol);
                for (unsigned at = reversed; at < (1u << FastBits); at += 1u << length)
                    m_fast[at] = std::uint32_t(symbol) << 8 | std::uint32_t(length + extra);
            }
            code <<= 1;
        }
        return true;
    }

    // The next symbol, or -1 where the bits are no code.
    // Needs at least FastBits bits in the buffer.
    int decode(BitReader& bits) const {
        const std::uint32_t entry = m_fast[bits.bits() & ((1u << FastBits) - 1)];
        if (entry != 0) {
            bits.skip(entry & 0xFFu);
            return int(entry >> 8);
        }
        const int symbol = decodeLong(bits);
        bits.skip(extraOf(symbol));
        return symbol;
    }

private:
    unsigned extraOf(int symbol) const {
        return m_extra && symbol >= m_firstWithExtra && symbol < m_firstWithExtra + m_extraCount
                   ? m_extra[symbol - m_firstWithExtra]
                   : 0;
    }
    int decodeLong(BitReader& bits) const {
        int code = 0, first = 0, index = 0;
        for (int length = 1; length <= MaxCodeBits; ++length) {
            code |= int(bits.take(1));
            const int count = m_count[length];
            if (code - count < first)
                return m_symbols[index + (code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

    std::uint16_t m_count[MaxCodeBits + 1];
    std::uint16_t m_symbols[MaxSymbols];
    std::uint32_t m_fast[1u << FastBits];
    const unsigned char* m_extra = nullptr;
    int m_firstWithExtra = 0;
    int m_extraCount = 0;
};

constexpr unsigned char LengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr unsigned char DistanceExtraBits[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The codes of one block up to its end-of-block code. The codes of lengths and distances skip
// their extra bits as they are decoded (see build()).
bool skipCodes(BitReader& bits, const PrefixCode& literals, const PrefixCode& distances) {
    for (;;) {
        // Enough for a length code, its extra bits, a distance code and its extra bits.
        if (bits.count() < 48) {
            bits.refill();
            // Past the end only zeros come, which may be codes: a stream cut short would not end.
            // Checked at each refill, the walk stops within a few codes of the end; the end of
            // the block is checked exactly.
            if (bits.overrun())
                return false;
        }
        const int symbol = literals.decode(bits);
        if (symbol < 256) {
            if (symbol < 0)
                return false;
            continue;
        }
        if (symbol == 256)
            return !bits.overrun();
        if (symbol - 257 >= 29)
            return false;
        const int distance = distances.decode(bits);
        if (distance < 0 || distance >= 30)
            return false;
    }
}

bool buildBlockCodes(PrefixCode& literals, PrefixCode& distances, const unsigned char* lengths,
                     int literalCount, int distanceCount) {
    return literals.build(lengths, literalCount, LengthExtraBits, 257, 29) &&
           distances.build(lengths + literalCount, distanceCount, DistanceExtraBits, 0, 30);
}

bool skipFixedBlock(BitReader& bits) {
    static const auto codes = [] {
        unsigned char lengths[MaxSymbols + 30];
        std::memset(lengths, 8, 144);
        std::memset(lengths + 144, 9, 112);
        std::memset(lengths + 256, 7, 24);
        std::memset(lengths + 280, 8, 8);
        std::memset(lengths + MaxSymbols, 5, 30);
        std::pair<PrefixCode, PrefixCode> built;
        buildBlockCodes(built.first, built.second, lengths, MaxSymbols, 30);
        return built;
    }();
    return skipCodes(bits, codes.first, codes.second);
}

bool skipDynamicBlock(BitReader& bits) {
    const int literalCount = int(bits.take(5)) + 257;
    const int distanceCount = int(bits.take(5)) + 1;
    const int lengthCodeCount = int(bits.take(4)) + 4;
    if (literalCount > 286 || distanceCount > 30)
        return false;
    static constexpr unsigned char order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                11, 4,  12, 3, 13, 2, 14, 1, 15};
    unsigned char lengths[MaxSymbols + 32] = {};
    for (int i = 0; i < lengthCodeCount; ++i)
        lengths[order[i]] = static_cast<unsigned char>(bits.take(3));
    PrefixCode lengthCode;
    if (!lengthCode.build(lengths, 19))
        return false;
    const int total = literalCount + distanceCount;
    for (int index = 0; index < total;) {
        bits.refill();
        const int symbol = lengthCode.decode(bits);
        if (symbol < 0 || bits.overrun())
            return false;
        if (symbol < 16) {
            lengths[index++] = static_cast<unsigned char>(symbol);
            continue;
        }
        unsigned char repeated = 0;
        int times = 0;
        if (symbol == 16) {
            if (index == 0)
                return false;
            repeated = lengths[index - 1];
            times = 3 + int(bits.take(2));
        } else if (symbol == 17) {
            times = 3 + int(bits.take(3));
        } else {
            times = 11 + int(bits.take(7));
        }
        if (index + times > total)
            return false;
        while (times-- > 0)
            lengths[index++] = repeated;
    }
    if (lengths[256] == 0)
        return false;
    PrefixCode literals, distances;
    return buildBlockCodes(literals, distances, lengths, literalCount, distanceCount) &&
           skipCodes(bits, literals, distances);
}

} // namespace

std::optional<DeflateStreamEnd> findDeflateStreamEnd(const unsigned char* data, std::size_t size) {
    BitReader bits(data, size);
    for (;;) {
        const std::uint64_t blockStart = bits.position();
        const bool final = bits.take(1) != 0;
        bool sound = false;
        switch (bits.take(2)) {
        case 0: {
            bits.alignToByte();
            const unsigned length = bits.take(16);
            const unsigned complement = bits.take(16);
            sound = length == (~complement & 0xFFFFu);
            bits.skipBytes(length);
            break;
        }
        case 1:
            sound = skipFixedBlock(bits);
            break;
        case 2:
            sound = skipDynamicBlock(bits);
            break;
        default:
            break;
        }
        if (!sound || bits.overrun())
            return std::nullopt;
        if (final)
            return DeflateStreamEnd{blockStart, bits.position()};
    }
}

} // namespace corvalis::workbook
