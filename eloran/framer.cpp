#include "eloran/framer.h"

#include <algorithm>
#include <cmath>

#include "eloran/crc14.h"

namespace corvane::eloran {
namespace {

constexpr int misseslimit = 3;
constexpr int quickmisseslimit = 30;
constexpr std::uint64_t probespacing = 2 * codewords;  // quick search: words between full-correction probes
constexpr int erasuresteps[] = {0, 2, 4, 6, 8, 10};

}  // namespace

std::optional<FramedMessage> Framer::push(std::uint8_t word, float margin) {
    const std::size_t slot = count_ % codewords;
    words_[slot] = static_cast<std::uint8_t>(word & 0x7f);
    margins_[slot] = std::isnan(margin) ? -INFINITY : margin;
    ++count_;
    if (count_ < codewords) return std::nullopt;
    const bool expected = locked_ && count_ == expected_;
    if (!expected) {
        if (!quicksearch_ && locked_) return std::nullopt;
        // Quick search: intact data words anywhere, and the moving probe
        // while unlocked.
        const bool probe = !locked_ && count_ % probespacing == count_ / probespacing % codewords;
        if (quicksearch_ && !probe && !datacrcok()) return std::nullopt;
    }

    std::optional<FramedMessage> found = trywindow();
    if (found) {
        locked_ = true;
        misses_ = 0;
        expected_ = count_ + codewords;
    } else if (expected) {
        expected_ = count_ + codewords;
        if (++misses_ >= (quicksearch_ ? quickmisseslimit : misseslimit)) {
            locked_ = false;
            misses_ = 0;
        }
    }
    return found;
}

bool Framer::datacrcok() const {
    // d0..d9 are the last 10 words: bits 0..55 in d0..d7, the CRC in d8, d9.
    auto word = [&](int i) { return words_[(count_ - datawords + static_cast<std::uint64_t>(i)) % codewords]; };
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 7 | word(i);
    return crc14(bits) == (word(8) | word(9) << 7);
}

std::optional<FramedMessage> Framer::trywindow() const {
    // The window in transmission order: the oldest of the last 30 words first.
    Codeword received{};
    std::array<float, codewords> margins{};
    for (int j = 0; j < codewords; ++j) {
        const std::size_t slot = (count_ + static_cast<std::uint64_t>(j)) % codewords;
        received[j] = words_[slot];
        margins[j] = margins_[slot];
    }
    std::array<int, codewords> order{};
    for (int j = 0; j < codewords; ++j) order[j] = j;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return margins[a] < margins[b];
    });

    const RsDecoder decoder(received);
    for (int f : erasuresteps) {
        const RsResult rs = decoder.decode(std::span<const int>(order.data(), f));
        if (!rs.ok) continue;
        FramedMessage out;
        std::copy(rs.words.begin() + paritywords, rs.words.end(), out.data.begin());
        const DecodedMessage decoded = decodemessage(out.data);
        if (!decoded.crcok) continue;
        out.message = decoded.message;
        out.corrected = rs.corrected;
        out.lastindex = count_;
        return out;
    }
    return std::nullopt;
}

}  // namespace corvane::eloran
