#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "project/project_file.h"

// What one target directory holds: for every URL, the time of the source its
// generated code was made from. The project file records this for the target
// directory the project last built; a build into any target directory also
// leaves it in a small hidden file there (".NAME.web.state" for the project
// file NAME.web), so that two build trees of one project (Debug and Release,
// host and device) each convert what they do not hold up to date.
using CBuildTimes = std::map<std::string, std::uint64_t>;

// The state file of a project in a target directory (ending in a separator).
std::string BuildStatePath(const std::string& targetDir, const std::string& projectPath);
// Reads a state file. False when there is none or it is not one (then times
// is empty and every node counts as not built there).
bool LoadBuildState(const std::string& file, CBuildTimes& times);
// Writes the times of the page and binary nodes, atomically. A node whose time
// is 0 (failed, or marked for the next build) is left out. False when the file
// could not be written.
bool SaveBuildState(const std::string& file, const CPageNodeList& nodes);
// The node times by URL (page and binary nodes only).
CBuildTimes TimesOf(const CPageNodeList& nodes);
