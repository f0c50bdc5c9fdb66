#pragma once
// Names for the temporary file that is written beside a file and then put in its place.
#include <optional>
#include <string>
#include <string_view>

#include "base/FileSystem.h"

namespace np {

// `path` followed by a tag of this process and of this call, and ".tmp": no two writers,
// in this process or in another copy of the program, ever share one.
std::string tempNameBeside(const std::string& path);

// The process that made `fileName` with tempNameBeside(<folder>/`baseName`): the number
// in "<baseName>.<process>-<call>.tmp"; nullopt for any other name.
std::optional<unsigned long> tempNameOwner(std::string_view fileName, std::string_view baseName);

// This process's id, as tempNameBeside writes it.
unsigned long currentProcessId();

// False only when no process of that id exists now; a process that cannot be asked
// (another user's) counts as running.
bool processIsRunning(unsigned long process);

// Removes the temporary files of `baseName` in `folder` that a save left behind when its
// process ended in the middle (a kill, a crash): those whose process no longer runs.
// Another running process's file is never touched, nor this process's. The caller holds
// the folder's lock, so no copy that starts later can be in the middle of such a save.
// Returns how many were removed; a file that cannot be removed is left (it does no harm).
int removeAbandonedTempFiles(FileSystem& files, const std::string& folder, std::string_view baseName);

}  // namespace np
