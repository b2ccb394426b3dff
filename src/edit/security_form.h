#pragma once

#include <array>
#include <string>

#include "document/generated_files.h"
#include "generator/security_table.h"
#include "platform/file_util.h"
#include "platform/prompter.h"

// One row of the security table form: realm name, user name and password of
// one of the eight realms.
struct CRealmRow {
  std::string m_strName;
  std::string m_strUser;
  std::string m_strPassword;
};
using CRealmRows = std::array<CRealmRow, kRealmCount>;

// The outcome of OK: written; refused (a value the file cannot carry, shown
// naming its row and field; nothing written, the form stays open); changed
// (the file changed on disk since the rows were read: shown, nothing written,
// the rows are to be read again); or failed (the file could not be written,
// its markers are damaged or its realm section is gone; shown, the file
// unchanged).
enum class RealmWrite { kWritten, kRefused, kChanged, kFailed };

// The rules of the security table dialog, which edits the eight realms of a
// URL file: rows "Realm1:" to "Realm8:", columns "Realm Name", "User name",
// "Password". The file changes only at Write.
class CSecurityTableForm {
 public:
  CSecurityTableForm(Prompter& prompter, std::string urlFilePath);

  // The rows as the file sets them up: row k from the last call for REALMk;
  // rows without a call stay empty. The form remembers the version of the
  // file it read, so that Write never drops a change made since.
  CRealmRows ReadRows();
  // "Clear All": every field empty.
  static void ClearAll(CRealmRows& rows) { rows = CRealmRows(); }

  // OK: first checks every value; a value holding a double quote, a
  // backslash, a comma, a closing parenthesis or a control character is shown
  // with kBadValueText and refused, and badRow (0..7) and badField (0 name,
  // 1 user, 2 password) name it; so is a row whose values together would
  // make a line too long to be read back (CSecurityTable::kLineTooLongText,
  // badField its longest value). When the file changed since ReadRows,
  // kChangedText is shown and nothing written. Then the realm calls are
  // replaced by one per row whose name and user name are both given, in row
  // order, with one write of the file.
  RealmWrite Write(const CRealmRows& rows, int* badRow = nullptr, int* badField = nullptr);

  static constexpr const char* kTitle = "Security Table";
  // Field ("realm name", "user name" or "password") and row label ("Realm3").
  static constexpr const char* kBadValueText =
      "The %s of %s must not contain a double quote, a backslash, a comma, a closing "
      "parenthesis or a control character.";
  // Shown under the rows: the passwords are not protected in any way.
  static constexpr const char* kPlainTextNote =
      "Realm passwords are stored as plain text in the URL file and in the firmware image: "
      "anyone who can read either can read them.";
  static constexpr const char* kChangedText =
      "%s was changed by another program since the realms were shown. Nothing was written; the "
      "realms now show what the file holds: make your changes again.";

 private:
  Prompter& m_prompter;
  // An editor's change is written at once; reading a file changes nothing.
  mutable CDirectFiles m_files;
  std::string m_strPath;
  bool m_bRead = false;
  FileStamp m_stamp;  // the file as ReadRows read it
};
