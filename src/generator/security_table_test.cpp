#include "generator/security_table.h"

#include <gtest/gtest.h>

#include "document/generated_files.h"
#include "generator/test_support.h"
#include "testing/scripted_prompter.h"

namespace {

const std::string kBeginCalls = "/* @! Begin of HSSetRealm calls */\n";
const std::string kExample =
    "    /*HSSetRealm (REALM1, \"realmname\", \"user\", \"password\");*/\n";
const std::string kEndCalls = "/* @! End   of HSSetRealm calls */";

class SecurityTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = WriteUrlFile(m_dir);
    m_fresh = m_dir.Read(m_path);
  }
  // The fresh file with calls in place of the example call.
  std::string WithCalls(const std::string& calls) const {
    std::string text = m_fresh;
    const std::string example = CrLf(kBeginCalls + kExample);
    text.replace(text.find(example), example.size(), CrLf(kBeginCalls + calls));
    return text;
  }
  std::vector<std::string> Fields(const CSecurityTable& table, int call) const {
    std::vector<std::string> fields;
    for (int f = 0; f < 4; ++f) fields.push_back(table.GetRealmField(call, f));
    return fields;
  }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  std::string m_path;
  std::string m_fresh;
};

TEST_F(SecurityTableTest, RewrittenRealmsReplaceTheExampleAndReadBack) {
  CDirectFiles files;
  {
    CSecurityTable table(m_prompter, files, m_path);
    EXPECT_EQ(table.GetRealmCount(), 0);  // the example call is a comment
    EXPECT_GT(table.ClearRealms(), 0);
    EXPECT_EQ(table.AddRealm(0, "Admin area", "root", "pw"), 1);
    EXPECT_EQ(table.AddRealm(2, "Service", "svc", ""), 1);
  }
  EXPECT_EQ(m_dir.Read(m_path),
            WithCalls("    HSSetRealm (REALM1, \"Admin area\", \"root\", \"pw\");\n"
                      "    HSSetRealm (REALM3, \"Service\", \"svc\", \"\");\n"));

  CSecurityTable table(m_prompter, files, m_path);
  ASSERT_EQ(table.GetRealmCount(), 2);
  EXPECT_EQ(Fields(table, 0), (std::vector<std::string>{"0", "Admin area", "root", "pw"}));
  EXPECT_EQ(Fields(table, 1), (std::vector<std::string>{"2", "Service", "svc", ""}));
  EXPECT_EQ(table.GetRealmField(2, 0), "");

  // Rewriting again leaves exactly the new calls.
  EXPECT_GT(table.ClearRealms(), 0);
  EXPECT_EQ(table.AddRealm(7, "Last", "u", "p"), 1);
  EXPECT_EQ(m_dir.Read(m_path), WithCalls("    HSSetRealm (REALM8, \"Last\", \"u\", \"p\");\n"));
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(SecurityTableTest, ValuesAreWrittenAsCStringsAndReadBackAsTyped) {
  CDirectFiles files;
  {
    CSecurityTable table(m_prompter, files, m_path);
    EXPECT_GT(table.ClearRealms(), 0);
    EXPECT_EQ(table.AddRealm(0, "R?\?=1 @!", "u?\?-", "pw?\?/"), 1);
    EXPECT_EQ(table.AddRealm(1, "??", "?\?\?/", "end??"), 1);
  }
  // No "??" followed by a trigraph character is left: "??/" would end the
  // password's string with an escaped quote.
  EXPECT_EQ(m_dir.Read(m_path),
            WithCalls("    HSSetRealm (REALM1, \"R?\\?=1 @\"\"!\", \"u?\\?-\", \"pw?\\?/\");\n"
                      "    HSSetRealm (REALM2, \"?\\?\", \"?\\?\\?/\", \"end?\\?\");\n"));
  CSecurityTable table(m_prompter, files, m_path);
  EXPECT_EQ(Fields(table, 0), (std::vector<std::string>{"0", "R?\?=1 @!", "u?\?-", "pw?\?/"}));
  EXPECT_EQ(Fields(table, 1), (std::vector<std::string>{"1", "??", "?\?\?/", "end??"}));
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(SecurityTableTest, HandWrittenCallsGiveTheirDocumentedReading) {
  CDirectFiles files;
  const std::string path =
      m_dir.Write("hand.c", WithCalls("  hssetrealm (REALM2, \"a\", \"b\", \"c\");\n"
                                      "// HSSetRealm (REALM3, \"x\", \"y\", \"z\");\n"
                                      "\tHSSetRealm (REALM9, \"nine\", \"u\", \"p\");\n"
                                      "    HSSetRealm (REALM0, \"zero\", \"u\", \"p\");\n"
                                      "    HSSetRealm (REALMX, \"x\", \"u\", \"p\");\n"
                                      "    HSSetRealm(REALM4,\"tight\",\"u\",\"p\");\n"));
  CSecurityTable table(m_prompter, files, path);
  ASSERT_EQ(table.GetRealmCount(), 5);
  EXPECT_EQ(Fields(table, 0), (std::vector<std::string>{"1", "a", "b", "c"}));
  EXPECT_EQ(table.GetRealmField(1, 0), "-1");
  EXPECT_EQ(table.GetRealmField(1, 1), "nine");
  EXPECT_EQ(table.GetRealmField(2, 0), "-1");
  EXPECT_EQ(table.GetRealmField(3, 0), "-1");
  EXPECT_EQ(Fields(table, 4), (std::vector<std::string>{"3", "tight", "u", "p"}));
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(SecurityTableTest, AddRealmRefusesValuesThatCannotBeWrittenOrReadBack) {
  CDirectFiles files;
  CSecurityTable table(m_prompter, files, m_path);
  struct {
    std::string name, user, password, field;
  } cases[] = {
      {"a\"b", "u", "p", "realm name"}, {"a\\", "u", "p", "realm name"},
      {"a", "u,v", "p", "user name"},   {"a", "u", "p)", "password"},
      {"a", "u", "p\n", "password"},    {"a\t", "u", "p", "realm name"},
      {"a", "\x7f", "p", "user name"},
  };
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    EXPECT_EQ(table.AddRealm(0, c.name, c.user, c.password), 0) << c.field;
    expected.push_back("The " + c.field +
                       " must not contain a double quote, a backslash, a comma, a closing "
                       "parenthesis or a control character.");
  }
  EXPECT_EQ(table.AddRealm(8, "a", "u", "p"), 0);
  EXPECT_EQ(table.AddRealm(-1, "a", "u", "p"), 0);
  EXPECT_EQ(m_prompter.Texts(), expected);
  EXPECT_EQ(m_dir.Read(m_path), m_fresh);
  // Bytes above 127 and other punctuation are fine.
  EXPECT_EQ(table.AddRealm(1, "B\xe4ren */", "u;'", "p(w%s"), 1);
}

TEST_F(SecurityTableTest, MissingMarkersAreReportedAndChangeNothing) {
  CDirectFiles files;
  auto without = [&](const std::string& marker) {
    std::string text = m_fresh;
    text.erase(text.find(marker), marker.size());
    return m_dir.Write("bad.c", text);
  };
  const std::string beginTable = "/* @! Begin of Setup Security Table */";
  const std::string noTable = without(beginTable);
  { CSecurityTable table(m_prompter, files, noTable); }
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"Can't find " + beginTable + " in " + noTable}));
  m_prompter.Clear();

  const std::string noEnd = without(kEndCalls);
  const std::string before = m_dir.Read(noEnd);
  CSecurityTable table(m_prompter, files, noEnd);
  EXPECT_EQ(table.AddRealm(0, "a", "u", "p"), 0);
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"Can't find " + kEndCalls + " in " + noEnd}));
  EXPECT_EQ(m_dir.Read(noEnd), before);
  m_prompter.Clear();

  const std::string noBegin = without("/* @! Begin of HSSetRealm calls */");
  const std::string beforeClear = m_dir.Read(noBegin);
  EXPECT_EQ(CSecurityTable(m_prompter, files, noBegin).ClearRealms(), -1);
  EXPECT_EQ(m_dir.Read(noBegin), beforeClear);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST(RealmExpressionTest, WritesAndReadsEveryMask) {
  EXPECT_EQ(MakeRealmExpression(0), "Unprotected");
  EXPECT_EQ(MakeRealmExpression(0x01), "Realm1");
  EXPECT_EQ(MakeRealmExpression(0x92), "Realm2+Realm5+Realm8");
  EXPECT_EQ(MakeRealmExpression(0x100), "Unprotected");
  for (unsigned mask = 1; mask < 256; ++mask) {
    const RealmSelection back = ReadRealmExpression(MakeRealmExpression(mask));
    EXPECT_EQ(back.mask, mask);
    EXPECT_FALSE(back.unprotected);
  }
  const RealmSelection unprotected = ReadRealmExpression("Unprotected");
  EXPECT_TRUE(unprotected.unprotected);
  EXPECT_EQ(unprotected.mask, 0u);

  // Hand-written expressions: Realm0 checks the unprotected box, other
  // characters after "Realm" check nothing.
  const RealmSelection zero = ReadRealmExpression("Realm0+Realm2");
  EXPECT_TRUE(zero.unprotected);
  EXPECT_EQ(zero.mask, 0x02u);
  EXPECT_EQ(ReadRealmExpression("Realm9").mask, 0u);
  EXPECT_EQ(ReadRealmExpression("AllRealms").mask, 0u);
  EXPECT_EQ(ReadRealmExpression("realm1").mask, 0u);
  EXPECT_EQ(ReadRealmExpression("Realm").mask, 0u);
  EXPECT_FALSE(ReadRealmExpression("unprotected").unprotected);
}

}  // namespace
