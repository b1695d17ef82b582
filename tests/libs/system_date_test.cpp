// Dates against python3 datetime in a fixed time zone, CompareDates against python3's ordering of
// the same dates, and the locale texts leaving the numeric locale alone.
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "base/error_codes.h"
#include "libs/oracle.h"
#include "libs/system_test_util.h"

namespace system_date_test {

using namespace systest;

namespace {

// Whether text has the shape: 'd' a digit, 'A' an upper-case and 'a' a lower-case letter, any
// other character itself.
bool HasShape(const std::string& text, const std::string& shape) {
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        bool ok = shape[i] == 'd'   ? (c >= '0' && c <= '9')
                  : shape[i] == 'A' ? (c >= 'A' && c <= 'Z')
                  : shape[i] == 'a' ? (c >= 'a' && c <= 'z')
                                    : c == shape[i];
        if (!ok) return false;
    }
    return true;
}

class SystemDateTest : public LibFixture {
protected:
    std::string savedTz;
    bool hadTz = false;
    void SetUp() override {
        LibFixture::SetUp();
        if (const char* tz = getenv("TZ")) {
            hadTz = true;
            savedTz = tz;
        }
        // A zone with daylight saving time; python3 inherits it.
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz)
            setenv("TZ", savedTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        LibFixture::TearDown();
    }
};

TEST_F(SystemDateTest, LongDateAndFieldsMatchPython) {
    const long long moments[] = {0,          951782400,  951868799,  1711846799, 1711846800, 1729990800,
                                 1735689599, 2147483647, 4102444799, 1418601600, 1234567890};
    std::string program = "import datetime\nfor t in [";
    for (long long m : moments) program += std::to_string(m) + ",";
    program += R"(]:
    d = datetime.datetime.fromtimestamp(t)
    print("%02d-%s-20%02d %02d:%02d:%02d|%02d:%02d|%d|%d|%d|%d" % (d.day, d.strftime("%b"), d.year % 100,
          d.hour, d.minute, d.second, d.hour, d.minute, 2000 + d.year % 100, d.month, d.day,
          d.hour * 10000 + d.minute * 100 + d.second))
)";
    std::istringstream expected(libtest::Python(program));
    for (long long m : moments) {
        std::string want;
        std::getline(expected, want);
        qzDateFields f = GetLocalDateFields((time_t)m);
        std::string got = FormatLongDate(f) + "|" + FormatClockTime(f, false) + "|" +
                          std::to_string(2000 + f.year % 100) + "|" + std::to_string(f.month) + "|" +
                          std::to_string(f.day) + "|" + std::to_string(f.hour * 10000 + f.minute * 100 + f.second);
        EXPECT_EQ(got, want) << m;
        EXPECT_EQ(FormatClockTime(f, true), want.substr(12, 8)) << m;
    }
}

TEST_F(SystemDateTest, CommandsGiveTodaysDate) {
    std::string today = libtest::Python(
        "import datetime\nd = datetime.datetime.now()\nprint('%d %d %d' % (2000 + d.year % 100, d.month, d.day))\n");
    double year = CallNumber("GetDateNum", {0});
    double month = CallNumber("GetDateNum", {1});
    double day = CallNumber("GetDateNum", {2});
    char mine[64];
    snprintf(mine, sizeof mine, "%.0f %.0f %.0f\n", year, month, day);
    EXPECT_EQ(mine, today);  // (fails only when the day changes between the two reads)
    std::string date = CallString("GetDate", {1});
    EXPECT_TRUE(HasShape(date, "dd-Aaa-20dd dd:dd:dd")) << date;
    EXPECT_TRUE(HasShape(CallString("GetTime"), "dd:dd"));
    EXPECT_EQ(Call("GetDateNum", {4}), ERR_WRONGUSAGE);
}

// The locale texts come from the user's time locale; the process locale stays "C", so numbers
// keep their point.
TEST_F(SystemDateTest, LocaleTextsKeepNumericLocale) {
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(FormatLocaleWeekday((time_t)1234567890), "Saturday");
    EXPECT_EQ(FormatLocaleDate((time_t)1234567890), "02/14/09");
    unsetenv("LC_ALL");
    EXPECT_FALSE(CallString("GetWeekday").empty());
    EXPECT_FALSE(CallString("GetDate").empty());
    EXPECT_STREQ(setlocale(LC_NUMERIC, nullptr), "C");
    char text[16];
    snprintf(text, sizeof text, "%.1f", 1.5);
    EXPECT_STREQ(text, "1.5");
}

TEST_F(SystemDateTest, CompareDatesMatchesPythonOrder) {
    // python3 makes random pairs (many equal in some fields) and compares them as datetimes.
    std::string out = libtest::Python(R"(
import datetime, random
random.seed(3)
months = ["Jan","Feb","Mar","Apr","May","Jun","Jul","Aug","Sep","Oct","Nov","Dec"]
def rnd():
    return datetime.datetime(random.choice([1999, 2014, 2015]), random.randint(1, 12), random.randint(1, 28),
                             random.choice([0, 10, 23]), random.choice([0, 59]), random.choice([0, 1, 59]))
def text(d):
    m = months[d.month - 1]
    m = random.choice([m, m.upper(), m.lower()])
    return "%02d-%s-%04d %02d:%02d:%02d" % (d.day, m, d.year, d.hour, d.minute, d.second)
for i in range(300):
    a = rnd()
    b = a if i % 5 == 0 else (a.replace(second=random.randint(0, 59)) if i % 3 == 0 else rnd())
    r = 0 if a == b else (1 if a > b else 2)
    rd = 0 if a.date() == b.date() else (1 if a.date() > b.date() else 2)
    print("%s|%s|%d|%d" % (text(a), text(b), r, rd))
)");
    std::istringstream lines(out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        std::string a = line.substr(0, 20), b = line.substr(21, 20);
        int want = line[42] - '0', wantDate = line[44] - '0';
        int result = -1;
        ASSERT_EQ(CompareDateTexts(a.c_str(), a.size(), b.c_str(), b.size(), false, &result), 0) << line;
        EXPECT_EQ(result, want) << line;
        ASSERT_EQ(CompareDateTexts(a.c_str(), 11, b.c_str(), 11, true, &result), 0) << line;
        EXPECT_EQ(result, wantDate) << line;
        count++;
    }
    EXPECT_EQ(count, 300);

    EXPECT_EQ(CallNumber("CompareDates", {"01-Jan-2014 10:00:00", "01-jan-2014 10:00:01"}), 2);
    struct Bad {
        const char* a;
        const char* b;
        double dateOnly;
    };
    const Bad bad[] = {
        {"01-Jan-2014 10:00:0", "01-Jan-2014 10:00:00", 0},  // 19 characters
        {"01-Jan-2014", "01-Jan-2014", 0},                   // short form needs the flag
        {"01-Foo-2014 10:00:00", "01-Jan-2014 10:00:00", 0},
        {"01-Jan-2014", "01-Jan-201", 1},
    };
    for (const Bad& c : bad) {
        EXPECT_EQ(Call("CompareDates", {c.a, c.b, c.dateOnly}), ERR_INVALIDDATE) << c.a;
    }
    EXPECT_EQ(CallNumber("CompareDates", {"02-Feb-2014", "01-Feb-2014 23:59:59", 1}), 1);
}

}  // namespace

}  // namespace system_date_test
