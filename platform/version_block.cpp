#include "platform/version_block.h"

#include <cstring>
#include <elf.h>
#include <fstream>
#include <link.h>
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

// Walks the notes of one note section or segment, laid out at `alignment` (4, or 8 for some segments).
std::optional<TFixedFileVersion> findInNotes(const unsigned char* notes, size_t size, size_t alignment = 4)
{
    size_t at = 0;
    auto align = [alignment](size_t n) { return (n + alignment - 1) & ~(alignment - 1); };
    while (at + 12 <= size) {
        const uint32_t nameSize = word(&notes[at]);
        const uint32_t descSize = word(&notes[at + 4]);
        const uint32_t type = word(&notes[at + 8]);
        const size_t name = at + 12;
        const size_t desc = align(name + nameSize);
        if (nameSize > size || descSize > size || desc + descSize > size)
            return std::nullopt;
        if (type == NoteType && nameSize == sizeof NoteName && std::memcmp(&notes[name], NoteName, nameSize) == 0
            && descSize >= 20 && word(&notes[desc]) == Signature) {
            return TFixedFileVersion {word(&notes[desc + 4]), word(&notes[desc + 8]), word(&notes[desc + 12]),
                                      word(&notes[desc + 16])};
        }
        at = align(desc + descSize);
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
        if (auto found = findInNotes(notes.data(), notes.size()))
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
    // The block is read from the program as it was loaded, not from its file: a package upgrade replaces
    // that file while the old program goes on running.
    std::optional<TFixedFileVersion> version;
    dl_iterate_phdr(
        [](dl_phdr_info* image, size_t, void* found) {
            for (ElfW(Half) i = 0; i < image->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = image->dlpi_phdr[i];
                if (segment.p_type != PT_NOTE)
                    continue;
                const auto* notes = reinterpret_cast<const unsigned char*>(image->dlpi_addr + segment.p_vaddr);
                *static_cast<std::optional<TFixedFileVersion>*>(found)
                    = findInNotes(notes, segment.p_memsz, segment.p_align == 8 ? 8 : 4);
                if (*static_cast<std::optional<TFixedFileVersion>*>(found))
                    break;
            }
            // The first image is the program itself; the libraries after it carry no block of ours.
            return 1;
        },
        &version);
    return version ? FileVersionText(*version) : "0.0.0.0";
}
