#include "platform/version_block.h"

#include <cstring>
#include <elf.h>
#include <fstream>
#include <unistd.h>
#include <vector>

#if !defined(CORVANE_FILE_VERSION_MS) || !defined(CORVANE_FILE_VERSION_LS)
#error "the build passes the project version as CORVANE_FILE_VERSION_MS and CORVANE_FILE_VERSION_LS"
#endif

// The block is an ELF note "Corvane", type 1: a signature, then the file version and the product version as
// two 32-bit pairs. Being an allocated note it survives strip and is loaded with the program's headers.
#define CORVANE_STR2(x) #x
#define CORVANE_STR(x) CORVANE_STR2(x)
#define CORVANE_LONG(x) ".long " CORVANE_STR(x) "\n"
asm(".pushsection .note.corvane.version,\"a\",@note\n"
    ".balign 4\n"
    ".long 8\n"
    ".long 20\n"
    ".long 1\n"
    ".asciz \"Corvane\"\n"
    ".balign 4\n"
    ".long 0xFEEF04BD\n" CORVANE_LONG(CORVANE_FILE_VERSION_MS) CORVANE_LONG(CORVANE_FILE_VERSION_LS)
        CORVANE_LONG(CORVANE_FILE_VERSION_MS) CORVANE_LONG(CORVANE_FILE_VERSION_LS) ".popsection\n");

namespace {

constexpr uint32_t Signature = 0xFEEF04BD;
constexpr uint32_t NoteType = 1;
constexpr char NoteName[] = "Corvane";

uint32_t word(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Walks the notes of one SHT_NOTE section's bytes.
std::optional<TFixedFileVersion> findInNotes(const std::vector<unsigned char>& notes)
{
    size_t at = 0;
    auto align4 = [](size_t n) { return (n + 3) & ~size_t(3); };
    while (at + 12 <= notes.size()) {
        const uint32_t nameSize = word(&notes[at]);
        const uint32_t descSize = word(&notes[at + 4]);
        const uint32_t type = word(&notes[at + 8]);
        const size_t name = at + 12;
        const size_t desc = name + align4(nameSize);
        if (nameSize > notes.size() || descSize > notes.size() || desc + descSize > notes.size())
            return std::nullopt;
        if (type == NoteType && nameSize == sizeof NoteName && std::memcmp(&notes[name], NoteName, nameSize) == 0
            && descSize >= 20 && word(&notes[desc]) == Signature) {
            return TFixedFileVersion {word(&notes[desc + 4]), word(&notes[desc + 8]), word(&notes[desc + 12]),
                                      word(&notes[desc + 16])};
        }
        at = desc + align4(descSize);
    }
    return std::nullopt;
}

template<class Header, class Section>
std::optional<TFixedFileVersion> findInSections(std::ifstream& file, uint64_t fileSize)
{
    Header header;
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(&header), sizeof header) || header.e_shentsize != sizeof(Section))
        return std::nullopt;
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        Section section;
        file.seekg(static_cast<std::streamoff>(header.e_shoff + uint64_t(i) * sizeof(Section)));
        if (!file.read(reinterpret_cast<char*>(&section), sizeof section))
            return std::nullopt;
        if (section.sh_type != SHT_NOTE || section.sh_offset > fileSize
            || section.sh_size > fileSize - section.sh_offset)
            continue;
        std::vector<unsigned char> notes(section.sh_size);
        file.seekg(static_cast<std::streamoff>(section.sh_offset));
        if (!file.read(reinterpret_cast<char*>(notes.data()), static_cast<std::streamsize>(notes.size())))
            continue;
        if (auto found = findInNotes(notes))
            return found;
    }
    return std::nullopt;
}

} // namespace

std::optional<TFixedFileVersion> ReadFixedFileVersion(const std::string& path)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return std::nullopt;
    const auto size = static_cast<uint64_t>(file.tellg());
    unsigned char ident[EI_NIDENT] = {};
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(ident), sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0
        || ident[EI_DATA] != ELFDATA2LSB)
        return std::nullopt;
    if (ident[EI_CLASS] == ELFCLASS64)
        return findInSections<Elf64_Ehdr, Elf64_Shdr>(file, size);
    if (ident[EI_CLASS] == ELFCLASS32)
        return findInSections<Elf32_Ehdr, Elf32_Shdr>(file, size);
    return std::nullopt;
}

std::string FileVersionText(const TFixedFileVersion& version)
{
    return std::to_string(version.FileVersionMS >> 16) + "." + std::to_string(version.FileVersionMS & 0xFFFF) + "."
        + std::to_string(version.FileVersionLS >> 16) + "." + std::to_string(version.FileVersionLS & 0xFFFF);
}

std::string ProgramVersionText()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "0.0.0.0";
    const auto version = ReadFixedFileVersion(std::string(buffer, static_cast<size_t>(n)));
    return version ? FileVersionText(*version) : "0.0.0.0";
}
