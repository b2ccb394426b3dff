#include "cli/cli_edit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/cli.h"
#include "platform/environment.h"
#include "platform/file_util.h"
#include "platform/project_lock.h"
#include "testing/temp_dir.h"

namespace {

struct Result {
  int status;
  std::string out;
  std::string err;
};

// The end of the message for a generated file whose markers are damaged.
constexpr const char* kNothingChanged =
    ". Nothing was changed: repair its marker comments (/* @! ... */), or delete the file so "
    "that the next build writes it anew.\n";

// A built project with a page and two pictures, and realms 1 and 5 set.
class CliEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentValue("SOURCE_DATE_EPOCH", "1700000000");
    m_dir.Write("site/index.htm", "<p>Hi</p>\n");
    m_gif = m_dir.Write("site/a.gif", "GIF89a");
    m_png = m_dir.Write("site/b.png", "PNG");
    m_project = m_dir.File("p.web");
    ASSERT_EQ(kExitOk, Run({"new", m_project, "--target", m_dir.File("gen")}).status);
    ASSERT_EQ(kExitOk, Run({"import", m_project, m_dir.File("site")}).status);
    ASSERT_EQ(kExitOk, Run({"build", m_project}).status);
    ASSERT_EQ(kExitOk, Edit("realms", {"--set", "1", "Staff", "staff", "pw1"}).status);
    ASSERT_EQ(kExitOk, Edit("realms", {"--set", "5", "Service", "tech", "pw5"}).status);
  }
  static Result Run(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = RunPagoric(args, out, err);
    return {status, out.str(), err.str()};
  }
  Result Edit(const std::string& command, std::vector<std::string> args = {}) {
    args.insert(args.begin(), {command, m_project});
    return Run(args);
  }
  std::string UrlFile() const { return m_dir.Read("gen/url.c"); }
  std::string BinFile() const { return m_dir.Read("gen/bindata.c"); }
  // Replaces the first from in the named generated file with to.
  void Damage(const std::string& name, const std::string& from, const std::string& to) {
    std::string text = m_dir.Read("gen/" + name);
    const size_t at = text.find(from);
    ASSERT_NE(std::string::npos, at) << from;
    text.replace(at, from.size(), to);
    m_dir.Write("gen/" + name, text);
  }

  TempDir m_dir;
  std::string m_project, m_gif, m_png;
};

TEST_F(CliEditTest, DamagedMarkersStopEveryCommandThatWouldChangeTheFile) {
  // Without its begin marker the realms would read as none, and the next
  // --set would write only its own.
  Damage("url.c", "/* @! Begin of Setup Security Table */", "/* Setup Security Table */");
  const std::string url = UrlFile();
  const std::string urlMessage = m_dir.File("gen/url.c") +
                                 " is damaged at line 154: \"/* @! Begin of HSSetRealm calls */\" "
                                 "comes without \"/* @! Begin of Setup Security Table */\" before "
                                 "it" +
                                 kNothingChanged;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"realms", "--set", "2", "Guests", "guest", "pw"},
                                             {"realms", "--clear"},
                                             {"urls", "--add", "/new.htm", "Send_new"},
                                             {"urls", "--remove", "/a.gif"},
                                             {"home", "/index.htm"},
                                             {"build", "--all"}}) {
    const Result r = Edit(args[0], std::vector<std::string>(args.begin() + 1, args.end()));
    EXPECT_EQ(kExitNotDone, r.status) << args[0] << " " << args[1];
    EXPECT_EQ(urlMessage, r.err) << args[0] << " " << args[1];
  }
  EXPECT_EQ(url, UrlFile());

  // One flipped byte in an end line of the binary data file.
  Damage("url.c", "/* Setup Security Table */", "/* @! Begin of Setup Security Table */");
  Damage("bindata.c", "/* @! End File: " + m_gif, "/* @! End Fi1e: " + m_gif);
  const std::string bin = BinFile();
  const Result r = Edit("bindata", {"--remove", m_gif});
  EXPECT_EQ(kExitNotDone, r.status);
  EXPECT_EQ(m_dir.File("gen/bindata.c") +
                " is damaged at line 12: the marker comment is none of this file's" +
                kNothingChanged,
            r.err);
  EXPECT_EQ(bin, BinFile());
}

TEST_F(CliEditTest, NulByteIsAnErrorNamingItsLine) {
  Damage("url.c", "AppSearchURL", std::string("App\0SearchURL", 13));
  const std::string url = UrlFile();
  const Result r = Edit("home", {"--none"});
  EXPECT_EQ(kExitNotDone, r.status);
  EXPECT_EQ(m_dir.File("gen/url.c") + " is damaged at line 73: the line holds a NUL byte" +
                kNothingChanged,
            r.err);
  EXPECT_EQ(url, UrlFile());
}

TEST_F(CliEditTest, RealmValuesTooLongToReadBackAreRefused) {
  const std::string url = UrlFile();
  const Result r = Edit("realms", {"--set", "2", std::string(5000, 'n'), "user", "pw"});
  EXPECT_EQ(kExitFailed, r.status);
  EXPECT_EQ(
      "The realm name, user name and password of Realm2 are too long for one line of the URL "
      "file: together they may hold at most 987 characters.\n",
      r.err);
  EXPECT_EQ(url, UrlFile());
  // The longest values that fit are written and read back whole.
  const std::string name(987 - 9, 'n');
  ASSERT_EQ(kExitOk, Edit("realms", {"--set", "2", name, "user", "passw"}).status);
  const Result list = Edit("realms");
  ASSERT_EQ(kExitOk, list.status) << list.err;
  EXPECT_NE(std::string::npos, list.out.find("Realm2\t" + name + "\tuser\tpassw\n"));
}

TEST_F(CliEditTest, EditorCommandsTakeTheProjectLock) {
  CProjectLock other(m_project);  // a build or the window of another process
  ASSERT_TRUE(other.TryLock());
  const std::string url = UrlFile();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"urls", "--remove", "/a.gif"},
                                             {"home", "/index.htm"},
                                             {"realms", "--clear"},
                                             {"bindata", "--remove", m_gif}}) {
    const Result r = Edit(args[0], std::vector<std::string>(args.begin() + 1, args.end()));
    EXPECT_EQ(kExitNotDone, r.status) << args[0];
    EXPECT_EQ("pagoric " + args[0] + ": " + m_project +
                  " is being changed by another process (a build or an edit of its tree); try "
                  "again when it has finished.\n",
              r.err);
  }
  EXPECT_EQ(url, UrlFile());
  other.Unlock();
  EXPECT_EQ(kExitOk, Edit("realms", {"--clear"}).status);
}

TEST_F(CliEditTest, RemovedBinaryDataOfAProjectSourceIsConvertedAgain) {
  ASSERT_EQ(kExitOk, Edit("bindata", {"--remove", m_gif}).status);
  EXPECT_EQ(m_png + "\n", Edit("bindata").out);
  // The check names the file a build would change; the build restores it.
  Result r = Edit("build", {"--check"});
  EXPECT_EQ(kExitFailed, r.status);
  EXPECT_EQ(m_dir.File("gen/bindata.c") + "\n", r.out);
  r = Edit("build");
  ASSERT_EQ(kExitOk, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find(m_gif + " ---> "));
  EXPECT_EQ(m_gif + "\n" + m_png + "\n", Edit("bindata").out);
  EXPECT_EQ(kExitOk, Edit("build", {"--check"}).status);
}

}  // namespace

namespace {

TEST(CliTargetFilesTest, NamesThatLeaveTheTargetAndDanglingLinksWriteNothingOutside) {
  TempDir dir;
  dir.Write("site/index.htm", "<p>Hi</p>\n");
  const std::string project = dir.File("p.web");
  const std::string target = dir.File("gen");
  for (const char* name : {"../escaped_url.c", "sub/url.c", "..", ""}) {
    std::ostringstream out, err;
    EXPECT_EQ(kExitNotDone,
              RunPagoric({"new", project, "--target", target, "--url-file", name}, out, err));
    EXPECT_EQ(std::string("The URL file must be a file name in the target directory, without a "
                          "folder: \"") +
                  name + "\" is not.\n",
              err.str());
  }
  EXPECT_FALSE(PathExists(project));
  std::ostringstream out, err;
  ASSERT_EQ(kExitOk, RunPagoric({"new", project, "--target", target}, out, err)) << err.str();
  ASSERT_EQ(kExitOk, RunPagoric({"import", project, dir.File("site")}, out, err)) << err.str();
  std::ostringstream buildErr;
  EXPECT_EQ(kExitNotDone,
            RunPagoric({"build", project, "--bin-file", "../escaped_bin.c"}, out, buildErr));
  EXPECT_EQ(
      "The binary data file must be a file name in the target directory, without a folder: "
      "\"../escaped_bin.c\" is not.\n",
      buildErr.str());
  EXPECT_FALSE(PathExists(dir.File("escaped_bin.c")));

  // Generated files that are dangling links become files of their own.
  std::filesystem::create_directory(dir.File("elsewhere"));
  std::error_code linked;
  std::filesystem::create_symlink(dir.File("elsewhere/url.c"), target + kPathSeparator + "url.c",
                                  linked);
  if (linked) GTEST_SKIP() << "no symbolic link can be made here: " << linked.message();
  std::filesystem::create_symlink(dir.File("elsewhere/bindata.c"),
                                  target + kPathSeparator + "bindata.c");
  std::filesystem::create_symlink(dir.File("elsewhere/_index.c"),
                                  target + kPathSeparator + "_index.c");
  std::ostringstream builtErr;
  EXPECT_EQ(kExitOk, RunPagoric({"build", project}, out, builtErr)) << builtErr.str();
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("elsewhere")));
  for (const char* name : {"url.c", "bindata.c", "_index.c"}) {
    EXPECT_FALSE(std::filesystem::is_symlink(target + "/" + name)) << name;
    EXPECT_NE(std::string::npos, dir.Read("gen/" + std::string(name)).find("@! ")) << name;
  }
}

}  // namespace
