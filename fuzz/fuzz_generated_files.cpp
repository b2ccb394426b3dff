// Feeds arbitrary bytes, as a URL file and as a binary data file, to the
// readers of the generated files (URL table, security table, binary sections)
// and to the edits that rewrite them. A file whose markers the structure
// check finds damaged must make every edit refuse and stay byte for byte as it
// was; a sound one must take an edit and stay sound, keeping what the edit
// did not touch. Crashes, leaks and hangs are the fuzzer's to find.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "document/generated_files.h"
#include "edit/security_form.h"
#include "generator/binary_sections.h"
#include "generator/file_structure.h"
#include "generator/url_table.h"
#include "platform/file_util.h"

#define CHECK(condition) ((condition) ? void() : Fail(__LINE__))

namespace {

void Fail(int line) {
  std::fprintf(stderr, "check failed on line %d\n", line);
  std::abort();
}

// Shows nothing and answers every question No.
class CSilentPrompter : public Prompter {
 public:
  void ShowOk(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return false; }
  bool AskOkCancel(const std::string&) override { return false; }
  void ShowStop(const std::string&) override {}
};

// One scratch folder for the whole run, removed when the run ends (the text
// is never destroyed, so the exit handler can still read it).
const std::string& Folder() {
  static const std::string* const folder = [] {
    std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    pattern += "/pagoric-fuzz-XXXXXX";
    CHECK(::mkdtemp(pattern.data()) != nullptr);
    std::atexit([] { std::filesystem::remove_all(Folder()); });
    return new std::string(pattern);
  }();
  return *folder;
}

std::string Read(const std::string& path) {
  std::string text;
  CHECK(ReadWholeFile(path, text));
  return text;
}

// Fails, saying why, unless the file at path is sound.
void CheckSound(Prompter& prompter, const std::string& path, CFileStructure::Kind kind,
                std::vector<std::string>* binaryNames) {
  CDirectFiles files;
  const std::string damage =
      CheckFileStructure(prompter, files, path, kind, nullptr, binaryNames);
  if (damage.empty()) return;
  std::fprintf(stderr, "%s\n", damage.c_str());
  Fail(__LINE__);
}

void FuzzUrlFile(Prompter& prompter, std::string_view bytes) {
  const std::string path = Folder() + "/url.c";
  CHECK(ReplaceFileAtomically(path, bytes) == ReplaceResult::kOk);
  bool recognised = false;
  CDirectFiles files;
  const std::string damage =
      CheckFileStructure(prompter, files, path, CFileStructure::Kind::kUrlFile, &recognised);
  const CUrlTable table(prompter, files, path);
  for (int i = 0; i < table.GetEntryCount(); ++i) {
    for (int f = 0; f < 6; ++f) table.GetEntryField(i, f);
  }
  CSecurityTableForm form(prompter, path);
  const CRealmRows rows = form.ReadRows();
  CRealmRows changed = rows;
  changed[2] = {"Fuzz", "user", "pw"};
  const RealmWrite written = form.Write(changed);
  if (!recognised || !damage.empty()) {
    // Not ours or damaged: nothing may have been written.
    if (!damage.empty()) CHECK(written != RealmWrite::kWritten);
    if (written != RealmWrite::kWritten) CHECK(Read(path) == bytes);
    return;
  }
  if (written != RealmWrite::kWritten) {
    CHECK(Read(path) == bytes);
    return;
  }
  // Sound before, sound after, and the realm is read back; the URL table
  // keeps its entries.
  CheckSound(prompter, path, CFileStructure::Kind::kUrlFile, nullptr);
  CSecurityTableForm again(prompter, path);
  const CRealmRows after = again.ReadRows();
  CHECK(after[2].m_strName == "Fuzz" && after[2].m_strUser == "user");
  const CUrlTable tableAfter(prompter, files, path);
  CHECK(tableAfter.GetEntryCount() == table.GetEntryCount());
}

void FuzzBinFile(Prompter& prompter, std::string_view bytes) {
  const std::string path = Folder() + "/bindata.c";
  CHECK(ReplaceFileAtomically(path, bytes) == ReplaceResult::kOk);
  bool recognised = false;
  std::vector<std::string> checkedNames;
  CDirectFiles files;
  const std::string damage = CheckFileStructure(
      prompter, files, path, CFileStructure::Kind::kBinFile, &recognised, &checkedNames);
  // The names as read from disk line by line, and as the document's search
  // finds them: the same.
  const auto namesOf = [&](CGeneratedFiles& from) {
    const CBinarySectionList list(prompter, from, path);
    std::vector<std::string> found;
    for (int i = 0; i < list.GetSectionCount(); ++i) found.push_back(list.GetSectionName(i));
    return found;
  };
  const std::vector<std::string> names = namesOf(files);
  try {
    CDocBatch held;
    held.Open(prompter, path);
    CHECK(namesOf(held) == names);
  } catch (const CSourceException&) {
    // A file the document cannot load was not listed from disk either.
    CHECK(names.empty());
  }
  const std::string victim = names.empty() ? std::string("/none.gif") : names.front();
  const int removed = RemoveBinarySections(prompter, path, {victim}, nullptr);
  if (!damage.empty()) {
    CHECK(removed == 0);
    CHECK(Read(path) == bytes);
    return;
  }
  if (!recognised || removed != 1) return;
  // A sound file stays sound; the other sources keep their data.
  std::vector<std::string> left;
  CheckSound(prompter, path, CFileStructure::Kind::kBinFile, &left);
  for (const std::string& name : checkedNames) {
    const bool same = name.size() == victim.size() &&
                      std::equal(name.begin(), name.end(), victim.begin(), [](char a, char b) {
                        return std::tolower(static_cast<unsigned char>(a)) ==
                               std::tolower(static_cast<unsigned char>(b));
                      });
    if (same) continue;
    CHECK(std::find(left.begin(), left.end(), name) != left.end());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CSilentPrompter prompter;
  try {
    FuzzUrlFile(prompter, bytes);
    FuzzBinFile(prompter, bytes);
  } catch (const std::exception&) {
    // A file the line document cannot read (CSrcFileException) is reported
    // by the callers; it must not crash.
  }
  return 0;
}
