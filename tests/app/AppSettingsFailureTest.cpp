#include <sys/stat.h>

#include <filesystem>

#include "app/RetryBackoff.h"
#include "tests/app/AppFixture.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;

// Settings files that cannot be read or written, and what the application makes of them.
class AppSettingsFailure : public AppFixture {
  protected:
    std::string SettingsFolder() const { return m_dir.Path() + "/config/OstrakClient"; }

    // A folder in place of Settings.cfg: reading finds no file, and writing cannot replace it.
    void BlockSettingsFile(bool blocked) {
        std::filesystem::remove_all(SettingsFile());
        if (blocked) std::filesystem::create_directories(SettingsFile());
    }

    void StartWithClock() {
        ASSERT_TRUE(Start());
        App().SetClock([this] { return m_now; });
    }

    void TickAt(std::uint64_t now) {
        m_now = now;
        App().OnTick();
    }

    bool Written() const { return std::filesystem::is_regular_file(SettingsFile()); }

    std::uint64_t m_now = 0;
};

TEST_F(AppSettingsFailure, FilesThatAreNoRegularFilesCountAsMissingAtStartUp) {
    std::filesystem::create_directory(m_dir.File("OstrakClient.cfg"));
    WriteSettings("TickDelay = 30\n");
    ASSERT_TRUE(Start());
    EXPECT_NE(Output().find("Failed to load OstrakClient.cfg\n"), std::string::npos) << Output();
    EXPECT_EQ(App().TickDelay(), 30);
    Shutdown();

    std::filesystem::remove(m_dir.File("OstrakClient.cfg"));
    WriteProgramConfig("TickDelay = 40\n");
    BlockSettingsFile(true);
    ASSERT_TRUE(Start());
    EXPECT_EQ(Output().find("Failed to load"), std::string::npos) << Output();
    EXPECT_EQ(App().TickDelay(), 40);
    Shutdown();

    // Nobody ever writes into this FIFO: reading it must not wait for a writer.
    BlockSettingsFile(false);
    ASSERT_EQ(mkfifo(SettingsFile().c_str(), 0644), 0);
    const int code = RunInChild([this] { return Start() && App().TickDelay() == 40 ? 0 : 1; }, 20s);
    EXPECT_EQ(code, 0) << "-1: start-up blocked on the FIFO";
}

TEST_F(AppSettingsFailure, AFailedWriteStaysPendingAndIsRetriedAfterABackOff) {
    BlockSettingsFile(true);
    StartWithClock();
    App().SetConfigValue("a", "1");
    TickAt(0);
    EXPECT_TRUE(App().SettingsDirty());

    // The retry at 1 s fails too; the next one waits 2 s more, not a tick less.
    TickAt(1000);
    BlockSettingsFile(false);
    TickAt(2999);
    EXPECT_FALSE(Written());
    EXPECT_TRUE(App().SettingsDirty());
    TickAt(3000);
    ASSERT_TRUE(Written());
    EXPECT_NE(TempDir::Read(SettingsFile()).find("a = 1\n"), std::string::npos);
    EXPECT_FALSE(App().SettingsDirty());

    // A success starts the back-off afresh.
    BlockSettingsFile(true);
    App().SetConfigValue("b", "2");
    TickAt(5000);
    BlockSettingsFile(false);
    TickAt(5999);
    EXPECT_FALSE(Written());
    TickAt(6000);
    EXPECT_TRUE(Written());

    // Shutdown tries once more whatever the back-off says.
    BlockSettingsFile(true);
    App().SetConfigValue("c", "3");
    TickAt(7000);
    BlockSettingsFile(false);
    Shutdown();
    ASSERT_TRUE(Written());
    EXPECT_NE(TempDir::Read(SettingsFile()).find("a = 1\nb = 2\nc = 3\n"), std::string::npos);
}

TEST_F(AppSettingsFailure, AReadOnlyFolderKeepsTheOldFileAndTheChange) {
    const int code = RunWithPrivateMounts(
        [this] {
            std::filesystem::create_directories(SettingsFolder());
            if (!MountTmpfs(SettingsFolder(), "1m")) return 10;
            const std::string old = "TickDelay = 30\n";
            TempDir::Write(SettingsFile(), old);
            if (!RemountReadOnly(SettingsFolder(), true)) return 11;
            if (!Start()) return 12;
            App().SetClock([this] { return m_now; });
            App().SetConfigValue("a", "1");
            TickAt(0);
            if (!App().SettingsDirty()) return 3;
            if (TempDir::Read(SettingsFile()) != old) return 4;

            if (!RemountReadOnly(SettingsFolder(), false)) return 13;
            TickAt(CRetryBackoff::kFirstDelayMs);
            if (App().SettingsDirty()) return 5;
            const std::string written = TempDir::Read(SettingsFile());
            if (written.find("TickDelay = 30\na = 1\n") == std::string::npos) return 6;
            return 0;
        },
        20s);
    if (code == kNoMountNamespace) GTEST_SKIP() << "needs root to mount a read-only tmpfs";
    EXPECT_EQ(code, 0) << "3: change dropped, 4: old file changed, 5-6: no retry once writable";
}

TEST(RetryBackoff, DoublesFromOneSecondUpToAMinuteAndResetsOnSuccess) {
    CRetryBackoff backoff;
    EXPECT_TRUE(backoff.IsDue(0));
    std::uint64_t now = 500;
    std::vector<std::uint64_t> delays;
    for (int failure = 0; failure < 9; ++failure) {
        backoff.Failed(now);
        delays.push_back(backoff.DelayMs());
        EXPECT_FALSE(backoff.IsDue(now + backoff.DelayMs() - 1));
        now += backoff.DelayMs();
        EXPECT_TRUE(backoff.IsDue(now));
    }
    EXPECT_EQ(delays, (std::vector<std::uint64_t>{1000, 2000, 4000, 8000, 16000, 32000, 60000,
                                                  60000, 60000}));
    backoff.Succeeded();
    EXPECT_TRUE(backoff.IsDue(now));
    backoff.Failed(now);
    EXPECT_EQ(backoff.DelayMs(), 1000u);
}

}  // namespace
