#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern + "/";
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    // Tests make folders unreadable on purpose; give them back before removing.
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(m_path, ignored);
}

void TempFolder::Write(const std::string& name, const std::string& content) const
{
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + File(name));
}

std::string TempFolder::Read(const std::string& name) const
{
    std::ifstream in(File(name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool TempFolder::Exists(const std::string& name) const
{
    return std::filesystem::exists(File(name));
}

void TempFolder::MakeFolder(const std::string& name) const
{
    std::filesystem::create_directories(File(name));
}
