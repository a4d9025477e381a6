// File I/O failures as the program's I/O codes, the same on every platform:
// Windows error numbers where one fits, 100 and 101 for failed reads and
// writes, as the runtime of the Windows program reports them.
#pragma once

namespace mervik {

inline constexpr int kIoFileNotFound = 2;
inline constexpr int kIoPathNotFound = 3;
inline constexpr int kIoTooManyOpenFiles = 4;
inline constexpr int kIoAccessDenied = 5;
inline constexpr int kIoSharingViolation = 32;
inline constexpr int kIoDiskFull = 112;
inline constexpr int kIoReadError = 100;
inline constexpr int kIoWriteError = 101;

// The I/O code of the error number err from the C library; never 0 or 1.
// Errors without a closer code become kIoWriteError when writing, else
// kIoReadError.
int ioCodeFromErrno(int err, bool writing);

}  // namespace mervik
