// A temporary folder per test, removed with everything in it when the test ends.
#pragma once

#include <string>

class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path with a trailing "/".
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

    void Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;
    void MakeFolder(const std::string& name) const;

private:
    std::string m_path;
};
