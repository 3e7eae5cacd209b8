// Numbers of .OBJ files parsed in place: decimals exactly as strtod reads them.
#include "mesh/numparse.h"

#include <charconv>
#include <cmath>

namespace {

inline bool isdigit(char c) { return (unsigned char)(c - '0') < 10; }

// Every power of ten up to 10^22 is exact in a double.
const double POW10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Appends the digits at p to m, eight at a time (m wraps past 19 digits;
// the caller counts them); returns their end.
inline const char* digits(const char* p, uint64_t* m)
{
    for (;;) {
        uint64_t w = words::load(p);
        int n = words::before(~words::digits(w) & words::HIGH);
        if (n == 0) return p;
        *m = *m * numparse::IPOW10[n] + words::leadingdigits(w, n);
        p += n;
        if (n < 8) return p;
    }
}

// The number text [s, e) that the fast path cannot take, converted exactly
// by libstdc++'s from_chars: the same on every platform, unlike the C
// library's strtod. intend and frac are where the integer digits end and
// the fraction digits begin; exp is the exponent.
double slowdouble(const char* s, const char* e, const char* intend, const char* frac,
                  long long exp)
{
    double d = 0;
    std::from_chars_result r = std::from_chars(s, e, d);
    if (r.ec == std::errc::result_out_of_range) {
        // from_chars leaves d alone where strtod gives infinity or zero; the
        // place of the first non-zero digit tells which.
        const char* q = s;
        while (q < e && (*q == '0' || *q == '.')) q++;
        long long mag = q < intend ? intend - q : frac - q;
        d = mag + exp > 0 ? HUGE_VAL : 0.0;
    } else if (r.ec != std::errc()) {
        d = 0;
    }
    return d;
}

}  // namespace

const char* parsedoubleany(const char* s, double* v)
{
    const char* p = s;
    bool neg = *p == '-';
    if (*p == '-' || *p == '+') p++;
    const char* num = p;

    uint64_t m = 0;  // all the digits, integer and fraction
    p = digits(p, &m);
    const char* intend = p;
    const char* frac = p;
    if (*p == '.') p = digits(frac = p + 1, &m);
    long long ndigits = (intend - num) + (p - frac);
    if (ndigits == 0) {  // no number: strtod gives 0 and s
        *v = 0;
        return s;
    }
    const char* end = p;
    long long exp = 0;
    if ((*p | 0x20) == 'e') {  // an exponent only counts when it has digits
        const char* q = p + 1;
        bool eneg = *q == '-';
        if (*q == '-' || *q == '+') q++;
        if (isdigit(*q)) {
            for (; isdigit(*q); q++)
                if (exp < 100000000) exp = exp * 10 + (*q - '0');
            if (eneg) exp = -exp;
            end = q;
        }
    }
    long long scale = exp - (p - frac);  // value = m * 10^scale

    if (ndigits > 19) {  // leading zeros do not count
        const char* q = num;
        while (q < p && (*q == '0' || *q == '.')) q++;
        ndigits -= (q - num) - (q > intend);  // the point is no digit
    }
    double d;
    if (ndigits > 19) {
        d = slowdouble(num, end, intend, frac, exp);
    } else if (m == 0) {
        d = 0;
    } else if (m <= (1ULL << 53) && scale >= -22 && scale <= 22) {
        // m and 10^|scale| are exact, so one rounding gives the nearest double.
        d = (double)m;
        d = scale < 0 ? d / POW10[-scale] : d * POW10[scale];
    } else {
        d = slowdouble(num, end, intend, frac, exp);
    }
    *v = neg ? -d : d;
    return end;
}
