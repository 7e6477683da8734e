#include <sys/stat.h>

#include <filesystem>

#include "tests/app/AppFixture.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;

// Settings files that cannot be read, and what the application makes of them.
class AppSettingsFailure : public AppFixture {
  protected:
    // A folder in place of Settings.cfg: reading finds no file.
    void BlockSettingsFile(bool blocked) {
        std::filesystem::remove_all(SettingsFile());
        if (blocked) std::filesystem::create_directories(SettingsFile());
    }
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

}  // namespace
