#include "cli/cli.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "build/open_project.h"
#include "pagoric_version.h"
#include "platform/environment.h"
#include "platform/file_util.h"
#include "platform/project_lock.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

namespace {

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result Pagoric(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = RunPagoric(args, out, err);
  return {status, out.str(), err.str()};
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentValue("SOURCE_DATE_EPOCH", "1700000000");
    dir.Write("site/index.htm", "<p>Hi</p>\n");
    dir.Write("site/img/a.gif", "GIF89a");
    project = dir.File("p.web");
    target = dir.File("gen");
  }
  TempDir dir;
  std::string project, target;
};

TEST_F(CliTest, NewImportBuildTree) {
  Result r = Pagoric({"new", project, "--target", target});
  ASSERT_EQ(kExitOk, r.status) << r.err;
  EXPECT_EQ(kExitNotDone, Pagoric({"new", project}).status);  // exists, no --force

  r = Pagoric({"import", project, dir.File("site"), "--under", "/web"});
  ASSERT_EQ(kExitOk, r.status) << r.err;
  EXPECT_EQ("Imported 2 file(s) from " + dir.File("site") + "\n", r.out);

  // Importing again reuses the folders and adds no file twice.
  const std::string firstTree = Pagoric({"tree", project}).out;
  r = Pagoric({"import", project, dir.File("site"), "--under", "/web"});
  ASSERT_EQ(kExitOk, r.status) << r.err;
  EXPECT_EQ("Imported 0 file(s) from " + dir.File("site") + "\n", r.out);

  r = Pagoric({"tree", project});
  ASSERT_EQ(kExitOk, r.status) << r.err;
  EXPECT_EQ(firstTree, r.out);
  EXPECT_EQ(
      "/\troot\n"
      "  web/\tfolder\n"
      "    img/\tfolder\n"
      "      /web/img/a.gif\tbinary\t0\t" +
          dir.File("site/img/a.gif") +
          "\n"
          "    /web/index.htm\tpage\t1\t" +
          dir.File("site/index.htm") + "\n",
      r.out);

  // A target directory that is missing at build time is created only with --yes.
  ASSERT_EQ(0, ::rmdir(target.c_str()));
  r = Pagoric({"build", project, "--target", target});
  EXPECT_EQ(kExitNotDone, r.status);
  EXPECT_NE(std::string::npos, r.err.find("cannot be found !\nDo you want to create it? [No"));

  r = Pagoric({"build", project, "--yes", "--target", target});
  ASSERT_EQ(kExitOk, r.status) << r.err;
  EXPECT_EQ(dir.File("site/img/a.gif") + " ---> " + target + kPathSeparator +
                "bindata.c    o.k.\n" + dir.File("site/index.htm") + " ---> " + target +
                kPathSeparator + "_web_index.c    o.k.\n" + "Build number:    1 Done\n",
            r.out);
  EXPECT_TRUE(IsRegularFile(target + kPathSeparator + "_web_index.c"));

  r = Pagoric({"build", project});
  EXPECT_EQ(kExitOk, r.status);
  EXPECT_EQ("Build number:    1 Done\n", r.out);
}

TEST_F(CliTest, BadInputIsReportedWithExitStatusTwo) {
  dir.Write("bad.web", "garbage");
  for (const char* command : {"tree", "build", "mkdir"}) {
    std::vector<std::string> args = {command, dir.File("bad.web")};
    if (std::string(command) == "mkdir") args.push_back("/x");
    Result r = Pagoric(args);
    EXPECT_EQ(kExitNotDone, r.status) << command;
    EXPECT_EQ("Invalid .web file or file no longer exists\n", r.err) << command;
  }
  EXPECT_EQ("garbage", dir.Read("bad.web"));

  EXPECT_EQ(kExitNotDone, Pagoric({}).status);
  EXPECT_EQ(kExitNotDone, Pagoric({"frobnicate"}).status);
  EXPECT_EQ(kExitNotDone, Pagoric({"build"}).status);
  EXPECT_EQ(kExitNotDone, Pagoric({"build", project, "--bogus"}).status);
  EXPECT_EQ(kExitNotDone, Pagoric({"build", project, "--relocate", "nothing"}).status);
  Result help = Pagoric({"build", "--help"});
  EXPECT_EQ(kExitOk, help.status);
  EXPECT_EQ(0u, help.out.find("usage: pagoric build PROJECT.web"));
  EXPECT_EQ("pagoric " PAGORIC_VERSION "\n", Pagoric({"--version"}).out);
}

TEST_F(CliTest, FailedNodeGivesExitStatusOne) {
  ASSERT_EQ(kExitOk, Pagoric({"new", project, "--target", target}).status);
  ASSERT_EQ(kExitOk, Pagoric({"add", project, dir.File("site/index.htm")}).status);
  ASSERT_EQ(kExitOk, Pagoric({"build", project, "--yes"}).status);
  // A page file that is not ours is never overwritten: that node fails.
  dir.Write("gen/_index.c", "int user_code;\n");
  Result r = Pagoric({"build", project, "--all"});
  EXPECT_EQ(kExitFailed, r.status);
  EXPECT_NE(std::string::npos, r.out.find("_index.c  failed.\n"));
  EXPECT_EQ("int user_code;\n", dir.Read("gen/_index.c"));
  // The message names the node it is about.
  EXPECT_EQ(0u, r.err.find(dir.File("site/index.htm") + ": File " + target + kPathSeparator +
                           "_index.c already"));

  // A build state that cannot be written fails the build too, with its message.
  dir.Write("gen/_index.c", "");
  std::filesystem::remove(target + "/.p.web.state");
  std::filesystem::create_directory(target + "/.p.web.state");
  r = Pagoric({"build", project, "--all"});
  EXPECT_EQ(kExitFailed, r.status);
  EXPECT_NE(std::string::npos, r.err.find(target + kPathSeparator + ".p.web.state")) << r.err;
}

TEST_F(CliTest, MovedProjectNeedsRelocation) {
  ASSERT_EQ(kExitOk, Pagoric({"new", project, "--target", target}).status);
  ASSERT_EQ(kExitOk, Pagoric({"add", project, dir.File("site/index.htm")}).status);
  ASSERT_EQ(0, ::rename(dir.File("site").c_str(), dir.File("moved").c_str()));
  Result r = Pagoric({"build", project, "--yes"});
  EXPECT_EQ(kExitNotDone, r.status);
  EXPECT_NE(std::string::npos,
            r.err.find(dir.File("site/index.htm") + " cannot be found; if it "
                                                    "moved, give --relocate OLD=NEW"));
  r = Pagoric(
      {"build", project, "--yes", "--relocate", dir.File("site") + "=" + dir.File("moved")});
  EXPECT_EQ(kExitOk, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find(dir.File("moved/index.htm") + " ---> "));

  // A target directory that is gone while the sources are all found did not
  // move: it is made again on --yes (a clean rebuild), with the same files.
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(target)) {
    files[entry.path().filename().string()] = dir.Read(entry.path().string());
  }
  ASSERT_GT(std::filesystem::remove_all(target), 0u);
  r = Pagoric({"build", project});
  EXPECT_EQ(kExitNotDone, r.status);
  EXPECT_NE(std::string::npos, r.err.find("Do you want to create it? [No"));
  EXPECT_NE(std::string::npos, r.err.find(", or --target DIR\n"));
  EXPECT_FALSE(PathExists(target));
  r = Pagoric({"build", project, "--yes"});
  EXPECT_EQ(kExitOk, r.status) << r.err;
  std::map<std::string, std::string> rebuilt;
  for (const auto& entry : std::filesystem::directory_iterator(target)) {
    rebuilt[entry.path().filename().string()] = dir.Read(entry.path().string());
  }
  EXPECT_EQ(files, rebuilt);
}

TEST_F(CliTest, ProjectWithoutTargetDirectoryNeedsOne) {
  ScriptedPrompter prompter;
  COpenProject unbuilt(prompter, nullptr);
  unbuilt.StartNew(project);  // saved before its first build: no target yet
  unbuilt.m_settings.m_strUrlFile = COpenProject::kDefaultUrlFile;
  unbuilt.m_settings.m_strBinFile = COpenProject::kDefaultBinFile;
  ASSERT_TRUE(unbuilt.SaveProject());
  Result r = Pagoric({"build", project, "--yes"});
  EXPECT_EQ(kExitNotDone, r.status);
  EXPECT_NE(std::string::npos,
            r.err.find("the project has no target directory yet; give --target"));
  EXPECT_FALSE(PathExists("/url.c"));
  r = Pagoric({"build", project, "--yes", "--target", target});
  EXPECT_EQ(kExitOk, r.status) << r.err;
  EXPECT_TRUE(IsRegularFile(target + kPathSeparator + "url.c"));
}

TEST_F(CliTest, ProjectBeingChangedElsewhereIsLeftAlone) {
  ASSERT_EQ(kExitOk, Pagoric({"new", project, "--target", target}).status);
  const std::string saved = dir.Read("p.web");
  CProjectLock other(project);  // another process's build
  ASSERT_TRUE(other.TryLock());
  for (std::vector<std::string> args : {std::vector<std::string>{"mkdir", project, "/docs"},
                                        {"add", project, dir.File("site/index.htm")},
                                        {"import", project, dir.File("site")},
                                        {"build", project},
                                        {"new", project, "--force"}}) {
    Result r = Pagoric(args);
    EXPECT_EQ(kExitNotDone, r.status) << args[0];
    EXPECT_EQ("pagoric " + args[0] + ": " + project +
                  " is being changed by another process (a build or an edit of its tree); try "
                  "again when it has finished.\n",
              r.err);
  }
  EXPECT_EQ(saved, dir.Read("p.web"));
  EXPECT_EQ(kExitOk, Pagoric({"tree", project}).status);  // reading is not changing
  other.Unlock();
  ASSERT_EQ(kExitOk, Pagoric({"mkdir", project, "/docs"}).status);
  EXPECT_NE(std::string::npos, Pagoric({"tree", project}).out.find("docs/\tfolder"));
}

TEST_F(CliTest, NewChecksTheProjectPathFirst) {
  Result r = Pagoric({"new", dir.File("nowhere/p.web"), "--target", target});
  EXPECT_EQ(kExitNotDone, r.status);
  EXPECT_EQ("pagoric new: the folder " + dir.File("nowhere") + " does not exist\n", r.err);
  EXPECT_FALSE(PathExists(target));
}

}  // namespace

namespace {

// Every file below a folder with its bytes and time, to prove nothing changed.
std::map<std::string, std::pair<std::string, std::uint64_t>> Snapshot(const std::string& folder) {
  std::map<std::string, std::pair<std::string, std::uint64_t>> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::string bytes;
    ReadWholeFile(entry.path().string(), bytes);
    files[entry.path().string()] = {bytes, LastWriteFileTime(entry.path().string())};
  }
  return files;
}

}  // namespace

TEST_F(CliTest, CheckListsWhatABuildWouldChangeAndWritesNothing) {
  ASSERT_EQ(kExitOk, Pagoric({"new", project, "--target", target}).status);
  ASSERT_EQ(kExitOk, Pagoric({"import", project, dir.File("site")}).status);
  // Nothing built yet: every generated file would be made.
  auto before = Snapshot(dir.path());
  Result r = Pagoric({"build", project, "--check"});
  EXPECT_EQ(kExitFailed, r.status) << r.err;
  EXPECT_EQ(target + kPathSeparator + "_index.c\n" + target + kPathSeparator + "bindata.c\n" +
                target + kPathSeparator + "url.c\n",
            r.out);
  EXPECT_EQ(before, Snapshot(dir.path()));

  ASSERT_EQ(kExitOk, Pagoric({"build", project, "--yes"}).status);
  r = Pagoric({"build", project, "--check"});
  EXPECT_EQ(kExitOk, r.status) << r.err;
  EXPECT_EQ("", r.out);
  EXPECT_EQ(kExitOk, Pagoric({"build", project, "--check", "--all"}).status);

  // A changed page: only its page file is out of date, and stays as it is.
  dir.Write("site/index.htm", "<p>Hello</p>\n");
  // Later than the recorded time, however coarse the file system's clock.
  const auto later = std::filesystem::file_time_type::clock::now() + std::chrono::seconds(5);
  std::filesystem::last_write_time(dir.File("site/index.htm"), later);
  before = Snapshot(dir.path());
  r = Pagoric({"build", project, "--check"});
  EXPECT_EQ(kExitFailed, r.status) << r.err;
  EXPECT_EQ(target + kPathSeparator + "_index.c\n", r.out);
  EXPECT_EQ(before, Snapshot(dir.path()));
  ASSERT_EQ(kExitOk, Pagoric({"build", project, "--yes"}).status);
  EXPECT_EQ(kExitOk, Pagoric({"build", project, "--check"}).status);

  // A hand edit inside a generated section is found by a check of every node.
  std::string page = dir.Read("gen/_index.c");
  page.replace(page.find("Hello"), 5, "Hullo");
  dir.Write("gen/_index.c", page);
  EXPECT_EQ(kExitOk, Pagoric({"build", project, "--check"}).status);
  r = Pagoric({"build", project, "--check", "--all"});
  EXPECT_EQ(kExitFailed, r.status);
  EXPECT_EQ(target + kPathSeparator + "_index.c\n", r.out);

  // A missing target directory is taken as empty, and not made.
  ASSERT_GT(std::filesystem::remove_all(target), 0u);
  r = Pagoric({"build", project, "--check"});
  EXPECT_EQ(kExitFailed, r.status) << r.err;
  EXPECT_EQ(target + kPathSeparator + "_index.c\n" + target + kPathSeparator + "bindata.c\n" +
                target + kPathSeparator + "url.c\n",
            r.out);
  EXPECT_FALSE(PathExists(target));

  // Relocating would rewrite the project file.
  r = Pagoric({"build", project, "--check", "--relocate", "/a=/b"});
  EXPECT_EQ(kExitNotDone, r.status);
}

TEST_F(CliTest, DepfileNamesEveryGeneratedFileAndEverySource) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "a depfile of Windows paths is not the make syntax tested here";
  dir.Write("site with blank/a$#.htm", "<p>x</p>\n");
  ASSERT_EQ(kExitOk, Pagoric({"new", project, "--target", target}).status);
  ASSERT_EQ(kExitOk, Pagoric({"import", project, dir.File("site")}).status);
  ASSERT_EQ(kExitOk, Pagoric({"add", project, dir.File("site with blank/a$#.htm")}).status);
  Result r = Pagoric({"build", project, "--yes", "--depfile", dir.File("p.d")});
  ASSERT_EQ(kExitOk, r.status) << r.err;
  const std::string& t = target;
  EXPECT_EQ(t + "/url.c " + t + "/bindata.c " + t + "/_index.c " + t + "/_a$$\\#.c: " + project +
                " \\\n  " + dir.File("site/img/a.gif") + " \\\n  " + dir.File("site/index.htm") +
                " \\\n  " + dir.path() + "/site\\ with\\ blank/a$$\\#.htm\n",
            dir.Read("p.d"));
  // A check writes the same rule, and nothing else.
  const auto before = Snapshot(target);
  r = Pagoric({"build", project, "--check", "--depfile", dir.File("q.d")});
  EXPECT_EQ(kExitOk, r.status) << r.err;
  EXPECT_EQ(dir.Read("p.d"), dir.Read("q.d"));
  EXPECT_EQ(before, Snapshot(target));
}

TEST_F(CliTest, NamesThatCanNeverBeServedAreRefusedBeforeAnythingIsWritten) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "Windows file names cannot hold the quotes and control characters tested here";
  ASSERT_EQ(kExitOk, Pagoric({"new", project, "--target", target}).status);
  ASSERT_EQ(kExitOk, Pagoric({"mkdir", project, "/docs"}).status);
  const std::string saved = dir.Read("p.web");
  const auto refused = [&](const std::vector<std::string>& args, const std::string& err) {
    const Result r = Pagoric(args);
    EXPECT_EQ(kExitNotDone, r.status) << args[0] << " " << args.back();
    EXPECT_EQ(err, r.err) << args[0] << " " << args.back();
    EXPECT_EQ(saved, dir.Read("p.web"));
  };
  refused({"mkdir", project, "/docs/../up"},
          "pagoric mkdir: The folder name \"..\" cannot be part of a URL: it is \"..\".\n");
  refused({"mkdir", project, "/new/./x"},
          "pagoric mkdir: The folder name \".\" cannot be part of a URL: it is \".\".\n");
  refused({"mkdir", project, "/what?"},
          "pagoric mkdir: The folder name \"what?\" cannot be part of a URL: it holds a question "
          "mark (?).\n");
  refused({"mkdir", project, "/a\\b"},
          "pagoric mkdir: The folder name \"a\\b\" cannot be part of a URL: it holds a "
          "backslash (\\).\n");
  refused({"add", project, "--under", "/x,y", dir.File("site/index.htm")},
          "pagoric add: The folder name \"x,y\" cannot be part of a URL: it holds a comma (,).\n");
  const std::string comma = dir.Write("more/a,b.gif", "GIF89a");
  refused(
      {"add", project, dir.File("site/index.htm"), comma},
      "pagoric add: The file " + comma + " cannot be part of a URL: its name holds a comma (,).\n");
  const std::string quote = dir.Write("more/say \"hi\".htm", "<p>hi</p>\n");
  refused({"add", project, quote},
          "pagoric add: The file " + quote +
              " cannot be part of a URL: its name holds a double quote (\").\n");
  // One name refuses the whole import.
  const std::string question = dir.Write("site/img/deep/what?.htm", "<p>?</p>\n");
  refused(
      {"import", project, dir.File("site")},
      "The file " + question + " cannot be part of a URL: its name holds a question mark (?).\n");
  ASSERT_EQ(0, std::remove(question.c_str()));
  dir.Write("site/ta\tb/x.htm", "x\n");
  refused({"import", project, dir.File("site")},
          "The folder name \"ta^Ib\" cannot be part of a URL: it holds the control character "
          "0x09.\n");
}

TEST_F(CliTest, NamesThatAreNoCIdentifiersFailWithAMessage) {
  const std::string page = dir.Write("site/load.htm", "<p>_NZZA_cpu-load</p>\n");
  ASSERT_EQ(kExitOk, Pagoric({"new", project, "--target", target}).status);
  ASSERT_EQ(kExitOk, Pagoric({"add", project, page}).status);
  Result r = Pagoric({"build", project, "--yes"});
  EXPECT_EQ(kExitFailed, r.status);
  EXPECT_NE(std::string::npos, r.out.find("_load.c  failed.\n")) << r.out;
  EXPECT_EQ(page + ": " + page +
                " is not converted: its dynamic content name \"cpu-load\" cannot be the name of a "
                "C function. The name after _NZZA_ must be letters, digits and underscores.\n",
            r.err);
  EXPECT_FALSE(PathExists(dir.File("gen/_load.c")));
  EXPECT_EQ(std::string::npos, dir.Read("gen/url.c").find("load"));

  const std::string url = dir.Read("gen/url.c");
  for (const char* name : {"int", "main", "URLTable", "HSSend"}) {
    r = Pagoric({"urls", project, "--add", "/x.htm", name});
    EXPECT_EQ(kExitFailed, r.status) << name;
    EXPECT_NE(std::string::npos, r.err.find(name)) << r.err;
    EXPECT_EQ(url, dir.Read("gen/url.c"));
  }
}

TEST_F(CliTest, SourceTooLargeForTheUrlTableFails) {
  // 4 GiB + 100 bytes, sparse: a 32-bit size took it for 100.
  const std::string big = dir.Write("site/big.bin", "");
  std::filesystem::resize_file(big, (std::uint64_t{1} << 32) + 100);
  ASSERT_EQ(kExitOk, Pagoric({"new", project, "--target", target}).status);
  ASSERT_EQ(kExitOk, Pagoric({"add", project, big}).status);
  const Result r = Pagoric({"build", project, "--yes"});
  EXPECT_EQ(kExitFailed, r.status);
  EXPECT_NE(std::string::npos, r.out.find("bindata.c  failed.\n")) << r.out;
  EXPECT_EQ(big + ": " + big +
                " is not converted: it holds 4294967396 bytes, more than the 2147483647 bytes the "
                "size field of the URL table can hold.\n",
            r.err);
  EXPECT_EQ(std::string::npos, dir.Read("gen/url.c").find("big.bin"));
}

TEST_F(CliTest, ImportSkipsHiddenFilesUnlessAsked) {
  dir.Write("site/.git/config", "[core]\n");
  dir.Write("site/img/.thumbs.db", "x");
  dir.Write("site/.htaccess", "deny\n");
  ASSERT_EQ(kExitOk, Pagoric({"new", project, "--target", target}).status);
  Result r = Pagoric({"import", project, dir.File("site")});
  ASSERT_EQ(kExitOk, r.status) << r.err;
  EXPECT_EQ("Imported 2 file(s) from " + dir.File("site") +
                "\nSkipped 3 hidden file(s) and folder(s) (names starting with \".\"); give "
                "--hidden to import them\n",
            r.out);
  EXPECT_EQ(std::string::npos, Pagoric({"tree", project}).out.find("/."));
  r = Pagoric({"import", project, dir.File("site"), "--hidden"});
  ASSERT_EQ(kExitOk, r.status) << r.err;
  EXPECT_EQ("Imported 3 file(s) from " + dir.File("site") + "\n", r.out);
  const std::string tree = Pagoric({"tree", project}).out;
  EXPECT_NE(std::string::npos, tree.find("/.git/config"));
  EXPECT_NE(std::string::npos, tree.find("/img/.thumbs.db"));
}
