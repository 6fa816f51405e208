#include "app/resource_store.h"

#include "app/text_buffer.h"
#include "platform/folder_entry.h"
#include "platform/program_folder.h"

#include <algorithm>
#include <unistd.h>

std::string ResourceFolder()
{
    return ProgramFolder() + "list";
}

std::string ResourcePath(const std::string& bareName)
{
    return ResourceFolder() + '/' + bareName;
}

void LoadResourceFile(TTextBuffer& buffer, const std::string& bareName)
{
    // Only the target and the count matter; reading stops after them.
    buffer.LoadFromFile(ResourcePath(bareName), 2);
}

bool IsNameInsideResourceFolder(const std::string& typedName)
{
    if (typedName.starts_with('/'))
        return false;
    for (size_t start = 0; start <= typedName.size();) {
        const size_t slash = std::min(typedName.find('/', start), typedName.size());
        if (typedName.compare(start, slash - start, "..") == 0)
            return false;
        start = slash + 1;
    }
    return true;
}

void WriteResourceFile(TTextBuffer& buffer, const std::string& typedName, const std::string& target, int count)
{
    buffer.Clear();
    buffer.Add(target);
    buffer.Add(std::to_string(count));
    buffer.SaveToFile(ProgramFolder() + "list/" + typedName);
}

void DeleteResourceFile(const std::string& bareName)
{
    const TFolderEntry entry(ResourcePath(bareName));
    if (entry.Folder() >= 0)
        ::unlinkat(entry.Folder(), entry.Name().c_str(), 0);
}
