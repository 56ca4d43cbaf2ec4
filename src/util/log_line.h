// The pure parts of the diagnostic log: the message limit, the timestamp text and the line.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "util/basic_string.h"
#include "util/wide_format.h"

namespace logline {

// The message buffer holds 1024 units; the formatter may use 1023 including the terminator, so a
// message keeps at most 1022 units. A longer message is cut there rather than dropped, so that the
// start of a long launch line or file error still reaches the log.
constexpr std::size_t kMessageBufferUnits = 1024;
constexpr std::size_t kMessageCapacity = kMessageBufferUnits - 1;

template <class Ch>
std::size_t FormatMessage(Ch (&buffer)[kMessageBufferUnits], const Ch* format, va_list args) {
    for (auto& unit : buffer) unit = 0;
    return wfmt::FormatV(buffer, kMessageCapacity, format, args);
}

struct LocalTime {
    int year, month, day, hour, minute, second;
};

// "%Y-%m-%d %H:%M:%S": 19 units, zero-padded, 24-hour clock.
template <class Ch>
BasicStr<Ch> FormatTimestamp(const LocalTime& t) {
    static const Ch kFormat[] = {'%', '0', '4', 'd', '-', '%', '0', '2', 'd', '-', '%', '0', '2',
                                 'd', ' ', '%', '0', '2', 'd', ':', '%', '0', '2', 'd', ':', '%',
                                 '0', '2', 'd', 0};
    Ch buffer[128];
    wfmt::Format(buffer, 128, kFormat, t.year, t.month, t.day, t.hour, t.minute, t.second);
    return BasicStr<Ch>(buffer);
}

// "[%d]%s  %s (Last=%d)". The message is an argument, so a '%' in it is copied as it is. The
// buffer fits the longest message and timestamp, so the line is never cut.
constexpr std::size_t kLineCapacity = kMessageBufferUnits + 128 + 48;

template <class Ch>
BasicStr<Ch> BuildLine(unsigned long processId, const Ch* timestamp, const Ch* message,
                       long lastError) {
    static const Ch kFormat[] = {'[', '%', 'd', ']', '%', 's', ' ', ' ', '%', 's', ' ', '(',
                                 'L', 'a', 's', 't', '=', '%', 'd', ')', 0};
    Ch line[kLineCapacity];
    const std::size_t n = wfmt::Format(line, kLineCapacity, kFormat, static_cast<int>(processId),
                                       timestamp, message, static_cast<int>(lastError));
    return BasicStr<Ch>(line, n);
}

}  // namespace logline
