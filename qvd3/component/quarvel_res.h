// The component's string table: every caption, hint, prompt and message the
// component, its dialogs and its administration window show, entries 40000 to
// 40139. The library registers them with LoadStr when it is loaded, so
// LoadStr(40002) gives "Senha inválida" anywhere in a process that loaded it.
//
// Captions and hints are looked up by their number where a window sets them;
// the entries that code picks by meaning have names here.
#pragma once

#include <span>

#include "qvd3/platform/sys/string_table.h"

namespace qv {

inline constexpr int kStrOpenTablesFailed = 40001;      // "... abrir tabelas em %s"
inline constexpr int kStrInvalidPassword = 40002;
inline constexpr int kStrInvalidUserName = 40003;
inline constexpr int kStrPasswordChanged = 40004;
inline constexpr int kStrPasswordChangeFailed = 40005;
inline constexpr int kStrPasswordsDiffer = 40006;
inline constexpr int kStrUserAlreadyExists = 40008;
inline constexpr int kStrConfirmDeleteUser = 40010;     // with the user name
inline constexpr int kStrUserDeleted = 40011;
inline constexpr int kStrConfirmDeleteProfile = 40012;  // with the description
inline constexpr int kStrProfileDeleted = 40013;
inline constexpr int kStrItemHidden = 40062;            // "Invisível"
inline constexpr int kStrItemDisabled = 40063;          // "Desabilitado"
inline constexpr int kStrAccessControl = 40077;         // root of the access tree
inline constexpr int kStrAccessForUser = 40093;         // with the user name
inline constexpr int kStrAccessForProfile = 40094;      // with the description
inline constexpr int kStrNewPasswordPrompt = 40095;
inline constexpr int kStrChangePasswordCaption = 40101;
inline constexpr int kStrNoProfile = 40107;
inline constexpr int kStrUserNotAuthorized = 40108;     // with the user name
inline constexpr int kStrPasswordExpired = 40109;
inline constexpr int kStrMustChangePassword = 40110;
inline constexpr int kStrPasswordUsedBefore = 40111;
inline constexpr int kStrYes = 40121;
inline constexpr int kStrNo = 40122;
inline constexpr int kStrIntervalDisplayFormat = 40123; // "a cada 00 dias"
inline constexpr int kStrConfirmDeleteAudit = 40138;    // with the user or program

// Every entry of the table, in number order.
std::span<const ResourceString> QuarvelStrings();

// Registers the table with LoadStr. Runs by itself when the library loads;
// calling it again is harmless.
void RegisterQuarvelStrings();

}  // namespace qv
