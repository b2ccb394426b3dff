// The generated files of the default settings stay byte for byte what the
// program wrote before its output path was reworked: fingerprints of the
// demo, the nasty site and a larger generated site, after a first build, a
// build of a few changed binary files and Build All over the output, with
// the scratch folder's path and the build date taken out. Set
// PAGORIC_E2E_PRINT_FINGERPRINTS=1 to print them instead of comparing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <regex>

#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;

std::uint64_t Fnv1a(std::uint64_t hash, std::string_view bytes) {
  for (const unsigned char c : bytes) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

// One fingerprint of every generated file (state and lock files aside).
std::uint64_t Fingerprint(const TestProject& project, const TempDir& sites) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(project.TargetDir())) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with('.')) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  const std::regex date("Utility on [^*\\r\\n]*");
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const std::string& name : names) {
    std::string text = project.dir().Read("gen/" + name);
    for (const std::string& folder : {project.dir().path(), sites.path()}) {
      for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at)) {
        text.replace(at, folder.size(), "<DIR>");
      }
    }
    text = std::regex_replace(text, date, "Utility on <DATE>");
    hash = Fnv1a(Fnv1a(hash, name), text);
  }
  return hash;
}

// Binary files of many sizes (multiples of the row length among them) in
// nested folders, and pages around them.
void WriteLargerSite(const TempDir& dir, const std::string& folder) {
  std::mt19937 random(20261208);
  for (int i = 0; i < 120; ++i) {
    const size_t size = i % 7 == 0 ? static_cast<size_t>(i) * 20 : random() % 30000;
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(random() & 0xff);
    dir.Write(folder + "/d" + std::to_string(i % 5) + "/e" + std::to_string(i % 3) + "/b" +
                  std::to_string(i) + (i % 2 ? ".png" : ".bin"),
              data);
  }
  for (int i = 0; i < 40; ++i) {
    dir.Write(folder + "/d" + std::to_string(i % 5) + "/p" + std::to_string(i) + ".htm",
              "<html><body><p>Page " + std::to_string(i) + "</p>\n<p>_NZZA_Val" +
                  std::to_string(i) + "</p></body></html>\n");
  }
}

// Gives the named sources new bytes and a later time, as an edit would.
void ChangeSources(const TempDir& dir, const std::vector<std::string>& names) {
  int n = 0;
  for (const std::string& name : names) {
    ++n;
    dir.Write(name, std::string(static_cast<size_t>(37 * n), static_cast<char>('a' + n)));
    fs::last_write_time(dir.File(name),
                        fs::file_time_type::clock::now() + std::chrono::seconds(10));
  }
}

struct Case {
  const char* name;
  std::uint64_t fresh, changed, all;
};

void Check(const Case& expected, TestProject& project, const TempDir& sites,
           const std::vector<std::string>& changes) {
  ASSERT_TRUE(project.ok());
  const std::uint64_t fresh = Fingerprint(project, sites);
  ChangeSources(sites, changes);
  ASSERT_TRUE(RunOk({PagoricProgram(), "build", project.projectFile(), "--yes"}));
  const std::uint64_t changed = Fingerprint(project, sites);
  ASSERT_TRUE(project.Build());
  const std::uint64_t all = Fingerprint(project, sites);
  if (const char* print = std::getenv("PAGORIC_E2E_PRINT_FINGERPRINTS"); print && *print) {
    std::printf("{\"%s\", 0x%016llxULL, 0x%016llxULL, 0x%016llxULL},\n", expected.name,
                static_cast<unsigned long long>(fresh), static_cast<unsigned long long>(changed),
                static_cast<unsigned long long>(all));
    return;
  }
  EXPECT_EQ(expected.fresh, fresh) << expected.name << ": first build";
  EXPECT_EQ(expected.changed, changed) << expected.name << ": build of changed binaries";
  EXPECT_EQ(expected.all, all) << expected.name << ": Build All over the output";
}

// Fingerprints of the output before the rework.
const Case kDemo = {"demo", 0x720aef27bfa1a428ULL, 0x14f8349d193de2b3ULL, 0x33a956264f86eb77ULL};
const Case kNasty = {"nasty", 0xf0a1967d347bfb73ULL, 0xf084ca62bc4e9be1ULL,
                     0x81b95b0189dc974dULL};
const Case kLarger = {"larger", 0xc6b73c75c2dcabfcULL, 0x46864e659753bd5fULL,
                      0x4541a2351095b6a1ULL};

TEST(OutputIdentityTest, DemoNastyAndLargerSitesAreWrittenAsBefore) {
  {
    TempDir sites;
    fs::copy(DemoSite(), sites.File("site"), fs::copy_options::recursive);
    std::vector<std::string> pictures;
    for (const auto& entry : fs::recursive_directory_iterator(sites.File("site"))) {
      const std::string name = entry.path().string().substr(sites.path().size() + 1);
      if (entry.is_regular_file() && (name.ends_with(".gif") || name.ends_with(".png"))) {
        pictures.push_back(name);
      }
    }
    std::sort(pictures.begin(), pictures.end());
    pictures.resize(std::min<size_t>(pictures.size(), 2));
    TestProject project(sites.File("site"));
    Check(kDemo, project, sites, pictures);
  }
  {
    TempDir sites;
    WriteNastySite(sites, "site");
    TestProject project(sites.File("site"));
    Check(kNasty, project, sites, {"site/bin/twenty.jpg", "site/bin/one.png"});
  }
  {
    TempDir sites;
    WriteLargerSite(sites, "site");
    TestProject project(sites.File("site"));
    Check(kLarger, project, sites,
          {"site/d0/e0/b0.bin", "site/d3/e1/b58.bin", "site/d4/e2/b119.png"});
  }
}

}  // namespace
