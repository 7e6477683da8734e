#include "config/ConfigStore.h"

#include "base/AsciiText.h"
#include "base/FileAccess.h"

namespace {

bool IsTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin])) ++begin;
    while (end > begin && IsTrimmed(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

bool CConfigStore::Load(const std::string& path) {
    m_values.clear();
    // Anything but a regular file (a folder, a FIFO) counts as missing; a read error ends the
    // reading and what was read so far counts.
    std::string text;
    if (!ReadRegularFile(path, text)) return false;
    Parse(text);
    return true;
}

void CConfigStore::Parse(const std::string& text) {
    m_values.clear();
    std::size_t position = 0;
    const std::size_t size = text.size();
    while (position < size) {
        if (text[position] == '\r' || text[position] == '\n') {
            ++position;
            continue;
        }
        std::size_t end = text.find_first_of("\r\n", position);
        if (end == std::string::npos) end = size;
        std::string line = text.substr(position, end - position);
        position = end;

        // A comment needs its "#" in the first column, before any trimming.
        if (line[0] == '#') continue;
        line = Trim(line);
        if (line.empty()) continue;

        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            Set(line, "");
        } else {
            Set(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
        }
    }
}

std::string CConfigStore::Serialize(const std::string& header) const {
    // Line feeds only: this platform's text files end their lines so.
    std::string text;
    if (!header.empty()) text += header + "\n\n";
    for (const auto& [key, value] : m_values) {
        text += key;
        text += " = ";
        text += value;
        text += '\n';
    }
    return text;
}

bool CConfigStore::Save(const std::string& path, const std::string& header) const {
    // Written beside the old file and renamed over it, so a full disk or a crash part-way
    // leaves the old settings whole.
    return static_cast<bool>(ReplaceFile(path, Serialize(header)));
}

std::string CConfigStore::Get(const std::string& key) const {
    auto found = m_values.find(key);
    return found == m_values.end() ? std::string() : found->second;
}

void CConfigStore::Set(const std::string& key, const std::string& value) { m_values[key] = value; }

bool IsTrueWord(const std::string& value) {
    const std::string lower = LowerAsciiCopy(value);
    return lower == "true" || lower == "yes" || lower == "1";
}
