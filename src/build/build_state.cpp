#include "build/build_state.h"

#include <charconv>

#include "platform/file_util.h"

namespace {

constexpr std::string_view kHeader = "Pagoric build state 1\n";

}  // namespace

std::string BuildStatePath(const std::string& targetDir, const std::string& projectPath) {
  std::string folder, name;
  SplitPath(projectPath, folder, name);
  return targetDir + "." + name + ".state";
}

bool LoadBuildState(const std::string& file, CBuildTimes& times) {
  times.clear();
  std::string text;
  if (!IsRegularFile(file) || !ReadWholeFile(file, text) || !text.starts_with(kHeader)) {
    return false;
  }
  // One line per URL: the time in decimal, a blank, the URL.
  size_t pos = kHeader.size();
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const size_t blank = text.find(' ', pos);
    std::uint64_t time = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + pos, text.data() + end, time);
    if (blank == std::string::npos || blank >= end || ec != std::errc() ||
        ptr != text.data() + blank) {
      times.clear();
      return false;
    }
    const std::string url = text.substr(blank + 1, end - blank - 1);
    // A URL given twice (the same file under one name twice) counts with its
    // older time, so neither item is taken for up to date by mistake.
    auto [it, added] = times.emplace(url, time);
    if (!added && time < it->second) it->second = time;
    pos = end + 1;
  }
  return true;
}

CBuildTimes TimesOf(const CPageNodeList& nodes) {
  CBuildTimes times;
  for (const auto& node : nodes) {
    if (!node->IsPage() && !node->IsBinary()) continue;
    auto [it, added] = times.emplace(node->GetUrl(), node->GetLastWrite());
    if (!added && node->GetLastWrite() < it->second) it->second = node->GetLastWrite();
  }
  return times;
}

bool SaveBuildState(const std::string& file, const CPageNodeList& nodes) {
  std::string text(kHeader);
  for (const auto& [url, time] : TimesOf(nodes)) {
    if (time == 0 || url.find('\n') != std::string::npos) continue;
    text += std::to_string(time) + ' ' + url + '\n';
  }
  if (FileHolds(file, text)) return true;
  return ReplaceFileAtomically(file, text) == ReplaceResult::kOk;
}
