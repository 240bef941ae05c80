// The SQL text of every dataset and command of the data module, lines joined
// by "\n". The data module takes its SQL from here and nowhere else; other
// programs sharing the database rely on these texts, so they stay as they are
// apart from the letter case of names.
//
// Parameters are written ":NAME"; a name used twice is one value.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::sql {

// Selects (live datasets unless noted).
extern const std::string_view qryUsers;
extern const std::string_view qryProfiles;
extern const std::string_view qryProgs;        // :APP_KEY
extern const std::string_view qryHistory;
extern const std::string_view qryUAccess;      // :APP_KEY
extern const std::string_view qryPAccess;      // :APP_KEY
extern const std::string_view qryAudit;        // :APP_KEY
extern const std::string_view qryUserInfo;     // :APP_KEY
extern const std::string_view qryUserName;     // read-only; never "master"
extern const std::string_view qryMenuCaption;  // read-only; :APP_KEY

// Commands, run without a result set.
extern const std::string_view ProfNull;             // :PROF_ID
extern const std::string_view DelUserFromUAccess;   // :USER_ID
extern const std::string_view DelProgsFromUAccess;  // :MENU_ID
extern const std::string_view DelProfsFromPAccess;  // :PROF_ID
extern const std::string_view DelProgsFromPAccess;  // :MENU_ID
extern const std::string_view DelUHistory;          // :USER_ID
extern const std::string_view UpdateUFromProfile;   // :USER_ID (twice)
// UpdateUFromProfile for every user of a profile but "master" at once.
extern const std::string_view UpdateUsersFromProfile;  // :PROF_ID (twice)
extern const std::string_view qryAdduserInfo;       // :APP_KEY :USER_ID :EXPIRATION_DATE
extern const std::string_view qryDelUserInfo;       // :USER_ID

// The texts of the scratch statement GenerateId: the largest key present in
// each table, over all applications (null on an empty table).
extern const std::string_view GenerateUserId;
extern const std::string_view GenerateProfId;
extern const std::string_view GenerateMenuId;

// Apply's batched write: AUTHORIZED of the rights rows (UACCESS or
// PACCESS, subject column USER_ID or PROF_ID) of one subject for `items`
// catalogue items, :M0 to :M<items-1>.
std::string SetRightsOfItems(bool users, std::size_t items);  // :AUTHORIZED :APP_KEY :ID :M0...

// The catalogue's bulk write: `rows` new PROGS rows of one application,
// row i holding :N<i> (MENU_NAME), :I<i> (MENU_ID) and :C<i> (MENU_CAPTION).
std::string InsertCatalogueRows(std::size_t rows);  // :APP_KEY :N0 :I0 :C0...

// Reads of the login and the password change, which decide on what the
// database holds at that moment rather than on rows read at start-up.
// One user by exact name, with its state row in the application (columns
// INFO_*, null without one) and its profile (columns PROF_*, null without
// one).
extern const std::string_view ReadAccount;      // :USERQV_NAME :APP_KEY
// The user's rights rows in the application, by catalogue name.
extern const std::string_view ReadUserRights;   // :APP_KEY :USER_ID
// The user's history rows holding one given password.
extern const std::string_view ReadFormerPassword;  // :USER_ID :USER_PWD

}  // namespace qv::sql
