#include "tests/nowtune/FakeMprisPlayer.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <utility>

namespace {

const FakeSong& SongOf(void* user) { return *static_cast<const FakeSong*>(user); }

int GetIdentity(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* user,
                sd_bus_error*) {
    return sd_bus_message_append_basic(reply, 's', SongOf(user).identity.c_str());
}

int GetStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* user,
              sd_bus_error*) {
    return sd_bus_message_append_basic(reply, 's', SongOf(user).status.c_str());
}

int GetPosition(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* user,
                sd_bus_error*) {
    const std::int64_t position = SongOf(user).positionMicroseconds;
    return sd_bus_message_append_basic(reply, 'x', &position);
}

int GetMetadata(sd_bus*, const char*, const char*, const char*, sd_bus_message* m, void* user,
                sd_bus_error*) {
    const FakeSong& song = SongOf(user);
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r < 0) return r;
    // A path the client does not read comes first, so skipping entries is exercised too.
    r = sd_bus_message_append(m, "{sv}", "mpris:trackid", "o", "/org/ostrak/track/1");
    if (r >= 0 && !song.artists.empty()) {
        r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", "xesam:artist");
        if (r >= 0) r = sd_bus_message_open_container(m, 'v', "as");
        if (r >= 0) r = sd_bus_message_open_container(m, 'a', "s");
        for (const std::string& artist : song.artists) {
            if (r >= 0) r = sd_bus_message_append_basic(m, 's', artist.c_str());
        }
        if (r >= 0) r = sd_bus_message_close_container(m);
        if (r >= 0) r = sd_bus_message_close_container(m);
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "xesam:title", "s", song.title.c_str());
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "xesam:trackNumber", "i", song.trackNumber);
    if (r >= 0) {
        r = sd_bus_message_append(m, "{sv}", "mpris:length", "x", song.lengthMicroseconds);
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

const sd_bus_vtable kRootTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Identity", "s", GetIdentity, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END};

const sd_bus_vtable kPlayerTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", GetStatus, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Metadata", "a{sv}", GetMetadata, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Position", "x", GetPosition, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END};

}  // namespace

CFakeMprisPlayer::CFakeMprisPlayer(std::string busAddress, std::string name, FakeSong song,
                                   Answers answers)
    : m_busAddress(std::move(busAddress)),
      m_name(std::move(name)),
      m_song(std::move(song)),
      m_answers(answers),
      m_thread([this] { Serve(); }) {}

CFakeMprisPlayer::~CFakeMprisPlayer() {
    m_stop = true;
    m_thread.join();
}

bool CFakeMprisPlayer::WaitUntilPublished() {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_reported; });
    return m_published;
}

void CFakeMprisPlayer::Report(bool published) {
    std::lock_guard lock(m_mutex);
    m_reported = true;
    m_published = published;
    m_changed.notify_all();
}

// The bus object belongs to this thread alone, from its making to its end.
void CFakeMprisPlayer::Serve() {
    sd_bus* bus = nullptr;
    const std::string busName = "org.mpris.MediaPlayer2." + m_name;
    void* song = &m_song;
    bool published =
        sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, m_busAddress.c_str()) >= 0 &&
        sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0 &&
        sd_bus_add_object_vtable(bus, nullptr, "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2",
                                 kRootTable, song) >= 0 &&
        sd_bus_add_object_vtable(bus, nullptr, "/org/mpris/MediaPlayer2",
                                 "org.mpris.MediaPlayer2.Player", kPlayerTable, song) >= 0 &&
        sd_bus_request_name(bus, busName.c_str(), 0) >= 0;
    Report(published);
    while (published && !m_stop) {
        if (m_answers == Answers::Never) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        const int processed = sd_bus_process(bus, nullptr);
        if (processed < 0) break;
        if (processed == 0) sd_bus_wait(bus, 20'000);
    }
    if (bus) {
        sd_bus_close(bus);
        sd_bus_unref(bus);
    }
}
