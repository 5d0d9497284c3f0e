#include "eloran/reedsolomon.h"

namespace corvane::eloran {
namespace {

constexpr int fieldsize = 127;  // nonzero elements
constexpr int zero = 127;       // "log" of the zero element, as in the word form

struct Field {
    std::array<std::uint8_t, 2 * fieldsize> exp{};  // alpha^i, i = 0..253
    std::array<std::uint8_t, 128> log{};            // log[0] = zero
};

constexpr Field makefield() {
    Field f{};
    unsigned x = 1;
    for (int i = 0; i < fieldsize; ++i) {
        f.exp[i] = static_cast<std::uint8_t>(x);
        f.exp[i + fieldsize] = static_cast<std::uint8_t>(x);
        f.log[x] = static_cast<std::uint8_t>(i);
        x <<= 1;
        if (x & 0x80u) x ^= 0x89u;
    }
    f.log[0] = zero;
    return f;
}

constexpr Field gf = makefield();

using Element = std::uint8_t;

// Full product table: the decoder runs on every window of the word stream.
using Products = std::array<std::array<Element, 128>, 128>;

constexpr Products makeproducts() {
    Products p{};
    for (int a = 1; a < 128; ++a)
        for (int b = 1; b < 128; ++b) p[a][b] = gf.exp[gf.log[a] + gf.log[b]];
    return p;
}

constexpr Products products = makeproducts();

Element mul(Element a, Element b) { return products[a & 0x7f][b & 0x7f]; }

Element divide(Element a, Element b) {  // b != 0
    if (a == 0) return 0;
    return gf.exp[gf.log[a] + fieldsize - gf.log[b]];
}

Element power(int i) {  // alpha^i, any i
    const int r = ((i % fieldsize) + fieldsize) % fieldsize;
    return gf.exp[r];
}

constexpr std::array<Element, paritywords + 1> makegenerator() {
    std::array<Element, paritywords + 1> g{};
    g[0] = 1;
    for (int i = 1; i <= paritywords; ++i) {  // multiply by (x + alpha^i)
        const Element root = gf.exp[i];
        for (int k = i; k >= 0; --k) {
            Element v = 0;
            if (g[k] != 0)
                v = gf.exp[gf.log[g[k]] + gf.log[root]];
            g[k] =
                static_cast<Element>(v ^ (k > 0 ? g[k - 1] : 0));
        }
    }
    return g;
}

constexpr std::array<Element, paritywords + 1> generator = makegenerator();

using Syndromes = std::array<Element, paritywords>;  // s[i] = c(alpha^(i + 1))

Syndromes syndromes(const std::array<Element, codewords>& c) {
    Syndromes s{};
    for (int i = 0; i < paritywords; ++i) {
        const Element a = power(i + 1);
        Element acc = 0;  // Horner from x^29 down
        for (int j = codewords - 1; j >= 0; --j) acc = static_cast<Element>(mul(acc, a) ^ c[j]);
        s[i] = acc;
    }
    return s;
}

bool allzero(const Syndromes& s) {
    for (Element v : s)
        if (v != 0) return false;
    return true;
}

}  // namespace

std::uint8_t wordtoelement(std::uint8_t word) {
    word &= 0x7f;
    return word == zero ? 0 : gf.exp[word];
}

std::uint8_t elementtoword(std::uint8_t element) { return gf.log[element & 0x7f]; }

std::array<std::uint8_t, paritywords + 1> rsgenerator() { return generator; }

Codeword rsencode(const DataWords& data) {
    // Remainder of x^20 D(x) by g(x), long division from x^29 down.
    std::array<Element, paritywords> rem{};  // rem[k] = coefficient of x^k
    for (int i = datawords - 1; i >= 0; --i) {
        const Element feedback = static_cast<Element>(wordtoelement(data[i]) ^ rem[paritywords - 1]);
        for (int k = paritywords - 1; k > 0; --k)
            rem[k] = static_cast<Element>(rem[k - 1] ^ mul(feedback, generator[k]));
        rem[0] = mul(feedback, generator[0]);
    }
    Codeword out{};
    for (int k = 0; k < paritywords; ++k) out[k] = elementtoword(rem[k]);
    for (int i = 0; i < datawords; ++i) out[paritywords + i] = static_cast<std::uint8_t>(data[i] & 0x7f);
    return out;
}

RsDecoder::RsDecoder(const Codeword& received) : received_(received) {
    for (int j = 0; j < codewords; ++j) {
        if (received[j] > 127) valid_ = false;
        elements_[j] = wordtoelement(received[j]);
    }
    syndromes_ = syndromes(elements_);
}

RsResult rsdecode(const Codeword& received, std::span<const int> erasures) {
    return RsDecoder(received).decode(erasures);
}

namespace {

using Poly = std::array<Element, paritywords + 1>;  // coefficient of x^k at k
// The words found wrong: their positions, as roots of the locator.
struct Roots {
    std::array<int, paritywords> positions{};
    int count = 0;
};

// The erasure locator prod (1 - X_j x), X_j = alpha^j for each erased word j.
Poly erasurelocator(std::span<const int> erasures) {
    Poly lambda{};
    lambda[0] = 1;
    for (int j : erasures) {
        const Element x = power(j);
        for (int k = paritywords; k > 0; --k) lambda[k] = static_cast<Element>(lambda[k] ^ mul(x, lambda[k - 1]));
    }
    return lambda;
}

// Berlekamp-Massey from the erasure locator of f erasures: the error and
// erasure locator Lambda(x).
Poly berlekampmassey(Poly lambda, const Syndromes& s, int f) {
    Poly b = lambda;
    int el = f;
    for (int r = f + 1; r <= paritywords; ++r) {
        Element discrepancy = 0;
        for (int i = 0; i < r; ++i) discrepancy = static_cast<Element>(discrepancy ^ mul(lambda[i], s[r - i - 1]));
        // b <- x b, keeping the unshifted copy for the update below. Lambda
        // and b have degree below r here, so terms up to x^r suffice.
        Poly shifted{};
        for (int k = r; k > 0; --k) shifted[k] = b[k - 1];
        if (discrepancy == 0) {
            b = shifted;
            continue;
        }
        Poly next = lambda;
        for (int k = 0; k <= r; ++k) next[k] = static_cast<Element>(next[k] ^ mul(discrepancy, shifted[k]));
        if (2 * el <= r + f - 1) {
            el = r + f - el;
            for (int k = 0; k <= r; ++k) b[k] = divide(lambda[k], discrepancy);
        } else {
            b = shifted;
        }
        lambda = next;
    }
    return lambda;
}

int degreeof(const Poly& p) {
    int degree = 0;
    for (int k = 0; k <= paritywords; ++k)
        if (p[k] != 0) degree = k;
    return degree;
}

// The words j whose X_j^-1 is a root of Lambda, among the 30 sent; a count
// of -1 when there are more roots than the locator can have.
Roots findroots(const Poly& lambda, int degree) {
    Roots found;
    int& roots = found.count;
    auto& positions = found.positions;
    for (int j = 0; j < codewords; ++j) {
        const Element xinv = gf.exp[(fieldsize - j) % fieldsize];
        Element v = 0;
        for (int k = degree; k >= 0; --k) v = static_cast<Element>(mul(v, xinv) ^ lambda[k]);
        if (v == 0) {
            if (roots == paritywords) return Roots{{}, -1};
            positions[roots++] = j;
        }
    }
    return found;
}

// Forney: Omega(x) = S(x) Lambda(x) mod x^20, S(x) = sum s_i x^i; with the
// first root alpha^1, e_j = Omega(X_j^-1) / Lambda'(X_j^-1). Corrects c at
// the roots' positions; false when a derivative vanishes.
bool forney(std::array<Element, codewords>& c, const Poly& lambda, int degree, const Syndromes& s,
            const Roots& roots) {
    Poly omega{};
    for (int i = 0; i < paritywords; ++i)
        for (int k = 0; k <= i && k <= degree; ++k) omega[i] = static_cast<Element>(omega[i] ^ mul(s[i - k], lambda[k]));
    for (int r = 0; r < roots.count; ++r) {
        const int j = roots.positions[r];
        const Element xinv = power(-j);
        Element num = 0;
        for (int k = paritywords - 1; k >= 0; --k) num = static_cast<Element>(mul(num, xinv) ^ omega[k]);
        Element den = 0;  // formal derivative: odd terms only
        for (int k = 1; k <= degree; k += 2) den = static_cast<Element>(den ^ mul(lambda[k], power(-j * (k - 1))));
        if (den == 0) return false;
        c[j] = static_cast<Element>(c[j] ^ divide(num, den));
    }
    return true;
}

}  // namespace

RsResult RsDecoder::decode(std::span<const int> erasures) const {
    RsResult result;
    result.words = received_;
    const int f = static_cast<int>(erasures.size());
    if (!valid_ || f > paritywords) return result;
    std::array<bool, codewords> erased{};
    for (int j : erasures) {
        if (j < 0 || j >= codewords || erased[j]) return result;
        erased[j] = true;
    }
    std::array<Element, codewords> c = elements_;
    const Syndromes& s = syndromes_;
    if (allzero(s)) {
        result.ok = true;
        return result;
    }
    const Poly lambda = berlekampmassey(erasurelocator(erasures), s, f);
    const int degree = degreeof(lambda);
    // t errors (degree - f) plus f erasures must stay within the distance.
    if (degree < f || 2 * (degree - f) + f > paritywords) return result;
    // Roots among the 30 positions only (a root elsewhere means failure).
    const Roots roots = findroots(lambda, degree);
    if (roots.count != degree) return result;
    if (!forney(c, lambda, degree, s, roots) || !allzero(syndromes(c))) return result;

    int changed = 0;
    for (int j = 0; j < codewords; ++j) {
        const std::uint8_t w = elementtoword(c[j]);
        if (w != received_[j]) ++changed;
        result.words[j] = w;
    }
    result.ok = true;
    result.corrected = changed;
    return result;
}

}  // namespace corvane::eloran
