// eLoran data channel: Reed-Solomon (30,10) code over GF(128).
//
// Layout: a message is 30 words of 7 bits, one per GRI, in transmission order
// w0..w29: 20 parity words w0..w19, then the 10 data words d0..d9 = w20..w29.
// Word w_j is the coefficient of x^j of the code polynomial, so parity sits at
// x^0..x^19 and data at x^20..x^29 (lowest degree sent first).
// Symbols: the word value v (0..126) stands for the field element alpha^v and
// v = 127 for 0 (not the usual bit-vector mapping). Field GF(2^7) with
// p(x) = x^7 + x^3 + 1, alpha = x; elements in "polynomial-basis form" are
// integers 0..127 whose bit i is the coefficient of alpha^i.
// Code: generator g(x) = prod_{i=1..20} (x - alpha^i); systematic encoding,
// parity = x^20 D(x) mod g(x). It is the (127,107) code shortened by 97 zero
// symbols at x^30..x^126; minimum distance 21, so t errors plus f erasures are
// corrected when 2t + f <= 20.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace corvane::eloran {

constexpr int codewords = 30;   // words per message
constexpr int datawords = 10;   // d0..d9
constexpr int paritywords = 20; // w0..w19

using Codeword = std::array<std::uint8_t, codewords>;  // w0..w29, each 0..127
using DataWords = std::array<std::uint8_t, datawords>; // d0..d9, each 0..127

// Word value (0..127) <-> element in polynomial-basis form (0..127).
std::uint8_t wordtoelement(std::uint8_t word);
std::uint8_t elementtoword(std::uint8_t element);

// The generator polynomial, coefficient of x^0 first, in polynomial-basis form.
std::array<std::uint8_t, paritywords + 1> rsgenerator();

// The 30 words (parity then data) for data words d0..d9. Bits above bit 6 of
// the data words are ignored.
Codeword rsencode(const DataWords& data);

struct RsResult {
    Codeword words{};   // the corrected codeword (the input when ok is false)
    bool ok = false;    // true only when `words` is a codeword
    int corrected = 0;  // positions whose word was changed
};

// Corrects up to t errors and f erasures with 2t + f <= 20. `erasures` are
// word indices 0..29 (transmission order) whose values are unreliable; they
// must be distinct, and at most 20. Fails (ok false, input returned) on a word
// value above 127, on an invalid erasure list, and whenever no codeword lies
// within the correcting power; a success is always checked to be a codeword.
RsResult rsdecode(const Codeword& received, std::span<const int> erasures = {});

// The same for several erasure sets on one received word: the syndromes are
// computed once.
class RsDecoder {
public:
    explicit RsDecoder(const Codeword& received);
    RsResult decode(std::span<const int> erasures = {}) const;

private:
    Codeword received_;
    Codeword elements_{};                             // field elements, polynomial basis
    std::array<std::uint8_t, paritywords> syndromes_{};  // c(alpha^1) .. c(alpha^20)
    bool valid_ = true;                               // every word 0 .. 127
};

}  // namespace corvane::eloran
