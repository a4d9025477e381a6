#pragma once

#include <QDateTime>
#include <QLocale>

#include <cstdint>
#include <string>
#include <string_view>

namespace mervik {

// Error.txt becomes Error2.txt from this size on (more than 100000 units of 128 bytes).
inline constexpr std::int64_t kErrorLogRotateBytes = 12'800'128;

// The date in the locale's short date format, a space and the time in its long
// time format; the space and the time are left out at 00:00:00.
std::string errorLogTimestamp(const QDateTime& when, const QLocale& locale);

// The text with control characters (bytes below 0x20 and 0x7F) written as
// \n, \r, \t or \xNN, so that one name or reason is always one line.
std::string escapeControls(std::string_view text);

// Appends "<timestamp> <name> <message>" CR LF to dataDir/Error.txt, rotating it
// first when it has grown too big. Control characters of name and message are
// escaped. A log that cannot be written is said once on standard error.
void appendErrorLog(const std::string& dataDir, const std::string& timestamp,
                    const std::string& name, const std::string& message);

}  // namespace mervik
