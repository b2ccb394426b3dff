// Feeds arbitrary bytes to the project file reader. A rejected file must leave
// the caller's node list and settings untouched; an accepted one must write,
// read back and write the same bytes again, and open into tree items whose
// URLs can be computed. Crashes, leaks and hangs are the fuzzer's to find.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "project/project_file.h"
#include "project/tree_ctrl.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CPageNodeList nodes;
  nodes.push_back(std::make_unique<CPageNode>());
  nodes[0]->SetPath("sentinel");
  CProjectSettings settings;
  settings.m_strTargetDir = "sentinel";
  if (!ReadProject(bytes, nodes, settings)) {
    Check(nodes.size() == 1 && nodes[0]->GetPath() == "sentinel");
    Check(settings.m_strTargetDir == "sentinel");
    return 0;
  }

  std::string first;
  Check(WriteProject(nodes, settings, first));
  CPageNodeList again;
  CProjectSettings againSettings;
  Check(ReadProject(first, again, againSettings));
  std::string second;
  Check(WriteProject(again, againSettings, second));
  Check(first == second);

  CSTreeCtrl tree;
  tree.m_nodes = std::move(nodes);
  tree.OpenNodeList();
  size_t items = 0;
  tree.WalkItems([&](HTREEITEM, int) { ++items; });
  Check(items == tree.GetCount() && items >= 1 && items <= tree.m_nodes.size() + 1);
  for (size_t i = 0; i < tree.m_nodes.size(); ++i) {
    Check(!tree.GetNodeUrl(static_cast<int>(i)).empty());
  }
  return 0;
}
