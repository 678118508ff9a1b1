// pxab's MAPI session: MAPI initialised for the command, a logon to the profile, the address
// book, and the containers and tables a mail client walks through.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "client_args.h"
#include "mapiptr.h"
#include "mapispi.h"
#include "mapitable.h"
#include "mapiutil.h"
#include "mapix.h"
#include "messages.h"

// MAPIInitialize for the life of the object.
class MapiInitialized {
 public:
  MapiInitialized();
  ~MapiInitialized();
  MapiInitialized(const MapiInitialized&) = delete;
  MapiInitialized& operator=(const MapiInitialized&) = delete;
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

// Why the last MAPI call failed, for a message: MAPI's own text when it has one, and the code.
std::string MapiFailureText(HRESULT hr);

// Rows of a table, freed with it.
class Rows {
 public:
  Rows() = default;
  ~Rows() { FreeProws(rows_); }
  Rows(const Rows&) = delete;
  Rows& operator=(const Rows&) = delete;
  LPSRowSet* put() {
    FreeProws(rows_);
    rows_ = nullptr;
    return &rows_;
  }
  ULONG size() const { return rows_ ? rows_->cRows : 0; }
  const SRow& operator[](ULONG i) const { return rows_->aRow[i]; }

 private:
  LPSRowSet rows_ = nullptr;
};

// A logged-on session with its address book, as one client command uses it.
class ClientSession {
 public:
  // `what` names the command in messages ("list").
  ClientSession(std::string what, const ClientArgs& args);
  ~ClientSession();
  ClientSession(const ClientSession&) = delete;
  ClientSession& operator=(const ClientSession&) = delete;

  // Logs on and opens the address book; 0, or the exit status after a message on stderr.
  int Open();
  // The directory container: the first container the root's hierarchy table lists.
  int OpenDirectory(ComPtr<IABContainer>& directory);
  // The directory container's contents table, restricted to PR_ANR `text` when given.
  int Contents(std::optional<std::string> text, ComPtr<IMAPITable>& table);
  // Reads every row of a table in batches.
  int ReadAll(IMAPITable* table, Rows& rows);
  // The display names of the users a PR_ANR search for `name` finds, as a client's choice list
  // shows them.
  int Candidates(const std::string& name, std::vector<std::string>& names);
  // Resolves one name to an entry identifier: 0, 1 (with a line on stdout saying why: ambiguous
  // with its candidates, or unresolved), or a failure status.
  int ResolveOne(const std::string& name, std::vector<BYTE>& entryID);
  // Opens a mail user by identifier.
  int OpenUser(const std::vector<BYTE>& entryID, ComPtr<IMailUser>& user);
  // Prints a message "pxab WHAT: TEXT" and returns kExitBroken.
  int Broken(const std::string& text);

  IMAPISession* Session() { return session_.get(); }
  IAddrBook* Book() { return book_.get(); }

 private:
  std::string what_;
  const ClientArgs& args_;
  MapiInitialized mapi_;
  ComPtr<IMAPISession> session_;
  ComPtr<IAddrBook> book_;
  ComPtr<IABContainer> directory_;
};

// The JSON line of a name that did not resolve to exactly one user.
std::string UnresolvedLine(const std::string& name, const std::vector<std::string>& candidates);

// Parses lower-case or upper-case hex into bytes; false for anything else.
bool ParseHex(const std::string& text, std::vector<BYTE>& bytes);
