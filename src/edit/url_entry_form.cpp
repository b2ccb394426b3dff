#include "edit/url_entry_form.h"

#include <limits>

#include "document/generated_files.h"
#include "document/source_text.h"
#include "generator/c_names.h"
#include "generator/field_text.h"
#include "generator/security_table.h"
#include "generator/url_table.h"
#include "platform/ascii.h"
#include "platform/text_format.h"

namespace {

bool IsWritableUrl(const std::string& url) {
  if (url.empty()) return false;
  for (char c : url) {
    if (c == '"' || c == '\\' || c == ',' || IsAsciiControl(c)) return false;
  }
  return true;
}

}  // namespace

CUrlEntryForm::CUrlEntryForm(std::string urlFilePath)
    : m_bNew(true), m_strPath(std::move(urlFilePath)) {}

CUrlEntryForm::CUrlEntryForm(const CUrlEntryValues& row, std::string urlFilePath)
    : m_bNew(false), m_strPath(std::move(urlFilePath)), m_initial(row) {
  if (row.m_strRealm == "Unprotected") return;
  // Other texts check the boxes of the realms they name and leave the
  // unprotected box off (a "Realm0" in them turns it on).
  const RealmSelection selection = ReadRealmExpression(row.m_strRealm);
  m_bInitialUnprotected = selection.unprotected;
  m_nInitialMask = selection.mask;
}

UrlEntryCheck CUrlEntryForm::Accept(Prompter& prompter, const CUrlEntryValues& typed,
                                    bool unprotected, unsigned realmMask) {
  CUrlEntryValues values = typed;
  values.m_strRealm = unprotected ? "Unprotected" : MakeRealmExpression(realmMask);
  const std::int64_t size = LeadingNumber(values.m_strSize);
  auto refuse = [&](UrlEntryCheck check, const std::string& text) {
    prompter.ShowOk(text);
    return check;
  };

  if (values.m_strFunction.empty()) return refuse(UrlEntryCheck::kNoFunction, kNoFunctionText);
  if (size == 0 && values.m_strHsType != "HSTypeHtml") {
    return refuse(UrlEntryCheck::kBadSize, kBadSizeText);
  }
  CDirectFiles files;
  if (m_bNew && CUrlTable(prompter, files, m_strPath).FindUrl(values.m_strUrl)) {
    return refuse(UrlEntryCheck::kUrlExists, kUrlExistsText);
  }
  if (!unprotected && (realmMask & 0xffu) == 0) {
    return refuse(UrlEntryCheck::kNoRealm, kNoRealmText);
  }
  // The table's size field is a C int.
  if (size < 0 || size > std::numeric_limits<int>::max()) {
    return refuse(UrlEntryCheck::kSizeRange, kSizeRangeText);
  }
  if (!IsWritableUrl(values.m_strUrl)) return refuse(UrlEntryCheck::kBadUrl, kBadUrlText);
  if (!IsCIdentifier(values.m_strFunction)) {
    return refuse(UrlEntryCheck::kBadFunction, FormatText(kBadNameText, {"function"}));
  }
  if (IsCKeyword(values.m_strFunction)) {
    return refuse(UrlEntryCheck::kReservedFunction,
                  FormatText(kKeywordText, {"function", values.m_strFunction}));
  }
  if (IsUrlFileName(values.m_strFunction)) {
    return refuse(UrlEntryCheck::kReservedFunction,
                  FormatText(kUrlFileNameText, {values.m_strFunction}));
  }
  if (!IsCIdentifier(values.m_strHsType)) {
    return refuse(UrlEntryCheck::kBadHsType, FormatText(kBadNameText, {"HSType"}));
  }
  if (IsCKeyword(values.m_strHsType)) {
    return refuse(UrlEntryCheck::kBadHsType,
                  FormatText(kKeywordText, {"HSType", values.m_strHsType}));
  }
  // The entry line must load back as one line, or the reader would cut it.
  const std::string text = MakeUrlEntryText(values);
  const size_t lineStart = text.find('\n') + 1;
  const std::string_view line(text.data() + lineStart, text.find('\n', lineStart) - lineStart);
  if (!CSourceText::LoadsAsOneLine(line)) {
    return refuse(UrlEntryCheck::kLineTooLong, kLineTooLongText);
  }
  m_result = std::move(values);
  return UrlEntryCheck::kAccepted;
}

UrlEntryField CUrlEntryForm::FocusAfter(UrlEntryCheck check) {
  switch (check) {
    case UrlEntryCheck::kNoFunction:
    case UrlEntryCheck::kBadFunction:
    case UrlEntryCheck::kReservedFunction:
      return UrlEntryField::kFunction;
    case UrlEntryCheck::kSizeRange:
      return UrlEntryField::kSize;
    case UrlEntryCheck::kBadUrl:
      return UrlEntryField::kUrl;
    case UrlEntryCheck::kBadHsType:
      return UrlEntryField::kHsType;
    default:
      return UrlEntryField::kUnchanged;
  }
}

int UrlEntryHtmlFlag(const CUrlEntryValues& values) {
  return values.m_strHsType == "HSTypeHtml" ? 1 : 0;
}

std::string MakeUrlEntryText(const CUrlEntryValues& values) {
  std::string url = values.m_strUrl;
  EncodeSpaces(url);
  const int html = UrlEntryHtmlFlag(values);
  return FormatText("{\n   \"%s\", %s, %s, (%s)%s, %s, %s\n},\n",
                    {CStringText(url), std::to_string(html), values.m_strFunction,
                     html ? "HSTypeFnHtml" : "HSTypeFnBinary", values.m_strHsType,
                     std::to_string(LeadingNumber(values.m_strSize)), values.m_strRealm});
}
