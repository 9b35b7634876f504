#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace corvalis::workbook {

// Where a complete raw deflate stream ends, in bits from its first byte (bit 0 is the lowest bit of
// byte 0): the header of its final block and the bit after that block's last code.
struct DeflateStreamEnd {
    std::uint64_t finalBlockBit = 0;
    std::uint64_t endBit = 0;
};

// Walks the blocks and codes of a raw deflate stream without producing its output. Empty when the
// data is not one complete, well-formed stream.
std::optional<DeflateStreamEnd> findDeflateStreamEnd(const unsigned char* data, std::size_t size);

} // namespace corvalis::workbook
