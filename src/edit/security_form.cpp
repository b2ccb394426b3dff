#include "edit/security_form.h"

#include <cstdlib>

#include "document/generated_files.h"
#include "document/markers.h"
#include "generator/code_generator.h"
#include "generator/convert_util.h"
#include "generator/file_structure.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

CSecurityTableForm::CSecurityTableForm(Prompter& prompter, std::string urlFilePath)
    : m_prompter(prompter), m_strPath(std::move(urlFilePath)) {}

CRealmRows CSecurityTableForm::ReadRows() {
  CRealmRows rows;
  m_stamp = StampOf(m_strPath);
  m_bRead = true;
  const CSecurityTable table(m_prompter, m_files, m_strPath);
  for (int call = 0; call < table.GetRealmCount(); ++call) {
    const int k = std::atoi(table.GetRealmField(call, 0).c_str());
    if (k < 0 || k >= kRealmCount) continue;
    rows[static_cast<size_t>(k)] = {table.GetRealmField(call, 1), table.GetRealmField(call, 2),
                                    table.GetRealmField(call, 3)};
  }
  return rows;
}

RealmWrite CSecurityTableForm::Write(const CRealmRows& rows, int* badRow, int* badField) {
  static constexpr const char* kFieldNames[] = {"realm name", "user name", "password"};
  for (int r = 0; r < kRealmCount; ++r) {
    const CRealmRow& row = rows[static_cast<size_t>(r)];
    const std::string* values[] = {&row.m_strName, &row.m_strUser, &row.m_strPassword};
    for (int f = 0; f < 3; ++f) {
      if (IsWritableRealmValue(*values[f])) continue;
      m_prompter.ShowOk(
          FormatText(kBadValueText, {kFieldNames[f], "Realm" + std::to_string(r + 1)}));
      if (badRow) *badRow = r;
      if (badField) *badField = f;
      return RealmWrite::kRefused;
    }
    if (!FitsRealmLine(r, row.m_strName, row.m_strUser, row.m_strPassword)) {
      m_prompter.ShowOk(
          FormatText(CSecurityTable::kLineTooLongText, {"Realm" + std::to_string(r + 1)}));
      if (badRow) *badRow = r;
      int longest = 0;
      for (int f = 1; f < 3; ++f) {
        if (values[f]->size() > values[longest]->size()) longest = f;
      }
      if (badField) *badField = longest;
      return RealmWrite::kRefused;
    }
  }
  if (m_bRead && StampOf(m_strPath) != m_stamp) {
    m_prompter.ShowOk(FormatText(kChangedText, {m_strPath}));
    return RealmWrite::kChanged;
  }
  if (!WritableOrReport(m_prompter, m_strPath) ||
      !SoundOrReport(m_prompter, m_files, m_strPath, CFileStructure::Kind::kUrlFile)) {
    return RealmWrite::kFailed;
  }
  // Clearing and adding edit one document in memory; the file is written once
  // at the end, so it never holds the realms half rewritten.
  bool written = false;
  std::string reason;
  CDocBatch batch;
  try {
    CSecurityTable table(m_prompter, batch, m_strPath);
    bool complete = table.ClearRealms() >= 0;
    if (!complete) ReportMissingMarker(m_prompter, markers::kBeginRealmCalls, m_strPath);
    for (int r = 0; complete && r < kRealmCount; ++r) {
      const CRealmRow& row = rows[static_cast<size_t>(r)];
      if (row.m_strName.empty() || row.m_strUser.empty()) continue;
      complete = table.AddRealm(r, row.m_strName, row.m_strUser, row.m_strPassword) == 1;
    }
    if (!complete) {
      batch.Discard();
      return RealmWrite::kFailed;
    }
    written = batch.Flush();
    if (!written) reason = batch.FailureReason(m_strPath);
  } catch (const CSrcFileException& e) {
    batch.Discard();
    reason = e.Reason();
  }
  if (!written) {
    m_prompter.ShowOkWithReason(FormatText(CCodeGenerator::kCannotWriteText, {m_strPath}), reason);
    return RealmWrite::kFailed;
  }
  m_stamp = StampOf(m_strPath);
  return RealmWrite::kWritten;
}
