// Files on disk found and removed by name: a name that is not there as written
// is looked for without regard to letter case, as on the platform's file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// Deletes a disk file; a name that is not there as written is looked for
// without regard to letter case, as on the platform's file system.
void RemoveFileByName(std::string_view name);
// The path of the existing file of that name: as written when it is there,
// else the first entry of its directory whose name differs only in letter case.
std::optional<std::string> FindFileNoCase(std::string_view name);
// Every file of name's folder whose name is name's in any letter case, sorted.
std::vector<std::string> FilesNoCase(std::string_view name);

}  // namespace rt
