#include "ui/qt/QtSound.h"

#include <canberra.h>

QtSound::~QtSound() {
    if (m_context) ca_context_destroy(m_context);
}

void QtSound::Play(const std::string& path) {
    if (path.empty() || m_unavailable) return;
    if (!m_context) {
        if (ca_context_create(&m_context) != CA_SUCCESS) {
            // Without the library's context there is nothing to retry with.
            m_context = nullptr;
            m_unavailable = true;
            return;
        }
    }
    // The id only matters for cancelling, which the client never does.
    ca_context_play(m_context, 0, CA_PROP_MEDIA_FILENAME, path.c_str(), nullptr);
}
