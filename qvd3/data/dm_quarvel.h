// TUsers: the data module of the security database. It owns every dataset
// and command statement of the eight security tables and every rule that
// must hold whenever a row of users, profiles or the menu catalogue is
// inserted, changed or deleted: key generation, defaults, cascading deletes
// with their confirmations, re-deriving a user's rights when the profile
// changes, the user's per-application state row, and the calculated display
// columns. The component, the dialogs and the administration window reach the
// datasets through the one instance `Users` and never repeat these rules.
//
// What callers rely on:
//   - Inserting into qryUsers, qryProfiles or qryProgs and posting yields a
//     row with a fresh key (one more than the largest present, over all
//     applications); afterwards the dataset has been reopened and its cursor
//     stands on that row. After the post of an edited row the cursor stands
//     on the edited row. When another client stores a row under the same
//     key between the generation and the post, the post takes the next free
//     key (a few attempts at most); a duplicate user name still fails with
//     the key-violation code.
//   - Deleting from qryProgs asks nothing and removes the item's rights rows
//     together with the row, in one transaction.
//   - Deleting from qryUsers or qryProfiles asks the administrator first; No
//     ends the delete through the silent cancel (EAbort) with nothing
//     changed; Yes removes the dependent rows and the row itself in one
//     transaction: all of it is stored or none of it.
//   - Posting a users row creates the user's USERINFO row in the current
//     application when there is none, and leaves qryUserInfo filtered to
//     that user. Posting a users row whose profile changed re-derives the
//     user's rights from the new profile. The row, its rights and its state
//     row are stored in one transaction (joined when the caller holds one):
//     when any of it fails nothing is stored and the post fails as a refused
//     one does, the dataset still editing with the typed values.
//   - PostNewUser and PostNewProfile store a new user or profile together
//     with its rights rows: all of it or, on any error, none of it.
//
// The datasets start closed; the component sets their alias and application
// key and opens them (see OpenTables for the rows read only when needed).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qvd3/platform/db/datasource.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/ui/component.h"

namespace qv {

class EDatabaseError;
class SharedTransaction;

// The query type of every dataset and statement of the data module: a
// TQuery whose engine writes the module can watch. It tells the module when
// the engine refuses the delete of a row and when it deleted one, and lets
// the module retry a refused insert under another key (used on the three
// tables whose keys the module generates) and store the writes that belong
// with a row in the row's own transaction. Without handlers it behaves
// exactly as a TQuery, and to every caller it is one.
class TModuleQuery : public TQuery {
 public:
  // The column holding the generated key.
  void SetKeyField(std::string name) { key_field_ = std::move(name); }
  const std::string& KeyField() const { return key_field_; }

  // Called when the engine refused to delete the row (any error), before
  // the error reaches the caller of Delete.
  std::function<void()> OnDeleteRefused;
  // Called when the engine has deleted the row, before Delete goes on.
  std::function<void()> OnDeleteStored;
  // Called when the engine refused to insert the row: returns the key to
  // insert it under instead, or 0 to let the error reach the caller.
  std::function<int(const EDatabaseError& error)> OnInsertRefused;
  // Called when the engine has stored an inserted or edited row, inside a
  // transaction that holds the row's own write: the writes that belong with
  // the row go here. An error here undoes the row's write as well, and the
  // post fails as a refused one does.
  std::function<void()> OnRowStored;

 protected:
  void DoInsert(dbimpl::RowChange& change) override;
  void DoUpdate(dbimpl::RowChange& change) override;
  void DoDelete(dbimpl::RowChange& change) override;
  // Rows with a generated key or dependent writes go one by one (each may
  // be retried, each has its own dependents); others in one batch.
  void DoInsertRows(std::vector<dbimpl::RowChange>& changes) override;

 private:
  // The insert itself, retried under the keys OnInsertRefused names.
  void InsertWithRetries(dbimpl::RowChange& change);

  std::string key_field_;
};

class TUsers : public TComponent {
 public:
  // Builds every member with its SQL, parameters and field definitions and
  // binds the event handlers, then runs UsersCreate. The owner may be null.
  explicit TUsers(TComponent* owner);
  ~TUsers() override;

  // Data sources the user interface binds to; the command statements take
  // their row values from them.
  TDataSource dsUsers, dsProfiles, dsProgs, dsHistory, dsUAccess, dsPAccess;

  // Scratch statement of the key generation.
  TModuleQuery GenerateId;
  // Command statements.
  TModuleQuery ProfNull, DelUserFromUAccess, DelProgsFromUAccess, DelProfsFromPAccess,
      DelProgsFromPAccess, DelUHistory, UpdateUFromProfile;
  // Live datasets.
  TModuleQuery qryUsers, qryProfiles, qryProgs, qryHistory, qryUAccess, qryPAccess, qryAudit;

  // Field objects the rules and the windows use; other columns are reached
  // by name. They stay valid across Close and Open.
  TField& qryUsersPROFILE_ID;
  TField& qryUsersPROFILE;         // lookup: the profile's description
  TField& qryUsersCalcUserActive;  // calculated: "Sim", "Não" or empty
  TField& qryProfilesINTERVAL_CHANGE_PWD;
  TField& qryProfilesMUST_CHANGE_PWD;
  TField& qryProfilesHIDE_DISABLE_MENU;
  TField& qryProfilesItemNotAutorized;   // calculated: "Invisível", "Desabilitado" or empty
  TField& qryProfilesCalcMustChangePwd;  // calculated: "Sim", "Não" or empty
  TField& qryAuditUSERQV_NAME;           // lookup in qryUsers
  TField& qryAuditMENU_CAPTION;          // lookup in qryProgs
  TField& qryAuditUSER_ID;
  TField& qryAuditPROG_ID;
  // START_SESSION and END_SESSION read as date and time under the date
  // pattern in force when the row is first read, in StampSeconds; null for
  // a text that is not one. Derived once per row (cached fields).
  TField& qryAuditStartSeconds;
  TField& qryAuditEndSeconds;

  TDataSource dsAudit;
  // The user list without "master".
  TModuleQuery qryUserName;
  TDataSource dsUserName;
  // The catalogue captions of the application.
  TModuleQuery qryMenuCaption;
  TDataSource dsMenuCaption;
  // The per-application user state.
  TModuleQuery qryUserInfo;
  TDataSource dsUserInfo;
  TField& qryUserInfoUSER_ACTIVE;
  TModuleQuery qryAdduserInfo, qryDelUserInfo;

  // Creating a user: posts the row inserted into qryUsers (its key and its
  // USERINFO row follow, as for any post) and gives the new user one UACCESS
  // row for every catalogue row of qryProgs under the application key
  // `appKey`, holding the right of the user's profile (as qryPAccess holds
  // it; null where the profile has none), or "0" without a profile; the new
  // rows are in qryUAccess. All of it is stored
  // in one transaction (joined when the caller holds one). On an error
  // nothing of it stays: the transaction is rolled back, a pending insert is
  // cancelled, the datasets the steps had reopened are read again (the
  // users list then stands on its first row), and the error propagates
  // unchanged; a name already present reports the key-violation code first.
  void PostNewUser(const std::string& appKey);
  // Creating a profile: the same for the row inserted into qryProfiles,
  // with one PACCESS row holding "0" per catalogue row, in qryPAccess.
  void PostNewProfile(const std::string& appKey);

  // Catalogues the menu items `items` of the application `appKey` (their
  // MENU_NAME and MENU_CAPTION, cut to the columns' widths as a post would
  // cut them) in a few statements rather than one post per item. They get
  // consecutive fresh keys in their order, which are returned; when another
  // client stores a catalogue row under one of them meanwhile, the keys are
  // generated again and the rows stored under the new ones. All of it is in
  // one transaction (joined when the caller holds one): on an error nothing
  // of it is stored and the error propagates. On success qryProgs is read
  // again and stands on the first new row. No rights rows are written.
  struct TCatalogueItem {
    std::string Name;
    std::string Caption;
  };
  std::vector<int> CatalogueItems(const std::string& appKey, const std::vector<TCatalogueItem>& items);

  // Points the eight datasets the component borrows (qryUsers, qryProgs,
  // qryProfiles, qryUAccess, qryPAccess, qryHistory, qryAudit, qryUserInfo)
  // at `alias` and the application `appKey` and opens them. Datasets open
  // already stay as they are. Errors of the database propagate.
  //
  // The tables that grow with the installation (qryUAccess, qryPAccess,
  // qryHistory, qryAudit) open with their rows deferred (TDataSet::
  // SetDeferRows): the statement is checked and the fields bound now, and
  // the rows are read the first time anything needs them (a cursor move, a
  // field read, Locate, Lookup, a filter, an edit, AppendRows), so a caller
  // sees them as if read at Open, plus whatever other clients stored in
  // between. Start-up then costs the same whatever the size of these tables.
  void OpenTables(const std::string& alias, const std::string& appKey);

  // The password reset of the users page: stores `password` scrambled in
  // the current users row, with today's date as its date of change. A store
  // that fails leaves the row's password and date as they were, also while
  // the row is still being edited, and propagates the error.
  void StorePassword(const std::string& password);

  // The rights dataset of users (qryUAccess) or of profiles (qryPAccess),
  // with the column naming the subject.
  enum class TRightsOf { User, Profile };
  TModuleQuery& RightsOf(TRightsOf subject);
  static const char* SubjectField(TRightsOf subject);
  // Stores `authorized` ("1" grants, "0" denies) in the rights row of the
  // subject `id` for the catalogue item `menuId`: edits the row when there
  // is one (posting only a change); appends one under `appKey` when there
  // is none and `insertMissing` is set. Returns false when there is no row
  // and none was made. The row must pass the rights dataset's filter.
  bool StoreRight(TRightsOf subject, int id, int menuId, const std::string& appKey,
                  const std::string& authorized, bool insertMissing);
  // Apply: the existing rights rows of subject `id` in `appKey` for the
  // items `granted` become "1", those for `denied` "0", by item number in a
  // few statements (one per batch of items and value) instead of one per
  // row, all in one transaction (joined when the caller holds one). Items
  // without a rights row are passed over. The rights dataset is not read
  // again: the caller does that.
  void StoreRights(TRightsOf subject, int id, const std::string& appKey, const std::vector<int>& granted,
                   const std::vector<int>& denied);

  // "Atualizar Usuários": every user whose profile is `profId` ("master"
  // excepted) gets the profile's stored rights, in one statement, all in one
  // transaction (joined when the caller holds one). Returns the number of
  // users updated, counted on qryUsers, whose filter is put back.
  int UpdateMembersFromProfile(int profId);

  // Event handlers, bound by the constructor. Public so that a window that
  // detaches one (the administration window takes qryUsersAfterOpen off
  // qryUsers while it is open) can bind it again by name.
  void UsersCreate(TObject& sender);
  void qryUsersAfterOpen(TDataSet& dataSet);
  void qryUsersBeforeEdit(TDataSet& dataSet);
  void qryUsersBeforePost(TDataSet& dataSet);
  void qryUsersAfterPost(TDataSet& dataSet);
  void qryUsersBeforeDelete(TDataSet& dataSet);
  void qryUsersAfterDelete(TDataSet& dataSet);
  void qryUsersCalcFields(TDataSet& dataSet);
  void qryProfilesAfterInsert(TDataSet& dataSet);
  void qryProfilesBeforePost(TDataSet& dataSet);
  void qryProfilesAfterPost(TDataSet& dataSet);
  void qryProfilesBeforeDelete(TDataSet& dataSet);
  void qryProfilesAfterDelete(TDataSet& dataSet);
  void qryProfilesCalcFields(TDataSet& dataSet);
  void qryProgsBeforePost(TDataSet& dataSet);
  void qryProgsAfterPost(TDataSet& dataSet);
  void qryProgsBeforeDelete(TDataSet& dataSet);

 private:
  // PROFILE_ID of the current users row when its editing began; 0 at first.
  int SavedProfileId = 0;

  // The writes that belong with a stored users row, inside its transaction:
  // the rights re-derived from a changed profile and the user's state row in
  // this application. The after-post steps read back what they changed.
  void StoreUserDependents();
  bool rightsRederived_ = false;
  bool stateRowAdded_ = false;

  // Key generation: runs `maxSql` on GenerateId and returns the largest key
  // present plus one (1 on an empty table).
  int NextKey(std::string_view maxSql);
  // The before-post step of the three key tables: a row being inserted gets
  // the next key in its key column, recorded in `last` as well. Returns the
  // key of the row being posted, inserted or edited.
  int AssignKey(TModuleQuery& rows, std::string_view maxSql, int& last);

  // When a post of a new row fails on its generated key (another client
  // took it meanwhile), the key is generated again and the post retried, a
  // few times at most (see dm_quarvel_guards.cpp).
  void BindKeyRetries();
  int RetryKey(const EDatabaseError& error, std::string_view maxSql, int& last, int& posted);
  int keyRetries_ = 0;

  // The transaction that holds a delete's cascade together with the row's
  // own delete: started after the question, committed as soon as the engine
  // has deleted the row, rolled back when it refuses (see
  // dm_quarvel_guards.cpp).
  void BindCascadeEvents();
  // Runs a delete's cascade, after its question, inside that transaction;
  // an error of `steps` rolls it back and propagates.
  void RunCascade(TQuery& rows, const std::function<void()>& steps);
  void CommitCascade();
  void RollbackCascade();
  std::unique_ptr<SharedTransaction> cascade_;  // set while a cascade is open

  // The creation steps of PostNewUser / PostNewProfile (see
  // dm_quarvel_create.cpp): posts `rows`, then runs `rights`, all in one
  // transaction; on an error undoes it and cancels the insert, or reopens
  // `reread` when the row had been stored.
  void PostWithRights(TModuleQuery& rows, const std::function<void()>& rights,
                      std::initializer_list<TQuery*> reread);
  // Appends to `rights` a row under `appKey` for `ownerColumn` = `owner` and
  // every catalogue row of qryProgs, holding `authorized(MENU_ID)`.
  void AddRights(TQuery& rights, const char* ownerColumn, int owner, const std::string& appKey,
                 const std::function<Value(int menuId)>& authorized);

  // The key of the row being posted in each of the three key tables; the
  // after-post steps put the cursor back on it.
  int postedUserId_ = 0, postedProfId_ = 0, postedMenuId_ = 0;

  // USER_ACTIVE of every user in qryUserInfo's application, read apart from
  // qryUserInfo so that its filter does not hide other users' rows. Reloaded
  // on first use after qryUserInfo opened, closed, posted or moved, or at
  // once by ReloadUserStates (inside a delete's transaction, so that nothing
  // after its commit needs the database before the delete is reported).
  const std::string& UserActiveOf(int userId);
  void ReloadUserStates();
  TQuery userStates_;
  TDataSource userInfoWatch_;
  std::map<int, std::string> userActive_;
  bool userActiveStale_ = true;
};

// The built-in administrator, and the filter that keeps it out of the users
// lists of the administration window and of qvsetup.
inline constexpr const char* kMasterName = "master";
inline constexpr const char* kNotMasterFilter = "[USERQV_NAME]<>'master'";

// A moment as whole seconds counted from the zero date: the unit in which
// qryAuditStartSeconds and qryAuditEndSeconds hold audit time stamps.
std::int64_t StampSeconds(TDateTime moment);

// The audit trail's period of days, as the audit page and qvsetup's export
// select it: a command is in the period when it started after midnight at
// the start of `from` and ended before midnight at the end of `to` (both
// strict). A zero date for either day selects nothing. The stamps are
// StampSeconds.
bool InAuditPeriod(TDateTime from, TDateTime to, std::int64_t startSeconds, std::int64_t endSeconds);

// The one instance, created and freed by the security component.
extern TUsers* Users;
// The key generated by the latest insert into qryUsers, qryProfiles and
// qryProgs; 0 until the first.
extern int LastUserId;
extern int LastProfId;
extern int LastMenuId;

}  // namespace qv
