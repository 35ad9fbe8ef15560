// formatValue: "%.12g" of a float widened to double, without the C library.
//
// A float is m * 2^e with m below 2^24, so its value scaled by a power of ten
// to twelve integer digits is m * 5^q * 2^(e + q) (or m * 2^e / 10^-q), a
// product that fits 192 bits. The integer part and the bits below it are then
// exact, and rounding follows printf: to nearest, exact ties to even.
#include <bit>
#include <cstring>

#include "curve_writer.h"

namespace {

using U128 = unsigned __int128;

constexpr uint64_t kTwelveDigits = 1000000000000ull;  // 10^12
constexpr int kMaxPow5 = 55;                          // the largest 5^q below 2^128

constexpr auto kPow5 = [] {
    struct Table {
        U128 value[kMaxPow5 + 1];
    } table{};
    U128 p = 1;
    for (int q = 0; q <= kMaxPow5; ++q, p *= 5) table.value[q] = p;
    return table;
}();

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// floor(log10(2^b)) for |b| < 1650.
int floorLog10Pow2(int b) {
    return b >= 0 ? (b * 78913) >> 18 : -((((-b) * 78913) >> 18) + 1);
}

// The scaled value: its integer part and what the dropped bits held.
struct Scaled {
    uint64_t integer = 0;
    bool restZero = true;    // nothing below the integer part
    bool aboveHalf = false;  // more than one half below it
    bool exactHalf = false;  // exactly one half
};

// m * 2^e * 10^q, q >= 0.
Scaled scaleUp(uint64_t m, int e, int q) {
    // 5^56 passes 128 bits; the one power beyond goes into m.
    const int q5 = q > kMaxPow5 ? kMaxPow5 : q;
    for (int extra = q5; extra < q; ++extra) m *= 5;
    const U128 p = kPow5.value[q5];
    U128 low = static_cast<U128>(m) * static_cast<uint64_t>(p);
    uint64_t high = 0;  // bits 128 and up of the product
    if (const auto pHigh = static_cast<uint64_t>(p >> 64); pHigh != 0) {
        const U128 middle = static_cast<U128>(m) * pHigh;
        const U128 shifted = middle << 64;
        high = static_cast<uint64_t>(middle >> 64);
        low += shifted;
        if (low < shifted) ++high;
    }
    Scaled r;
    const int t = e + q;  // remaining power of two
    if (t >= 0) {
        r.integer = static_cast<uint64_t>(low) << t;
        return r;
    }
    const int s = -t;  // below 128 for every float
    r.integer = static_cast<uint64_t>(low >> s);
    if (high != 0) r.integer |= static_cast<uint64_t>(static_cast<U128>(high) << (128 - s));
    const bool halfBit = ((low >> (s - 1)) & 1) != 0;
    const bool belowZero = (low & ((static_cast<U128>(1) << (s - 1)) - 1)) == 0;
    r.restZero = !halfBit && belowZero;
    r.aboveHalf = halfBit && !belowZero;
    r.exactHalf = halfBit && belowZero;
    return r;
}

// m * 2^e / 10^p, p >= 1; e is then at least 16.
Scaled scaleDown(uint64_t m, int e, int p) {
    U128 divisor = 1;
    for (int i = 0; i < p; ++i) divisor *= 10;
    const U128 n = static_cast<U128>(m) << e;
    const U128 rest = n % divisor;
    Scaled r;
    r.integer = static_cast<uint64_t>(n / divisor);
    r.restZero = rest == 0;
    r.aboveHalf = 2 * rest > divisor;
    r.exactHalf = 2 * rest == divisor;
    return r;
}

char* putTwo(char* out, uint32_t n) {
    std::memcpy(out, kDigitPairs + 2 * static_cast<std::size_t>(n), 2);
    return out + 2;
}

char* putFour(char* out, uint32_t n) {
    return putTwo(putTwo(out, n / 100), n % 100);
}

}  // namespace

namespace {

// The twelve significant digits of the finite non-zero magnitude m * 2^e
// (m normalised to bit 23), rounded like printf, and k, the decimal exponent
// of the first.
uint64_t roundedDigits(uint32_t m, int e, int* k) {
    // k is the decimal exponent or one below it; the scaled value then has
    // twelve or thirteen integer digits.
    *k = floorLog10Pow2(e + 23);
    const int q = 11 - *k;
    const Scaled r = q >= 0 ? scaleUp(m, e, q) : scaleDown(m, e, -q);
    uint64_t digits = r.integer;
    bool roundUp;
    if (digits >= kTwelveDigits) {
        const auto last = static_cast<uint32_t>(digits % 10);
        digits /= 10;
        ++*k;
        roundUp = last > 5 || (last == 5 && (!r.restZero || (digits & 1) != 0));
    } else {
        roundUp = r.aboveHalf || (r.exactHalf && (digits & 1) != 0);
    }
    if (roundUp && ++digits == kTwelveDigits) {
        digits /= 10;
        ++*k;
    }
    return digits;
}

// Writes the first length digits of text as %g lays out a value whose first
// digit has the decimal exponent k: with an exponent, as a fraction below 1,
// or as a fixed number.
char* placeDigits(char* out, const char* text, int length, int k) {
    if (k < -4 || k >= 12) {
        *out++ = text[0];
        if (length > 1) {
            *out++ = '.';
            std::memcpy(out, text + 1, static_cast<std::size_t>(length - 1));
            out += length - 1;
        }
        *out++ = 'e';
        *out++ = k < 0 ? '-' : '+';
        return putTwo(out, static_cast<uint32_t>(k < 0 ? -k : k));
    }
    if (k < 0) {
        std::memcpy(out, "0.0000", static_cast<std::size_t>(1 - k));
        out += 1 - k;
        std::memcpy(out, text, static_cast<std::size_t>(length));
        return out + length;
    }
    const int whole = k + 1;
    std::memcpy(out, text, static_cast<std::size_t>(whole));
    out += whole;
    if (length > whole) {
        *out++ = '.';
        std::memcpy(out, text + whole, static_cast<std::size_t>(length - whole));
        out += length - whole;
    }
    return out;
}

}  // namespace

char* formatValue(char* out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if ((bits >> 31) != 0) *out++ = '-';
    const uint32_t biased = (bits >> 23) & 0xff;
    const uint32_t fraction = bits & 0x7fffff;
    if (biased == 0xff) {
        // Three letters, no terminator: the caller ends the line itself.
        const char* word = fraction != 0 ? "nan" : "inf";
        out[0] = word[0];
        out[1] = word[1];
        out[2] = word[2];
        return out + 3;
    }
    if (biased == 0 && fraction == 0) {
        *out = '0';
        return out + 1;
    }
    // Normalised so that bit 23 is the top one, subnormals included: the
    // value lies in [2^(e + 23), 2^(e + 24)).
    uint32_t m = biased == 0 ? fraction : fraction | (1u << 23);
    int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;
    const int shift = std::countl_zero(m) - 8;
    m <<= shift;
    e -= shift;

    int k = 0;
    const uint64_t digits = roundedDigits(m, e, &k);
    char text[12];
    const auto top = static_cast<uint32_t>(digits / 100000000);
    const auto rest = static_cast<uint32_t>(digits % 100000000);
    putFour(putFour(putFour(text, top), rest / 10000), rest % 10000);
    int length = 12;
    while (text[length - 1] == '0') --length;
    return placeDigits(out, text, length, k);
}
