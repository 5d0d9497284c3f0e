#include "eloran/crc14.h"

namespace corvane::eloran {

std::uint16_t crc14(std::uint64_t message) {
    std::uint32_t reg = 0;
    for (int j = 55; j >= 0; --j) {
        const std::uint32_t feedback = ((reg >> 13) ^ static_cast<std::uint32_t>(message >> j)) & 1u;
        reg = (reg << 1) & 0x3fffu;
        if (feedback) reg ^= 0x20b1u;
    }
    return static_cast<std::uint16_t>(reg);
}

}  // namespace corvane::eloran
