#include "generator/security_table.h"

#include "document/generated_files.h"
#include "document/markers.h"
#include "document/source_text.h"
#include "generator/field_text.h"
#include "platform/ascii.h"
#include "platform/text_format.h"

namespace {

constexpr const char* kSetRealm = "HSSetRealm";

}  // namespace

bool IsWritableRealmValue(const std::string& value) {
  for (char c : value) {
    if (c == '"' || c == '\\' || c == ',' || c == ')' || IsAsciiControl(c)) return false;
  }
  return true;
}

std::string RealmCallLine(int realm, const std::string& name, const std::string& user,
                          const std::string& password) {
  return "    HSSetRealm (REALM" + std::to_string(realm + 1) + ", \"" + CStringText(name) +
         "\", \"" + CStringText(user) + "\", \"" + CStringText(password) + "\");";
}

bool FitsRealmLine(int realm, const std::string& name, const std::string& user,
                   const std::string& password) {
  return CSourceText::LoadsAsOneLine(RealmCallLine(realm, name, user, password));
}

std::string MakeRealmExpression(unsigned mask) {
  std::string text;
  for (int realm = 1; realm <= kRealmCount; ++realm) {
    if ((mask & (1u << (realm - 1))) == 0) continue;
    if (!text.empty()) text += '+';
    text += "Realm" + std::to_string(realm);
  }
  return text.empty() ? "Unprotected" : text;
}

RealmSelection ReadRealmExpression(const std::string& text) {
  RealmSelection selection;
  if (text == "Unprotected") {
    selection.unprotected = true;
    return selection;
  }
  // Each round reads the digit after the next "Realm" and then drops one
  // "Realm<k>+" group (7 bytes) from the front of the rest.
  std::string_view rest = text;
  for (;;) {
    const size_t at = rest.find("Realm");
    if (at == std::string_view::npos) break;
    const char digit = at + 5 < rest.size() ? rest[at + 5] : '\0';
    if (digit == '0') {
      selection.unprotected = true;
    } else if (digit >= '1' && digit <= '8') {
      selection.mask |= 1u << (digit - '1');
    }
    rest.remove_prefix(rest.size() < 7 ? rest.size() : 7);
  }
  return selection;
}

CSecurityTable::CSecurityTable(Prompter& prompter, CGeneratedFiles& files, std::string path)
    : m_prompter(prompter), m_files(files), m_strPath(std::move(path)) {
  CDocHandle doc = m_files.Open(m_prompter, m_strPath);
  const int begin = FindMarker(*doc, markers::kBeginSecurityTable, 0);
  if (begin < 0) {
    ReportMissingMarker(m_prompter, markers::kBeginSecurityTable, m_strPath);
    return;
  }
  const int count = doc->GetLineCount();
  for (int n = begin; n < count;) {
    const int found = FindMarker(*doc, kSetRealm, n);
    if (found < 0) break;
    const std::string_view rest = SkipLeadingBlanks(doc->LineText(found));
    if (rest.starts_with(markers::kEndSecurityTableLine)) break;
    if (!IsCommentStart(rest)) m_calls.emplace_back(rest);
    n = found + 1;
  }
}

std::string CSecurityTable::GetRealmField(int call, int field) const {
  if (call < 0 || call >= GetRealmCount() || field < 0 || field > 3) return std::string();
  const std::string& line = m_calls[static_cast<size_t>(call)];
  const size_t paren = line.find('(');
  const std::string_view args =
      paren == std::string::npos ? std::string_view() : std::string_view(line).substr(paren + 1);
  std::string text = FieldValue(NthToken(args, ",)", field));
  if (field != 0) return CStringValue(text);
  // "REALM3" -> "2": the realm constant's last digit less one.
  int index = -1;
  const char last = text.empty() ? '\0' : text.back();
  if (last >= '0' && last <= '9') index = text.size() > 1 ? last - '0' - 1 : last - '0';
  if (index < 0 || index >= kRealmCount) index = -1;
  return std::to_string(index);
}

int CSecurityTable::ClearRealms() {
  return ClearSection(m_prompter, m_files, m_strPath, markers::kBeginRealmCalls,
                      markers::kEndRealmCalls, 0);
}

int CSecurityTable::AddRealm(int realm, const std::string& name, const std::string& user,
                             const std::string& password) {
  if (realm < 0 || realm >= kRealmCount) return 0;
  const struct {
    const std::string& value;
    const char* fieldName;
  } values[] = {{name, "realm name"}, {user, "user name"}, {password, "password"}};
  for (const auto& v : values) {
    if (!IsWritableRealmValue(v.value)) {
      m_prompter.ShowOk(FormatText(kBadValueText, {v.fieldName}));
      return 0;
    }
  }
  if (!FitsRealmLine(realm, name, user, password)) {
    m_prompter.ShowOk(FormatText(kLineTooLongText, {"Realm" + std::to_string(realm + 1)}));
    return 0;
  }

  CDocHandle doc = m_files.Open(m_prompter, m_strPath);
  TextPos end;
  if (!FindMarkerPos(*doc, markers::kEndRealmCalls, end)) {
    ReportMissingMarker(m_prompter, markers::kEndRealmCalls, m_strPath);
    return 0;
  }
  // Written as C strings: a "??/" in a password must not become a backslash.
  const std::string call = RealmCallLine(realm, name, user, password) + "\n";
  doc->InsertText(end.column, end.line, call.c_str());
  return doc.Save();
}
