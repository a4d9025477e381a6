#include <QDate>
#include <QTime>

#include "automation/error_log.h"
#include "tests/automation/test_support.h"

namespace mervik::test {
namespace {

TEST(ErrorLogTimestamp, ShortDateLongTimeAndNoTimeAtMidnight) {
    const QLocale c = QLocale::c();
    EXPECT_EQ(errorLogTimestamp(QDateTime(QDate(2026, 12, 8), QTime(9, 5, 3)), c),
              "8 Dec 2026 09:05:03");
    EXPECT_EQ(errorLogTimestamp(QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0)), c), "8 Dec 2026");
    EXPECT_EQ(errorLogTimestamp(QDateTime(QDate(2026, 12, 8), QTime(0, 0, 1)), c),
              "8 Dec 2026 00:00:01");
    // The user's formats, without the time zone some locales add.
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(errorLogTimestamp(QDateTime(QDate(2026, 12, 8), QTime(21, 5, 3)), us),
              "12/8/26 9:05:03 PM");
}

class ErrorLogTest : public CoreFixture {
  protected:
    std::string log() { return settings.sDataDir + "/Error.txt"; }
    std::string log2() { return settings.sDataDir + "/Error2.txt"; }
    void grow(const std::string& path, std::uintmax_t size) {
        writeFile(path, "old\r\n");
        fs::resize_file(path, size);
    }
};

TEST_F(ErrorLogTest, RotatesFrom12800128Bytes) {
    grow(log(), kErrorLogRotateBytes - 1);
    appendErrorLog(settings.sDataDir, "T", "a.pdf", "m");
    EXPECT_EQ(fs::file_size(log()), kErrorLogRotateBytes - 1 + 11);
    EXPECT_FALSE(fs::exists(log2()));

    grow(log(), kErrorLogRotateBytes);
    writeFile(log2(), "older generation");
    appendErrorLog(settings.sDataDir, "T", "a.pdf", "m");
    EXPECT_EQ(readFile(log()), "T a.pdf m\r\n");
    EXPECT_EQ(fs::file_size(log2()), static_cast<std::uintmax_t>(kErrorLogRotateBytes));
}

TEST_F(ErrorLogTest, FailedRotationKeepsAppendingToTheOldLog) {
    grow(log(), kErrorLogRotateBytes);
    // A folder in the way of Error2.txt that cannot be removed.
    writeFile(log2() + "/blocker", "x");
    appendErrorLog(settings.sDataDir, "T", "a.pdf", "m");
    EXPECT_EQ(fs::file_size(log()), kErrorLogRotateBytes + 11);
    EXPECT_EQ(readFile(log()).substr(0, 5), "old\r\n");
}

TEST_F(ErrorLogTest, UnwritableLogIsSkippedSilently) {
    appendErrorLog(root + "/no/such/folder", "T", "a.pdf", "m");
    EXPECT_FALSE(fs::exists(root + "/no"));
}

}  // namespace
}  // namespace mervik::test
