#pragma once

#include "sysfuncs/SystemFunctions.h"

class CApp;

// The application as the system functions for scripts see it.
class CAppSystemHost : public ISystemHost {
  public:
    explicit CAppSystemHost(CApp& app) : m_app(app) {}

    std::int64_t CurrentTimeSeconds() override;
    std::uint32_t UptimeMilliseconds() override;
    std::string ProgramTitle() override;
    void SetMainWindowTitle(const std::string& title) override;
    int SetMainWindowIcon(const std::string& file) override;
    void RestoreProgramIcon() override;

  private:
    CApp& m_app;
};
