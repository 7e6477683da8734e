#pragma once

#include <string>

struct ca_context;

// Event sounds through the desktop's sound service. The service plays a file asynchronously on
// its own, so no media pipeline or event-loop object is needed per sound.
class QtSound {
  public:
    QtSound() = default;
    ~QtSound();
    QtSound(const QtSound&) = delete;
    QtSound& operator=(const QtSound&) = delete;

    // Starts the file and returns; a missing file or no sound service is not reported.
    void Play(const std::string& path);

  private:
    // Made on the first sound, so a client that never plays one never talks to the service.
    ca_context* m_context = nullptr;
    bool m_unavailable = false;
};
