#pragma once

#include <map>
#include <string>

// Ordered key/value store of a settings file. Keys are compared as unsigned byte strings, so
// the file is written in that order.
class CConfigStore {
  public:
    // Header written at the top of the user settings file.
    static constexpr const char* kSettingsHeader =
        "# This file is modified by OstrakClient. Do not manually edit this\n"
        "# file while OstrakClient is running!";

    // Empties the store, then reads the file. False (and empty) when it cannot be opened or is
    // not a regular file.
    bool Load(const std::string& path);
    // Writes the header (when not empty) and two line feeds, then "key = value\n" per entry.
    // False, with the old file as it was, when the file cannot be written whole.
    bool Save(const std::string& path, const std::string& header) const;
    // The text Save writes.
    std::string Serialize(const std::string& header) const;
    // The stored value, or the empty string when there is none.
    std::string Get(const std::string& key) const;
    void Set(const std::string& key, const std::string& value);
    void Clear() { m_values.clear(); }

    const auto& Entries() const { return m_values; }

    // Parses the text of a settings file into the store (after emptying it).
    void Parse(const std::string& text);

  private:
    struct ByteOrder {
        bool operator()(const std::string& a, const std::string& b) const {
            return a.compare(b) < 0;  // std::char_traits<char>::compare works on unsigned bytes
        }
    };
    std::map<std::string, std::string, ByteOrder> m_values;
};

// True for "true", "yes" or "1" in any case.
bool IsTrueWord(const std::string& value);
