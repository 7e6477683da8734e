#pragma once

#include <unistd.h>

#include <QWidget>
#include <memory>
#include <string>

#include "QtTestSupport.h"
#include "app/App.h"
#include "tests/support/TempDir.h"
#include "ui/RichPane.h"
#include "ui/qt/QtPlatform.h"

// Both panes on a shown host widget, laid out as the main window lays them out, with a window
// of the test's own kind receiving their notifications.
template <typename WindowType>
class PanesOnQt : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApplication();
        host = std::make_unique<QWidget>();
        host->resize(600, 300);
        host->show();
        factory = std::make_unique<QtPaneFactory>(host.get());
        ASSERT_TRUE(output.Create(*factory, &window, 0, 600, 230, true));
        ASSERT_TRUE(input.Create(*factory, &window, 232, 600, 64, false));
    }
    void TearDown() override {
        input.Reset();
        output.Reset();
        host.reset();
    }

    WindowType window;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<QtPaneFactory> factory;
    CRichPane output;
    CRichPane input;
};

// The whole client on the Qt platform, in a working directory and settings folder of its own.
class AppOnQtFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApplication();
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        m_oldCwd = cwd;
        ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
        setenv("XDG_CONFIG_HOME", (m_dir.Path() + "/config").c_str(), 1);
        m_platform = std::make_unique<QtPlatform>();
        m_app = std::make_unique<CApp>();
        m_created = m_app->Create(m_platform.get());
        ASSERT_TRUE(m_created);
    }
    void TearDown() override {
        if (m_created) m_app->Destroy();
        m_app.reset();
        m_platform.reset();
        ASSERT_EQ(chdir(m_oldCwd.c_str()), 0);
    }

    TempDir m_dir;
    std::string m_oldCwd;
    std::unique_ptr<QtPlatform> m_platform;
    std::unique_ptr<CApp> m_app;
    bool m_created = false;
};
