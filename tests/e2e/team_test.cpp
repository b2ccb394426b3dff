// A project the way a firmware team keeps it: in a repository cloned to other
// paths, built into several target directories, driven from make and CI. The
// real pagoric program is run on scratch checkouts.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/cli.h"
#include "platform/file_util.h"
#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// Runs pagoric with args, standard output and error apart.
Outcome Pagoric(const std::vector<std::string>& args) {
  TempDir scratch;
  const std::string errFile = scratch.File("stderr.txt");
  std::vector<std::string> line = {"sh", "-c", "\"$0\" \"$@\" 2>'" + errFile + "'",
                                   PagoricProgram()};
  line.insert(line.end(), args.begin(), args.end());
  Outcome run;
  run.status = RunProgram(line, run.out);
  run.err = scratch.Read("stderr.txt");
  return run;
}

// Occurrences of what in text.
size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

// A checkout: site/ with two pages and a picture, p.web built into gen/.
class TeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home.Write("site/index.htm", "<p>Home</p>\n");
    home.Write("site/about.htm", "<p>About</p>\n");
    home.Write("site/img/dot.gif", "GIF89a-one");
    ASSERT_TRUE(RunOk({PagoricProgram(), "new", Web(home), "--target", home.File("gen")}));
    ASSERT_TRUE(RunOk({PagoricProgram(), "import", Web(home), home.File("site")}));
    ASSERT_TRUE(RunOk({PagoricProgram(), "build", Web(home)}));
  }
  static std::string Web(const TempDir& dir) { return dir.File("p.web"); }
  // Edits a file so that it is newer than anything built before.
  static void Edit(const TempDir& dir, const std::string& name, const std::string& text) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    dir.Write(name, text);
  }
  // A clone of the home checkout in another folder (file times as a fresh
  // checkout gives them: now).
  void Clone(const TempDir& to) {
    for (const char* part : {"site", "gen", "p.web"}) {
      fs::copy(home.File(part), to.File(part), fs::copy_options::recursive);
    }
  }

  TempDir home;
};

TEST_F(TeamTest, CloneAtAnotherPathBuildsItsOwnFilesAndLeavesTheProjectFileAlone) {
  TempDir clone;
  Clone(clone);
  const std::string webBytes = clone.Read("p.web");
  const std::string homeGen = home.Read("gen/_about.c") + home.Read("gen/bindata.c");
  Edit(clone, "site/about.htm", "<p>About, edited in the clone</p>\n");
  Edit(clone, "site/img/dot.gif", "GIF89a-two!");

  // The home checkout still exists: the clone neither reads nor writes it.
  Outcome run = Pagoric({"build", Web(clone)});
  ASSERT_EQ(kExitOk, run.status) << run.err << run.out;
  EXPECT_EQ(std::string::npos, run.out.find(home.path())) << run.out;
  EXPECT_NE(std::string::npos, clone.Read("gen/_about.c").find("edited in the clone"));
  EXPECT_EQ(homeGen, home.Read("gen/_about.c") + home.Read("gen/bindata.c"));
  EXPECT_EQ(webBytes, clone.Read("p.web"));
  // The picture's block was found again under the path its markers record,
  // not added a second time.
  const std::string bin = clone.Read("gen/bindata.c");
  // Two markers: the array and its send function.
  EXPECT_EQ(2u, Count(bin, "Begin File: " + home.File("site/img/dot.gif"))) << bin;
  EXPECT_EQ(std::string::npos, bin.find(clone.path())) << bin;
  EXPECT_NE(std::string::npos, clone.Read("gen/url.c").find("HSTypeGif, 11, ")) << "new size";

  run = Pagoric({"build", Web(clone), "--check"});
  EXPECT_EQ(kExitOk, run.status) << run.out << run.err;

  // With the home checkout gone, the clone builds the same way.
  fs::remove_all(home.File("site"));
  fs::remove_all(home.File("gen"));
  Edit(clone, "site/index.htm", "<p>Home, again</p>\n");
  run = Pagoric({"build", Web(clone)});
  ASSERT_EQ(kExitOk, run.status) << run.err << run.out;
  EXPECT_NE(std::string::npos, clone.Read("gen/_index.c").find("Home, again"));
  EXPECT_EQ(webBytes, clone.Read("p.web"));
}

TEST_F(TeamTest, EachTargetDirectoryIsConvertedForWhatItDoesNotHold) {
  const std::string genA = home.File("genA");
  const std::string genB = home.File("genB");
  ASSERT_TRUE(RunOk({PagoricProgram(), "build", Web(home), "--yes", "--target", genA}));
  ASSERT_TRUE(RunOk({PagoricProgram(), "build", Web(home), "--yes", "--target", genB}));
  Edit(home, "site/about.htm", "<p>About, second</p>\n");
  ASSERT_TRUE(RunOk({PagoricProgram(), "build", Web(home), "--target", genA}));
  // genB was not built since the edit: the check says so, the build fixes it.
  Outcome run = Pagoric({"build", Web(home), "--check", "--target", genB});
  EXPECT_EQ(kExitFailed, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find(genB + "/_about.c")) << run.out;
  run = Pagoric({"build", Web(home), "--target", genB});
  ASSERT_EQ(kExitOk, run.status) << run.err;
  EXPECT_NE(std::string::npos, home.Read("genB/_about.c").find("About, second"));
  // The project's own target directory (gen) still holds the first edition,
  // and the check tells.
  run = Pagoric({"build", Web(home), "--check", "--target", home.File("gen")});
  EXPECT_EQ(kExitFailed, run.status) << run.out;
  for (const std::string& dir : {genA, genB}) {
    run = Pagoric({"build", Web(home), "--check", "--target", dir});
    EXPECT_EQ(kExitOk, run.status) << dir << run.out;
  }
}

TEST_F(TeamTest, NoSaveLeavesTheProjectFileAsItWas) {
  const std::string webBytes = home.Read("p.web");
  Edit(home, "site/about.htm", "<p>About, third</p>\n");
  home.Write("site/new.htm", "<p>New</p>\n");
  ASSERT_TRUE(RunOk({PagoricProgram(), "add", Web(home), home.File("site/new.htm")}));
  const std::string afterAdd = home.Read("p.web");
  EXPECT_NE(webBytes, afterAdd);
  Outcome run = Pagoric({"build", Web(home), "--no-save"});
  ASSERT_EQ(kExitOk, run.status) << run.err;
  EXPECT_EQ(afterAdd, home.Read("p.web"));
  EXPECT_NE(std::string::npos, home.Read("gen/_new.c").find("<p>New</p>"));
  // The state file of the target directory knows what was built.
  run = Pagoric({"build", Web(home), "--check"});
  EXPECT_EQ(kExitOk, run.status) << run.out;
}

TEST_F(TeamTest, ALongLineTypedIntoAStubIsNeverWrappedByYes) {
  const std::string page = home.File("gen/_about.c");
  std::string text = home.Read("gen/_about.c");
  const std::string longLine = "/* " + std::string(1500, 'x') + " */\r\n";
  text += longLine;
  ASSERT_EQ(ReplaceFileAtomically(page, text), ReplaceResult::kOk);
  Edit(home, "site/about.htm", "<p>About, fourth</p>\n");

  Outcome run = Pagoric({"build", Web(home), "--yes"});
  EXPECT_EQ(kExitFailed, run.status) << run.out;
  EXPECT_EQ(text, home.Read("gen/_about.c"));
  EXPECT_NE(std::string::npos, run.err.find("give --wrap-long-lines")) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("File " + page + ": line ")) << run.err;
  EXPECT_EQ(std::string::npos, run.err.find("cannot be  recognized")) << run.err;

  run = Pagoric({"build", Web(home), "--wrap-long-lines"});
  EXPECT_EQ(kExitOk, run.status) << run.err;
  EXPECT_NE(std::string::npos, home.Read("gen/_about.c").find("About, fourth"));
}

TEST_F(TeamTest, RemoveAndRenameEditTheTreeFromTheCommandLine) {
  fs::remove(home.File("site/img/dot.gif"));
  Outcome run = Pagoric({"build", Web(home)});
  EXPECT_EQ(kExitNotDone, run.status);
  run = Pagoric({"remove", Web(home), "/img/nothing.gif"});
  EXPECT_EQ(kExitNotDone, run.status);
  EXPECT_EQ("pagoric remove: the project has no URL /img/nothing.gif\n", run.err);
  run = Pagoric({"remove", Web(home), "/img/dot.gif"});
  ASSERT_EQ(kExitOk, run.status) << run.err;
  run = Pagoric({"build", Web(home)});
  EXPECT_EQ(kExitOk, run.status) << run.err;

  run = Pagoric({"rename", Web(home), "/img", "pics"});
  ASSERT_EQ(kExitOk, run.status) << run.err;
  run = Pagoric({"tree", Web(home)});
  EXPECT_NE(std::string::npos, run.out.find("pics/\tfolder")) << run.out;
  run = Pagoric({"rename", Web(home), "/about.htm", "x.htm"});
  EXPECT_EQ(kExitNotDone, run.status);
  // A folder goes only with --yes, as the window asks first.
  run = Pagoric({"remove", Web(home), "/pics"});
  EXPECT_EQ(kExitNotDone, run.status);
  // A folder named together with an item inside it goes once, with the item.
  home.Write("site/pics/in.htm", "<p>in</p>\n");
  ASSERT_TRUE(RunOk(
      {PagoricProgram(), "add", Web(home), "--under", "/pics", home.File("site/pics/in.htm")}));
  run = Pagoric({"remove", Web(home), "/pics/in.htm", "/pics", "/pics/in.htm", "--yes"});
  EXPECT_EQ(kExitOk, run.status) << run.err;
  EXPECT_EQ(std::string::npos, Pagoric({"tree", Web(home)}).out.find("pics"));
}

TEST_F(TeamTest, PlainMakeIsSatisfiedAfterABuildWithAStamp) {
  if (!HaveTool("make")) GTEST_SKIP() << "make is not installed";
  home.Write("Makefile", "-include web.d\nweb.stamp:\n\t'" + PagoricProgram() +
                             "' build p.web --depfile web.d --stamp web.stamp\n");
  ASSERT_TRUE(RunOk({"make", "-C", home.path(), "web.stamp"}));
  std::string output;
  EXPECT_EQ(0, RunProgram({"make", "-q", "-C", home.path(), "web.stamp"}, output)) << output;
  Edit(home, "site/about.htm", "<p>About, for make</p>\n");
  EXPECT_NE(0, RunProgram({"make", "-q", "-C", home.path(), "web.stamp"}, output));
  ASSERT_TRUE(RunOk({"make", "-C", home.path(), "web.stamp"}));
  EXPECT_EQ(0, RunProgram({"make", "-q", "-C", home.path(), "web.stamp"}, output)) << output;
}

}  // namespace
