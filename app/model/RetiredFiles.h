#pragma once

// Deletes the retired entries of the support folder (an "engine" folder, model folders of other
// families and of ids no longer listed). Only entries of our own folders are touched, and never
// through a symbolic link: the support folder and its "models" folder must be real folders, and
// a link found anywhere is removed itself, never followed.

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ovra::supervisor {

// Removes what the layout rule retires under base, given the model folder names to keep (none:
// keep every product model folder). Returns one log line per entry, in order: "removed retired
// <path>" or "could not remove retired <path>: <reason>". Blocks; run it on a worker thread.
std::vector<std::string> removeRetiredEntries(const std::filesystem::path& base,
                                              const std::optional<std::set<std::string>>& keep);

}  // namespace ovra::supervisor
