// eLoran data channel: CRC-14 of a message.
//
// Layout: the 70-bit data block W holds the message in bits 0..55 (bit j = m_j)
// and the CRC in bits 56..69. With M(x) = sum m_j x^j, the CRC is
// R(x) = x^14 M(x) mod G(x), G(x) = x^14 + x^13 + x^7 + x^5 + x^4 + 1, bit i of
// the result = coefficient of x^i. As a shift register: feed m_55 first down to
// m_0 into an unreflected register, polynomial 0x20B1, initial 0, no final XOR.
#pragma once

#include <cstdint>

namespace corvane::eloran {

// CRC-14 (0 .. 0x3fff) of bits 0..55 of `message`; higher bits are ignored.
std::uint16_t crc14(std::uint64_t message);

}  // namespace corvane::eloran
