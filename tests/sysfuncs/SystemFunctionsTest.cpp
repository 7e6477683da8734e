// The system functions for scripts: the time format codes, the names of operating systems, and
// the icon and title calls with their messages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "sysfuncs/OsName.h"
#include "sysfuncs/SystemFunctions.h"
#include "sysfuncs/TimeFormat.h"
#include "tests/support/ScriptCallRecorder.h"

namespace {

std::tm Moment(int year, int month, int day, int hour, int minute, int second) {
    std::tm moment{};
    moment.tm_year = year - 1900;
    moment.tm_mon = month - 1;
    moment.tm_mday = day;
    moment.tm_hour = hour;
    moment.tm_min = minute;
    moment.tm_sec = second;
    const std::time_t utc = timegm(&moment);  // fills in weekday and day of the year
    gmtime_r(&utc, &moment);
    return moment;
}

TEST(TimeFormat, EveryCodeAndTheCalendarRules) {
    struct Case {
        const char* format;
        std::tm moment;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"Y-m-d H:i:s", Moment(2026, 3, 5, 7, 4, 9), "2026-03-05 07:04:09"},
        {"jS F", Moment(2026, 3, 11, 12, 0, 0), "11th March"},
        {"jS", Moment(2026, 3, 22, 12, 0, 0), "22nd"},
        {"jS jS jS", Moment(2026, 3, 1, 12, 0, 0), "1st 1st 1st"},
        {"S", Moment(2026, 3, 23, 0, 0, 0), "rd"},
        {"S", Moment(2026, 3, 13, 0, 0, 0), "th"},
        {"t", Moment(2024, 2, 1, 0, 0, 0), "29"},
        {"t", Moment(2100, 2, 1, 0, 0, 0), "28"},
        {"t t", Moment(2026, 4, 1, 0, 0, 0), "30 30"},
        {"t", Moment(2026, 12, 1, 0, 0, 0), "31"},
        {"L", Moment(2000, 6, 1, 0, 0, 0), "1"},
        {"L", Moment(1900, 6, 1, 0, 0, 0), "0"},
        {"g:i a", Moment(2026, 3, 5, 0, 30, 0), "12:30 am"},
        {"h A G", Moment(2026, 3, 5, 13, 0, 0), "01 PM 13"},
        {"D l w z", Moment(2026, 3, 5, 0, 0, 0), "Thu Thursday 4 63"},
        {"M n y", Moment(2009, 9, 5, 0, 0, 0), "Sep 9 09"},
        {"x -/", Moment(2026, 3, 5, 0, 0, 0), "x -/"},
        {"", Moment(2026, 3, 5, 0, 0, 0), ""},
        {"r", Moment(2026, 3, 5, 7, 4, 9), "Thu Mar  5 07:04:09 2026"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatTime(c.format, c.moment, 0, 0), c.expected) << c.format;
    }
    // Seconds since 1970 and the uptime counter, which is unsigned past 2^31.
    EXPECT_EQ(FormatTime("U u", Moment(2026, 3, 5, 0, 0, 0), 1772668800, 3'000'000'000u),
              "1772668800 3000000000");
}

class ClockedHost : public ISystemHost {
  public:
    std::int64_t CurrentTimeSeconds() override { return now; }
    std::uint32_t UptimeMilliseconds() override { return 1234; }
    std::string ProgramTitle() override { return "OstrakClient v2"; }
    void SetMainWindowTitle(const std::string& value) override { title = value; }
    int SetMainWindowIcon(const std::string& file) override {
        icon = file;
        return file == "missing.ico" ? 2 : 0;
    }
    void RestoreProgramIcon() override { icon = "<program>"; }

    std::int64_t now = 0;
    std::string title;
    std::string icon;
};

TEST(SystemFunctions, GetTimeReadsLocalTimeWithDaylightSavingAndChecksItsParameter) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    ClockedHost host;
    host.now = 1783000000;  // 2 July 2026 13:46:40 UTC: summer time, two hours ahead
    ScriptCallRecorder call;
    call.Text("Y-m-d H:i I U u");
    EXPECT_TRUE(GetTime(&call, &host));
    EXPECT_EQ(call.ResultText(), "2026-07-02 15:46 1 1783000000 1234");

    host.now = 1767225600;  // 1 January 2026 00:00 UTC: winter time, one hour ahead
    ScriptCallRecorder winter;
    winter.Text("H I");
    EXPECT_TRUE(GetTime(&winter, &host));
    EXPECT_EQ(winter.ResultText(), "01 0");

    ScriptCallRecorder none;
    EXPECT_FALSE(GetTime(&none, &host));
    EXPECT_EQ(none.error, "getTime() expects one parameter");
    ScriptCallRecorder number;
    number.Int(5);
    EXPECT_FALSE(GetTime(&number, &host));
    EXPECT_EQ(number.error, "getTime() expects a string as the first parameter");
    EXPECT_TRUE(number.results.empty());
}

TEST(SystemFunctions, IconAndTitleCallsAndTheirMessages) {
    ClockedHost host;
    ScriptCallRecorder icon;
    icon.Text("game.ico");
    EXPECT_TRUE(SetIcon(&icon, &host));
    EXPECT_EQ(host.icon, "game.ico");
    ScriptCallRecorder restore;
    EXPECT_TRUE(SetIcon(&restore, &host));
    EXPECT_EQ(host.icon, "<program>");
    ScriptCallRecorder missing;
    missing.Text("missing.ico");
    EXPECT_FALSE(SetIcon(&missing, &host));
    EXPECT_EQ(missing.error, "Failed to load icon 'missing.ico'. Error: 2");
    ScriptCallRecorder two;
    two.Text("a").Text("b");
    EXPECT_FALSE(SetIcon(&two, &host));
    EXPECT_EQ(two.error, "setIcon() expects one parameter (Icon filename), or none");
    ScriptCallRecorder number;
    number.Int(1);
    EXPECT_FALSE(SetIcon(&number, &host));
    EXPECT_EQ(number.error, "setIcon() expects a string as the first parameter (Icon filename)");

    ScriptCallRecorder title;
    title.Text("HP 42/50");
    EXPECT_TRUE(SetWindowTitle(&title, &host));
    EXPECT_EQ(host.title, "HP 42/50");
    ScriptCallRecorder empty;
    empty.Text("");
    EXPECT_TRUE(SetWindowTitle(&empty, &host));
    EXPECT_EQ(host.title, "");
    ScriptCallRecorder back;
    EXPECT_TRUE(SetWindowTitle(&back, &host));
    EXPECT_EQ(host.title, "OstrakClient v2");
    ScriptCallRecorder many;
    many.Text("a").Text("b");
    EXPECT_FALSE(SetWindowTitle(&many, &host));
    EXPECT_EQ(many.error, "setWindowTitle() expects one parameter (New title), or zero");
    ScriptCallRecorder wrong;
    wrong.Float(1.5f);
    EXPECT_FALSE(SetWindowTitle(&wrong, &host));
    EXPECT_EQ(wrong.error,
              "setWindowTitle() expects a string as the first parameter (Window title)");
}

TEST(OsName, WindowsVersionsAreNamedFromTheirFields) {
    using Info = WindowsVersionInfo;
    const auto nt = [](std::uint32_t major, std::uint32_t minor) {
        Info info;
        info.major = major;
        info.minor = minor;
        return info;
    };
    Info seven = nt(6, 1);
    seven.productInfo = 1;
    seven.servicePack = "Service Pack 1";
    EXPECT_EQ(WindowsOsName(seven), "Windows 7 Ultimate 64-bit Service Pack 1");
    seven.servicePack.clear();
    EXPECT_EQ(WindowsOsName(seven), "Windows 7 Ultimate 64-bit ");

    Info server2008 = nt(6, 0);
    server2008.productType = 3;
    server2008.architecture = Info::kArchitectureX86;
    server2008.productInfo = 36;
    EXPECT_EQ(WindowsOsName(server2008),
              "Windows Server 2008 Server Standard without Hyper-V  32-bit ");
    server2008.hasProductInfo = false;
    server2008.architecture = Info::kArchitectureItanium;
    EXPECT_EQ(WindowsOsName(server2008), "Windows Server 2008  ");

    Info eight = nt(6, 3);
    eight.productInfo = 0;
    EXPECT_EQ(WindowsOsName(eight), "Windows 8.1 (Unknown product type) 64-bit ");

    Info xp = nt(5, 1);
    xp.suiteMask = 0x0200;
    EXPECT_EQ(WindowsOsName(xp), "Windows XP Home Edition ");
    Info win2000 = nt(5, 0);
    win2000.productType = 2;
    win2000.suiteMask = 0x0002;
    EXPECT_EQ(WindowsOsName(win2000), "Windows 2000 Advanced Server ");

    Info server2003 = nt(5, 2);
    server2003.productType = 3;
    server2003.suiteMask = 0x0080;
    EXPECT_EQ(WindowsOsName(server2003), "Windows Server 2003, Datacenter x64 Edition ");
    server2003.architecture = Info::kArchitectureX86;
    server2003.suiteMask = 0x4000 | 0x0080;
    EXPECT_EQ(WindowsOsName(server2003), "Windows Server 2003, Compute Cluster Edition ");
    server2003.serverR2 = true;
    server2003.suiteMask = 0;
    EXPECT_EQ(WindowsOsName(server2003), "Windows Server 2003 R2, Standard Edition ");
    Info xp64 = nt(5, 2);
    EXPECT_EQ(WindowsOsName(xp64), "Windows XP Professional x64 Edition ");

    Info me;
    me.platform = Info::kPlatformWindows;
    me.major = 4;
    me.minor = 90;
    EXPECT_EQ(WindowsOsName(me), "Windows ME ");
    me.minor = 3;
    EXPECT_EQ(WindowsOsName(me), "Unknown Win9x OS ");
    EXPECT_EQ(WindowsOsName(nt(10, 0)), "Unknown Windows OS ");
    Info other;
    other.platform = 3;
    EXPECT_EQ(WindowsOsName(other), "Unknown Operating System");
    Info failed;
    failed.queried = false;
    EXPECT_EQ(WindowsOsName(failed), "Unknown Operating System");
}

TEST(OsName, LinuxNameComesFromOsReleaseAndTheArchitecture) {
    const std::string debian =
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
        "VERSION_ID=\"12\"\n";
    EXPECT_EQ(LinuxOsName(debian, "x86_64"), "Debian GNU/Linux 12 (bookworm) 64-bit");
    EXPECT_EQ(LinuxOsName(debian, "i686"), "Debian GNU/Linux 12 (bookworm) 32-bit");
    EXPECT_EQ(LinuxOsName("NAME='Alpine Linux'\r\n", "aarch64"), "Alpine Linux 64-bit");
    EXPECT_EQ(LinuxOsName("PRETTY_NAME=\"Say \\\"hi\\\"\"\n", "x86_64"), "Say \"hi\" 64-bit");
    EXPECT_EQ(LinuxOsName("ID=none\n", "armv7l"), "Linux 32-bit");
    // The machine running the tests names itself.
    EXPECT_NE(CurrentOsName().find("-bit"), std::string::npos);
}

}  // namespace
