#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

    static std::string Read(const std::string& path);
    static void Write(const std::string& path, const std::string& bytes);

  private:
    std::string m_path;
};
