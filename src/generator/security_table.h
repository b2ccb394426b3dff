#pragma once

#include <string>
#include <vector>

#include "platform/prompter.h"

class CGeneratedFiles;

// The web server knows eight realms. A URL table entry names the realms that
// may fetch its URL with a realm expression: "Unprotected", or the names
// "Realm1" .. "Realm8" of the chosen realms in ascending order joined by "+"
// (the URL file defines each name as one bit, so the sum is the mask).
inline constexpr int kRealmCount = 8;

// The realm expression of a mask whose bit k-1 stands for realm k: "Unprotected"
// for 0, else for example "Realm1+Realm3". Bits above the eighth are ignored.
std::string MakeRealmExpression(unsigned mask);

// What a realm expression selects, as the URL entry dialog shows it: the
// unprotected box and one box per realm (bit k-1 for realm k).
struct RealmSelection {
  bool unprotected = false;
  unsigned mask = 0;
};

// Reads a realm expression back: "Unprotected" selects only the unprotected
// box; otherwise each "Realm" followed by a digit 1..8 selects that realm, and
// "Realm0" the unprotected box. Digits 9 and other characters select nothing.
RealmSelection ReadRealmExpression(const std::string& text);

// True when value can be a realm name, user name or password: it goes into a C
// string literal as it is and is read back by splitting the call at commas and
// closing parentheses, so it must hold no double quote, backslash, comma,
// closing parenthesis or control character.
bool IsWritableRealmValue(const std::string& value);

// The line of the set-up call of realm index realm (0..7), without its line
// end: "    HSSetRealm (REALM%d, \"name\", \"user\", \"password\");".
std::string RealmCallLine(int realm, const std::string& name, const std::string& user,
                          const std::string& password);
// Whether that line is read back whole: the line document takes a line of
// CSourceText::MaxLineLength bytes or more as several lines, and the reader
// would then see neither the call nor its values.
bool FitsRealmLine(int realm, const std::string& name, const std::string& user,
                   const std::string& password);

// Reader and editor of the realm set-up calls in a URL file: the lines
//     HSSetRealm (REALM%d, "name", "user", "password");
// between the HSSetRealm markers inside `HSInitSecurityTable`. Construction
// reads the calls; ClearRealms and AddRealm change the file, not the list.
// The editing operations may raise CSrcFileException when the file cannot be
// read or written; the file is then left as it was.
class CSecurityTable {
 public:
  // Reads every non-comment line from the security table's begin marker on
  // that holds "HSSetRealm" (any letter case). A missing begin marker is
  // reported with "Can't find %s in %s" and leaves the list empty.
  CSecurityTable(Prompter& prompter, CGeneratedFiles& files, std::string path);

  int GetRealmCount() const { return static_cast<int>(m_calls.size()); }

  // Field 0..3 of call index: 0 = the realm index as decimal text "0".."7" ("-1"
  // when the realm constant does not end in a digit 1..8), 1 = realm name,
  // 2 = user name, 3 = password, each what its string literal means
  // (CStringValue). Empty for an index or field that does not exist.
  std::string GetRealmField(int call, int field) const;

  // Removes every line between the HSSetRealm markers (the commented example
  // too) and saves the file. Returns the line after the begin marker, or -1
  // when that marker is missing (nothing shown, nothing changed).
  int ClearRealms();

  // Adds the call for realm index realm (0..7) just above the end marker of
  // the calls, after those added before it, the values written as C strings
  // (CStringText), and saves the file. 1 = written.
  // 0 = nothing written: the realm index is out of range; a value holds a
  // character the C string or the reader cannot carry (a message names the
  // field); the values make a line too long to be read back (kLineTooLongText);
  // or the end marker is missing (reported with "Can't find %s in %s").
  int AddRealm(int realm, const std::string& name, const std::string& user,
               const std::string& password);

  // The message shown when a value of AddRealm cannot be written; %s names the
  // field: "realm name", "user name" or "password".
  static constexpr const char* kBadValueText =
      "The %s must not contain a double quote, a backslash, a comma, a closing parenthesis or "
      "a control character.";
  // The message for values too long for one line; %s names the realm ("Realm3").
  static constexpr const char* kLineTooLongText =
      "The realm name, user name and password of %s are too long for one line of the URL file: "
      "together they may hold at most 987 characters.";

 private:
  Prompter& m_prompter;
  CGeneratedFiles& m_files;
  std::string m_strPath;
  std::vector<std::string> m_calls;  // call lines without leading white space
};
