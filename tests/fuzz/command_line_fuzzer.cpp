// The argument splitter and the pass-through parameters over any command line (the input's bytes,
// one unit each, up to the first NUL). Checks that the splitter visits what it counts, that its
// arguments, and any arguments made from the input's lines, come back unchanged from a command
// line quoted by its rules, that the 8-bit and UTF-16 instantiations agree, and the
// pass-through parameters against their rule.
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz_check.h"

namespace {

std::u16string Widen(const std::string& s) {
    std::u16string w;
    for (unsigned char c : s) w.push_back(c);
    return w;
}

template <class Ch>
std::vector<std::basic_string<Ch>> Split(const Ch* line) {
    std::vector<std::basic_string<Ch>> args;
    const std::size_t count = cmdline::ForEachArgument(line, [&](std::size_t index, const BasicStr<Ch>& a) {
        FUZZ_CHECK(index == args.size());
        args.emplace_back(a.c_str(), a.Length());
    });
    FUZZ_CHECK(count == args.size());
    return args;
}

// Quotes arguments so that the splitter gives them back: argument 0 in plain quotes (it cannot
// hold one), the others in quotes with backslashes doubled before a quote and quotes escaped.
std::u16string Quote(const std::vector<std::u16string>& args) {
    std::u16string line = u"\"" + args[0] + u"\"";
    for (std::size_t i = 1; i < args.size(); ++i) {
        line += u" \"";
        std::size_t slashes = 0;
        for (char16_t c : args[i]) {
            if (c == u'\\') {
                ++slashes;
                continue;
            }
            if (c == u'"') line.append(slashes * 2 + 1, u'\\');
            else line.append(slashes, u'\\');
            slashes = 0;
            line += c;
        }
        line.append(slashes * 2, u'\\');
        line += u'"';
    }
    return line;
}

// Each run of k spaces becomes ceil(k / 2); everything else stays.
std::u16string HalveSpaceRuns(const std::u16string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != u' ') {
            out += text[i++];
            continue;
        }
        std::size_t run = 0;
        while (i < text.size() && text[i] == u' ') ++run, ++i;
        out.append((run + 1) / 2, u' ');
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string line;
    std::string narrowLine;
    for (std::size_t i = 0; i < size && data[i]; ++i) {
        line.push_back(data[i]);
        narrowLine.push_back(static_cast<char>(data[i]));
    }

    const auto args = Split(line.c_str());
    FUZZ_CHECK(!args.empty());
    FUZZ_CHECK(cmdline::CountArguments(line.c_str()) == args.size());
    std::size_t total = 0;
    for (const auto& a : args) total += a.size();
    // Argument() splits the whole line each time: the first few and the last are enough.
    for (std::size_t i = 0; i < args.size(); i = i < 4 ? i + 1 : (i < args.size() - 1 ? args.size() - 1 : i + 1)) {
        const auto picked = cmdline::Argument(line.c_str(), i);
        FUZZ_CHECK(std::u16string(picked.c_str(), picked.Length()) == args[i]);
    }
    FUZZ_CHECK(total <= line.size());
    FUZZ_CHECK(cmdline::Argument(line.c_str(), args.size()).IsEmpty());
    FUZZ_CHECK(args[0].find(u'"') == std::u16string::npos);
    for (std::size_t i = 1; i < args.size(); ++i)
        FUZZ_CHECK(!args[i].empty() || line.find(u'"') != std::u16string::npos);

    const auto narrowArgs = Split(narrowLine.c_str());
    FUZZ_CHECK(narrowArgs.size() == args.size());
    for (std::size_t i = 0; i < args.size(); ++i) FUZZ_CHECK(Widen(narrowArgs[i]) == args[i]);

    // Argument 0 keeps its blanks only inside quotes, which Quote adds back.
    FUZZ_CHECK(Split(Quote(args).c_str()) == args);

    // The other way round: any arguments, one per input line, come back from their quoted form
    // (argument 0 cannot hold a quote).
    std::vector<std::u16string> chosen(1);
    for (char16_t c : line) {
        if (c == u'\n') chosen.emplace_back();
        else if (c != u'"' || chosen.size() > 1) chosen.back() += c;
    }
    FUZZ_CHECK(Split(Quote(chosen).c_str()) == chosen);

    const auto parameters = cmdline::PassThroughParameters(line.c_str());
    const std::u16string got(parameters.c_str(), parameters.Length());
    const auto narrowParameters = cmdline::PassThroughParameters(narrowLine.c_str());
    FUZZ_CHECK(Widen(std::string(narrowParameters.c_str(), narrowParameters.Length())) == got);

    const std::size_t start = 1 + args[0].size() + (args.size() > 1 ? args[1].size() : 0);
    const std::size_t space = start < line.size() ? line.find(u' ', start) : std::u16string::npos;
    if (space == std::u16string::npos) {
        // Rebuilt from the arguments after the first two.
        std::u16string rebuilt;
        for (std::size_t i = 2; i < args.size(); ++i) rebuilt += args[i] + u" ";
        FUZZ_CHECK(got == rebuilt);
    } else {
        // The raw text after that space, trimmed of spaces, with space runs halved.
        const std::size_t begin = line.find_first_not_of(u' ', space);
        const std::size_t last = line.find_last_not_of(u' ');
        const std::u16string raw =
            begin == std::u16string::npos || last < begin ? u"" : line.substr(begin, last - begin + 1);
        FUZZ_CHECK(got == HalveSpaceRuns(raw));
        FUZZ_CHECK(got.size() <= line.size() - space - 1);
        FUZZ_CHECK(got.empty() || (got.front() != u' ' && got.back() != u' '));
    }
    return 0;
}
