// Every combination of argument types up to kMaxArguments is a separate instantiation here
// (5^5 of them), kept apart from the harnesses so that it is built once, without the fuzzer's
// coverage and UBSan instrumentation, which would only slow the build and add noise.
#include "format_args.h"

namespace fuzzfmt {
namespace {

inline const char16_t* Wide(Text t) { return t.wide; }
inline const char* Narrow(Text t) { return t.narrow; }
template <class T>
T Wide(T v) { return v; }
template <class T>
T Narrow(T v) { return v; }

template <class... A>
void Dispatch(void (*target)(void*, ...), void* context, const Value* values, std::size_t count,
              A... a) {
    constexpr std::size_t i = sizeof...(A);
    if constexpr (i == kMaxArguments) {
        target(context, Wide(a)..., Narrow(a)...);
    } else {
        if (i == count) return target(context, Wide(a)..., Narrow(a)...);
        const Value& v = values[i];
        switch (v.kind) {
            case Kind::Int: return Dispatch(target, context, values, count, a..., v.i);
            case Kind::UInt: return Dispatch(target, context, values, count, a..., v.u);
            case Kind::LongLong: return Dispatch(target, context, values, count, a..., v.ll);
            case Kind::ULongLong: return Dispatch(target, context, values, count, a..., v.ull);
            case Kind::Text: return Dispatch(target, context, values, count, a..., v.text);
        }
    }
}

}  // namespace

void CallVariadic(void (*target)(void*, ...), void* context, const Value* values, std::size_t count) {
    Dispatch(target, context, values, count < kMaxArguments ? count : kMaxArguments);
}

}  // namespace fuzzfmt
