// The log message formatting with its 1022-unit limit. The input is a format (bytes up to the
// first NUL, one unit each) followed by material for its arguments, whose types are read from the
// format as the formatter reads them. Checks:
//  - the 1024-unit message buffer: nothing written outside it (canaries on both sides), the
//    message NUL-terminated, at most 1022 units, and the units after it left zero;
//  - the message is the first min(n, 1022) units of the same format into an ample buffer;
//  - where the format keeps to what the C library's snprintf formats the same way, the message
//    equals snprintf's output cut at the same size;
//  - the timestamp against snprintf, and the log line built from the message is never cut.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "format_args.h"
#include "fuzz_check.h"
#include "util/log_line.h"

using fuzzfmt::Conversion;
using fuzzfmt::Kind;
using fuzzfmt::Value;

namespace {

constexpr std::size_t kCanaryUnits = 32;
constexpr char16_t kCanary = 0xA55A;
constexpr std::size_t kAmpleUnits = std::size_t(1) << 16;

struct Frame {
    char16_t before[kCanaryUnits];
    char16_t message[logline::kMessageBufferUnits];
    char16_t after[kCanaryUnits];
};

// One run of the three formatters over the same arguments. The arguments arrive twice: first as
// the formatter takes them, then with 8-bit %s strings for snprintf.
struct Run {
    const Value* values;
    std::size_t count;
    const char16_t* format;
    Frame* frame;
    std::size_t n;
    char16_t* ample;
    std::size_t full;
    bool cut;
    const char* narrowFormat;  // null when the outputs are not comparable
    char* expected;            // kMessageCapacity bytes
    int expectedLength;
};

void RunFormatters(void* context, ...) {
    Run* run = static_cast<Run*>(context);
    va_list args;
    va_start(args, context);
    va_list copy;
    va_copy(copy, args);
    run->n = logline::FormatMessage(run->frame->message, run->format, copy);
    va_end(copy);
    va_copy(copy, args);
    run->full = wfmt::FormatV(run->ample, kAmpleUnits, run->format, copy, &run->cut);
    va_end(copy);
    // Step over the first set, each argument with its own type, to reach the 8-bit one.
    for (std::size_t i = 0; i < run->count; ++i) {
        switch (run->values[i].kind) {
            case Kind::Int: va_arg(args, int); break;
            case Kind::UInt: va_arg(args, unsigned); break;
            case Kind::LongLong: va_arg(args, long long); break;
            case Kind::ULongLong: va_arg(args, unsigned long long); break;
            case Kind::Text: va_arg(args, const char16_t*); break;
        }
    }
    if (run->narrowFormat)
        run->expectedLength = std::vsnprintf(run->expected, logline::kMessageCapacity, run->narrowFormat, args);
    va_end(args);
}

std::u16string Widen(const std::string& s) {
    std::u16string w;
    for (unsigned char c : s) w.push_back(c);
    return w;
}

bool IsAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// The 8-bit format for snprintf, or false where the two formatters part ways: 'h' (ignored here,
// short in C), '+' and ' ' on unsigned conversions, a zero with precision 0 (no digit in C, "0"
// here), flags or length on %c, %s and %%, a null %s, non-ASCII text, and widths past 100000
// (capped here; such output is cut at 1022 units anyway, but snprintf would pad it all).
bool NarrowFormat(const std::u16string& format, const std::vector<Conversion>& conversions,
                  const Value* values, std::string* narrow) {
    std::size_t p = 0, arg = 0;
    for (const Conversion& c : conversions) {
        for (; p < c.begin; ++p) {
            if (format[p] >= 0x80) return false;
            narrow->push_back(static_cast<char>(format[p]));
        }
        p = c.end;
        // A '*' width, then a '*' precision, then the converted value, in that order.
        std::size_t a = arg;
        arg += c.takes.size();
        int width = static_cast<int>(c.width);
        int precision = c.hasPrecision ? static_cast<int>(c.precision) : -1;
        if (c.starWidth) width = values[a++].i;
        if (c.starPrecision) {
            precision = values[a++].i;
            if (precision < 0) precision = -1;
        }
        const Value* value = a < arg ? &values[a] : nullptr;
        if (width == INT_MIN || width > 100000 || width < -100000 || precision > 100000) return false;
        if (c.length == 'h') return false;
        const bool anyFlag = c.leftAlign || c.zeroPad || c.plus || c.space;
        switch (c.type) {
            case u'%':
                if (c.end - c.begin != 2) return false;
                break;
            case u'u':
            case u'x':
            case u'X':
            case u'd':
            case u'i': {
                if ((c.type != u'd' && c.type != u'i') && (c.plus || c.space)) return false;
                const bool zero = c.length == 'L' || c.length == '6' ? value->ull == 0 && value->ll == 0
                                                                     : value->i == 0 && value->u == 0;
                if (precision == 0 && zero) return false;
                break;
            }
            case u'c':
                if (c.zeroPad || c.hasPrecision || c.length || value->i < 0 || value->i > 127) return false;
                break;
            case u's':
                if (c.zeroPad || c.length || !value->text.narrow || !IsAscii(value->text.narrow)) return false;
                break;
            default:
                return false;
        }
        if (c.type == u'%') {
            narrow->append("%%");
            continue;
        }
        narrow->push_back('%');
        if (anyFlag) {
            if (c.leftAlign) narrow->push_back('-');
            if (c.zeroPad) narrow->push_back('0');
            if (c.plus) narrow->push_back('+');
            if (c.space) narrow->push_back(' ');
        }
        if (c.starWidth) narrow->push_back('*');
        else if (c.width) narrow->append(std::to_string(c.width));
        if (c.hasPrecision) narrow->append(c.starPrecision ? "." + std::string("*") : "." + std::to_string(c.precision));
        if (c.length == 'L' || c.length == '6') narrow->append("ll");
        narrow->push_back(static_cast<char>(c.type));
    }
    for (; p < format.size(); ++p) {
        if (format[p] >= 0x80) return false;
        narrow->push_back(static_cast<char>(format[p]));
    }
    return true;
}

void CheckLine(FuzzedDataProvider& input, const char16_t* message) {
    logline::LocalTime t;
    t.year = input.ConsumeIntegral<int>();
    t.month = input.ConsumeIntegral<int>();
    t.day = input.ConsumeIntegral<int>();
    t.hour = input.ConsumeIntegral<int>();
    t.minute = input.ConsumeIntegral<int>();
    t.second = input.ConsumeIntegral<int>();
    const auto stamp = logline::FormatTimestamp<char16_t>(t);
    char expected[128];
    const int n = std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", t.year,
                                t.month, t.day, t.hour, t.minute, t.second);
    FUZZ_CHECK(n > 0 && std::u16string(stamp.c_str(), stamp.Length()) == Widen(expected));

    const auto pid = input.ConsumeIntegral<std::uint32_t>();
    const auto lastError = input.ConsumeIntegral<std::int32_t>();
    const auto line = logline::BuildLine<char16_t>(pid, stamp.c_str(), message, lastError);
    const std::u16string want = u"[" + Widen(std::to_string(static_cast<int>(pid))) + u"]" +
                                std::u16string(stamp.c_str()) + u"  " + std::u16string(message) +
                                u" (Last=" + Widen(std::to_string(lastError)) + u")";
    FUZZ_CHECK(std::u16string(line.c_str(), line.Length()) == want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t formatLength = 0;
    while (formatLength < size && data[formatLength]) ++formatLength;
    std::u16string format(data, data + formatLength);
    const std::size_t restAt = formatLength < size ? formatLength + 1 : size;
    FuzzedDataProvider input(data + restAt, size - restAt);

    // Cut the format before the conversion that would take one argument too many.
    std::vector<Conversion> conversions = fuzzfmt::ParseFormat(format);
    std::size_t count = 0;
    for (std::size_t k = 0; k < conversions.size(); ++k) {
        if (count + conversions[k].takes.size() > fuzzfmt::kMaxArguments) {
            format.resize(conversions[k].begin);
            conversions.resize(k);
            break;
        }
        count += conversions[k].takes.size();
    }

    std::array<Value, fuzzfmt::kMaxArguments> values;
    std::array<std::string, fuzzfmt::kMaxArguments> narrow;
    std::array<std::u16string, fuzzfmt::kMaxArguments> wide;
    std::size_t next = 0;
    for (const Conversion& c : conversions) {
        for (Kind kind : c.takes) {
            Value& v = values[next];
            v.kind = kind;
            switch (kind) {
                case Kind::Int: v.i = input.ConsumeIntegral<int>(); break;
                case Kind::UInt: v.u = input.ConsumeIntegral<unsigned>(); break;
                case Kind::LongLong: v.ll = input.ConsumeIntegral<long long>(); break;
                case Kind::ULongLong: v.ull = input.ConsumeIntegral<unsigned long long>(); break;
                case Kind::Text: {
                    if (input.ConsumeIntegralInRange(0, 15) == 0) break;  // a null %s argument
                    const std::string piece = input.ConsumeRandomLengthString(1024);
                    const int repeat = input.ConsumeIntegralInRange(1, 8);
                    for (int r = 0; r < repeat; ++r) narrow[next] += piece;
                    wide[next] = Widen(narrow[next]);
                    v.text = {wide[next].c_str(), narrow[next].c_str()};
                    break;
                }
            }
            ++next;
        }
    }

    std::string narrowFormat;
    const bool comparable = NarrowFormat(format, conversions, values.data(), &narrowFormat);

    auto frame = std::make_unique<Frame>();
    for (auto& u : frame->before) u = kCanary;
    for (auto& u : frame->message) u = kCanary;
    for (auto& u : frame->after) u = kCanary;
    static std::vector<char16_t> ample(kAmpleUnits);

    std::string expected(logline::kMessageCapacity, '\0');
    Run run{values.data(), next, format.c_str(), frame.get(), 0, ample.data(), 0, false,
            comparable ? narrowFormat.c_str() : nullptr, &expected[0], -1};
    fuzzfmt::CallVariadic(&RunFormatters, &run, values.data(), next);
    const std::size_t n = run.n, full = run.full;
    const bool cut = run.cut;
    const int expectedLength = run.expectedLength;

    for (char16_t u : frame->before) FUZZ_CHECK(u == kCanary);
    for (char16_t u : frame->after) FUZZ_CHECK(u == kCanary);
    FUZZ_CHECK(n <= logline::kMessageCapacity - 1);
    for (std::size_t i = n; i < logline::kMessageBufferUnits; ++i) FUZZ_CHECK(frame->message[i] == 0);

    FUZZ_CHECK(!cut || full == kAmpleUnits - 1);
    const std::size_t keep = full < logline::kMessageCapacity - 1 ? full : logline::kMessageCapacity - 1;
    FUZZ_CHECK(n == keep);
    FUZZ_CHECK(std::char_traits<char16_t>::compare(frame->message, ample.data(), n) == 0);

    if (comparable && expectedLength >= 0) {
        const std::size_t want = std::min<std::size_t>(static_cast<std::size_t>(expectedLength), keep);
        FUZZ_CHECK(n == want);
        for (std::size_t i = 0; i < n; ++i)
            FUZZ_CHECK(frame->message[i] == static_cast<unsigned char>(expected[i]));
    }

    CheckLine(input, frame->message);
    return 0;
}
