#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What a fake player publishes.
struct FakeSong {
    std::string identity;
    std::string status;
    std::vector<std::string> artists;
    std::string title;
    std::int32_t trackNumber = 0;
    std::int64_t lengthMicroseconds = 0;
    std::int64_t positionMicroseconds = 0;
};

// A media player on a session bus, as the desktop's players publish themselves: the name
// org.mpris.MediaPlayer2.<name> with the root and player interfaces' properties, served from
// a thread of its own. A player that does not answer takes its name and never reads again.
class CFakeMprisPlayer {
  public:
    enum class Answers { Yes, Never };

    CFakeMprisPlayer(std::string busAddress, std::string name, FakeSong song,
                     Answers answers = Answers::Yes);
    ~CFakeMprisPlayer();
    CFakeMprisPlayer(const CFakeMprisPlayer&) = delete;
    CFakeMprisPlayer& operator=(const CFakeMprisPlayer&) = delete;

    // True once the name is on the bus; false when that failed or took over five seconds.
    bool WaitUntilPublished();
    const FakeSong& Song() const { return m_song; }

  private:
    void Serve();
    void Report(bool published);

    std::string m_busAddress;
    std::string m_name;
    FakeSong m_song;
    Answers m_answers;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_reported = false;
    bool m_published = false;
    std::thread m_thread;
};
