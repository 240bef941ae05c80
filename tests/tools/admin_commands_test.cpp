// qvsetup's scripted administration on a seeded security database of each
// engine, run in-process as the program runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "qvd3/component/password.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/text_case.h"
#include "tests/support/security_db.h"
#include "tools/qvsetup/setup_commands.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::DateText;
using setup::kExitFailed;
using setup::kExitOk;
using setup::kExitUsage;
using Names = std::vector<std::string>;
using Table = std::vector<std::vector<std::string>>;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// An RFC 4180 reader: quoted fields with doubled quotes, CRLF records.
Table ReadCsv(const std::string& text) {
  Table rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row.push_back(std::move(field));
      field.clear();
      rows.push_back(std::move(row));
      row.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_FALSE(quoted) << "unterminated quote";
  EXPECT_TRUE(field.empty() && row.empty()) << "the last record has no CRLF";
  (void)any;
  return rows;
}

class AdminCommandsTest : public test::SecurityDbTest {
 protected:
  void SetUp() override {
    SecurityDbTest::SetUp();
    vendas_ = AddProfile("Vendas");
    arquivo_ = AddProg(kApp, "mnuArquivo", "Arquivo");
    abrir_ = AddProg(kApp, "mnuAbrir", "Abrir");
    sair_ = AddProg(kApp, "mnuSair", "Sair");
    SetPAccess(kApp, vendas_, arquivo_, Value("1"));
    SetPAccess(kApp, vendas_, abrir_, Value("1"));
    SetPAccess(kApp, vendas_, sair_, Value("0"));
  }

  Outcome Run(const Names& args, const std::string& input = "") {
    std::ostringstream out, err;
    std::istringstream in(input);
    const int status = setup::RunSetup(args, out, err, in);
    return {status, out.str(), err.str()};
  }
  // Runs a command that must succeed.
  std::string Ok(const Names& args, const std::string& input = "") {
    Outcome outcome = Run(args, input);
    EXPECT_EQ(outcome.status, kExitOk) << outcome.err;
    return outcome.out;
  }
  Names Cmd(std::initializer_list<std::string> words) {
    Names args;
    for (const std::string& word : words) args.push_back(word == "@" ? Alias() : word);
    return args;
  }
  std::string RightOf(int userId, int menuId) {
    return Scalar("SELECT AUTHORIZED FROM UACCESS WHERE USER_ID=:U AND MENU_ID=:M", {{"U", userId}, {"M", menuId}});
  }
  int UserId(const std::string& name) {
    return static_cast<int>(Count("SELECT USER_ID FROM QUARVEL WHERE USERQV_NAME=:N", {{"N", name}}));
  }
  // A snapshot of every security table but AUDIT's order, to compare
  // before and after a refused command.
  std::string Snapshot() {
    std::string all;
    for (const char* sql :
         {"SELECT USERQV_NAME, REAL_NAME, PROFILE_ID, AUDIT_MODE, LAST_PWD_CHANGE FROM QUARVEL ORDER BY USER_ID",
          "SELECT PROF_ID, PROF_DESCRIPTION, MUST_CHANGE_PWD FROM PROFILES ORDER BY PROF_ID",
          "SELECT APP_KEY, USER_ID, MENU_ID, AUTHORIZED FROM UACCESS ORDER BY USER_ID, MENU_ID",
          "SELECT APP_KEY, PROF_ID, MENU_ID, AUTHORIZED FROM PACCESS ORDER BY PROF_ID, MENU_ID",
          "SELECT APP_KEY, USER_ID, EXPIRATION_DATE, USER_EXPIRE, USER_ACTIVE FROM USERINFO ORDER BY APP_KEY, USER_ID",
          "SELECT COUNT(*) FROM HISTORY", "SELECT COUNT(*) FROM AUDIT"}) {
      TQuery query;
      query.SetDatabaseName(OwnerAlias());
      query.SetSQL(sql);
      query.Open();
      for (query.First(); !query.Eof(); query.Next()) {
        for (TField* field : query.Fields()) all += field->AsString() + "|";
        all += "\n";
      }
    }
    return all;
  }
  // Makes the `nth` statement from now whose text contains `part` fail.
  void FailStatementWith(const std::string& part, int nth = 1) {
    auto seen = std::make_shared<int>(0);
    Db().SetStatementHook([part, nth, seen](std::string_view sql) {
      if (AsciiUpper(sql).find(part) != std::string::npos && ++*seen == nth) throw EDatabaseError("injected failure");
    });
  }

  static constexpr const char* kApp = "STOCK";
  int vendas_ = 0, arquivo_ = 0, abrir_ = 0, sair_ = 0;
};

// ---- Users ------------------------------------------------------------------

TEST_P(AdminCommandsTest, UserAddCreatesTheUserItsStateAndItsProfilesRights) {
  std::string out = Ok(Cmd({"user", "add", "@", kApp, "joao", "--real-name", "João Silva", "--profile", "Vendas",
                            "--audit", "--password-file", "-"}),
                       "seg redo\n");
  EXPECT_TRUE(Contains(out, "'joao'")) << out;
  const int joao = UserId("joao");
  ASSERT_GT(joao, test::kMasterId);
  EXPECT_EQ(Scalar("SELECT REAL_NAME FROM QUARVEL WHERE USER_ID=:U", {{"U", joao}}), "João Silva");
  EXPECT_EQ(Scalar("SELECT AUDIT_MODE FROM QUARVEL WHERE USER_ID=:U", {{"U", joao}}), "1");
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:U", {{"U", joao}}), TodayText());
  EXPECT_EQ(PasswordOf(joao), "seg redo");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE APP_KEY='STOCK' AND USER_ID=:U AND USER_EXPIRE='0' AND "
                  "USER_ACTIVE='1'",
                  {{"U", joao}}),
            1);
  EXPECT_EQ(RightOf(joao, arquivo_), "1");
  EXPECT_EQ(RightOf(joao, abrir_), "1");
  EXPECT_EQ(RightOf(joao, sair_), "0");

  // Refused, each changing nothing: a duplicate, "master", an unknown
  // profile, a name too long for the table.
  const std::string before = Snapshot();
  for (const Names& args : {Cmd({"user", "add", "@", kApp, "joao", "--password-file", "-"}),
                            Cmd({"user", "add", "@", kApp, "master", "--password-file", "-"}),
                            Cmd({"user", "add", "@", kApp, "maria", "--profile", "Nenhum", "--password-file", "-"}),
                            Cmd({"user", "add", "@", kApp, "nome-longo-demais", "--password-file", "-"})}) {
    Outcome refused = Run(args, "x\n");
    EXPECT_EQ(refused.status, kExitFailed) << args[4];
    EXPECT_TRUE(Contains(refused.err, "'" + args[4] + "'") || Contains(refused.err, "\"master\"") ||
                Contains(refused.err, "'Nenhum'"))
        << refused.err;
  }
  EXPECT_EQ(Snapshot(), before);

  // No password source: not on the command line, no terminal to ask at.
  Outcome noPassword = Run(Cmd({"user", "add", "@", kApp, "maria"}));
  EXPECT_EQ(noPassword.status, kExitUsage);
  EXPECT_TRUE(Contains(noPassword.err, "--password-file")) << noPassword.err;
  EXPECT_EQ(Run(Cmd({"user", "add", "@", kApp, "maria", "--password-file", "-"}), "123456789012345678901\n").status,
            kExitFailed);
  EXPECT_EQ(Snapshot(), before);
}

TEST_P(AdminCommandsTest, AFailureInTheMiddleOfAUserAddStoresNothing) {
  const std::string before = Snapshot();
  FailStatementWith("INSERT INTO UACCESS");
  Outcome failed = Run(Cmd({"user", "add", "@", kApp, "joao", "--profile", "Vendas", "--password-file", "-"}), "x\n");
  Db().SetStatementHook({});
  EXPECT_EQ(failed.status, kExitFailed);
  EXPECT_TRUE(Contains(failed.err, "injected failure")) << failed.err;
  EXPECT_EQ(Snapshot(), before);
}

TEST_P(AdminCommandsTest, UserListShowsEveryUserButMasterInEachFormat) {
  const int ana = AddUser("ana", "x", vendas_, "1", DateText(2026, 1, 31), "Ana, \"a\" Souza");
  AddUserInfo(kApp, ana, "1", DateText(2026, 12, 31), "0");
  AddUser("=cmd", "x");

  Table csv = ReadCsv(Ok(Cmd({"user", "list", "@", kApp, "--format", "csv"})));
  ASSERT_EQ(csv.size(), 3u);
  EXPECT_EQ(csv[0], (Names{"name", "real_name", "profile", "audit", "last_password_change", "active", "expires",
                           "expiration_date"}));
  // A spreadsheet would run a field starting with "="; it is neutralised.
  EXPECT_EQ(csv[1][0], "'=cmd");
  EXPECT_EQ(csv[2], (Names{"ana", "Ana, \"a\" Souza", "Vendas", "yes", "2026-01-31", "no", "yes", "2026-12-31"}));

  const std::string table = Ok(Cmd({"user", "list", "@"}));
  EXPECT_FALSE(Contains(table, "master")) << table;
  EXPECT_TRUE(Contains(table, "ana")) << table;
  EXPECT_FALSE(Contains(table, "expires")) << "no application, no state columns";
  const std::string json = Ok(Cmd({"user", "list", "@", kApp, "--format", "json"}));
  EXPECT_TRUE(Contains(json, "\"real_name\": \"Ana, \\\"a\\\" Souza\"")) << json;
  EXPECT_EQ(Run(Cmd({"user", "list", "@", kApp, "--format", "xml"})).status, kExitUsage);
}

TEST_P(AdminCommandsTest, UserSetChangesTheUserAndItsStateTogether) {
  const int joao = AddUser("joao", "x");
  AddUserInfo(kApp, joao);
  SetUAccess(kApp, joao, arquivo_, Value("0"));
  SetUAccess(kApp, joao, abrir_, Value("0"));
  SetUAccess(kApp, joao, sair_, Value("1"));

  // A machine whose dates read month first: the stored text follows it.
  SetShortDateFormat("M/d/yy");
  Ok(Cmd({"user", "set", "@", kApp, "joao", "--real-name", "João", "--profile", "Vendas", "--audit", "--inactive",
          "--expires", "2026-12-31"}));
  SetShortDateFormat(test::kTestDatePattern);
  EXPECT_EQ(Scalar("SELECT REAL_NAME FROM QUARVEL WHERE USER_ID=:U", {{"U", joao}}), "João");
  EXPECT_EQ(Scalar("SELECT PROFILE_ID FROM QUARVEL WHERE USER_ID=:U", {{"U", joao}}), std::to_string(vendas_));
  // The profile change re-derived the rights.
  EXPECT_EQ(RightOf(joao, arquivo_), "1");
  EXPECT_EQ(RightOf(joao, abrir_), "1");
  EXPECT_EQ(RightOf(joao, sair_), "0");
  EXPECT_EQ(Scalar("SELECT USER_ACTIVE FROM USERINFO WHERE USER_ID=:U", {{"U", joao}}), "0");
  EXPECT_EQ(Scalar("SELECT USER_EXPIRE FROM USERINFO WHERE USER_ID=:U", {{"U", joao}}), "1");
  EXPECT_EQ(Scalar("SELECT EXPIRATION_DATE FROM USERINFO WHERE USER_ID=:U", {{"U", joao}}), "12/31/2026");

  // A database that records its date pattern is written in it, whatever
  // the machine's order.
  RecordDatePattern(Alias(), "dd/mm/yyyy");
  SetShortDateFormat("M/d/yy");
  Ok(Cmd({"user", "set", "@", kApp, "joao", "--expires", "2027-01-12"}));
  SetShortDateFormat(test::kTestDatePattern);
  EXPECT_EQ(Scalar("SELECT EXPIRATION_DATE FROM USERINFO WHERE USER_ID=:U", {{"U", joao}}), "12/01/2027");

  Ok(Cmd({"user", "set", "@", kApp, "joao", "--active", "--no-expiry"}));
  EXPECT_EQ(Scalar("SELECT USER_ACTIVE FROM USERINFO WHERE USER_ID=:U", {{"U", joao}}), "1");
  EXPECT_EQ(Scalar("SELECT USER_EXPIRE FROM USERINFO WHERE USER_ID=:U", {{"U", joao}}), "0");

  // In another application the user gets its state row there.
  Ok(Cmd({"user", "set", "@", "OTHER", "joao", "--inactive"}));
  EXPECT_EQ(Scalar("SELECT USER_ACTIVE FROM USERINFO WHERE APP_KEY='OTHER' AND USER_ID=:U", {{"U", joao}}), "0");

  const std::string before = Snapshot();
  // A failure writing the state row undoes the users row too.
  FailStatementWith("USERINFO");
  Outcome failed = Run(Cmd({"user", "set", "@", kApp, "joao", "--real-name", "Outro", "--inactive"}));
  Db().SetStatementHook({});
  EXPECT_EQ(failed.status, kExitFailed);
  EXPECT_EQ(Snapshot(), before);

  for (const Names& args : {Cmd({"user", "set", "@", kApp, "master", "--inactive"}),
                            Cmd({"user", "set", "@", kApp, "ninguem", "--inactive"}),
                            Cmd({"user", "set", "@", kApp, "joao", "--profile", "Nenhum"})})
    EXPECT_EQ(Run(args).status, kExitFailed) << args[4];
  for (const Names& args : {Cmd({"user", "set", "@", kApp, "joao", "--expires", "31/12/2026"}),
                            Cmd({"user", "set", "@", kApp, "joao", "--expires", "2026-02-30"}),
                            Cmd({"user", "set", "@", kApp, "joao", "--active", "--inactive"}),
                            Cmd({"user", "set", "@", kApp, "joao"}),
                            Cmd({"user", "set", "@", kApp, "joao", "--bogus"})}) {
    Outcome usage = Run(args);
    EXPECT_EQ(usage.status, kExitUsage) << (args.size() > 5 ? args[5] : "");
    EXPECT_TRUE(Contains(usage.err, "usage:")) << usage.err;
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_P(AdminCommandsTest, UserPasswordAndDelete) {
  const int joao = AddUser("joao", "velha");
  AddUserInfo(kApp, joao);
  AddUserInfo("OTHER", joao);
  SetUAccess(kApp, joao, arquivo_, Value("1"));
  SetUAccess("OTHER", joao, sair_, Value("1"));
  AddHistory(joao, "antiga", DateText(2025, 1, 1));
  ExecWith("INSERT INTO AUDIT VALUES ('STOCK', :U, :M, '01/03/2026 10:00:00', '01/03/2026 10:00:05', 'pc1')",
           {{"U", joao}, {"M", arquivo_}});

  Ok(Cmd({"user", "password", "@", "joao", "--password-file", "-"}), "nova-senha-ç\n");
  EXPECT_EQ(PasswordOf(joao), "nova-senha-ç");
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:U", {{"U", joao}}), TodayText());
  Outcome master = Run(Cmd({"user", "password", "@", "master", "--password-file", "-"}), "x\n");
  EXPECT_EQ(master.status, kExitFailed);
  EXPECT_TRUE(Contains(master.err, "\"master\"")) << master.err;
  EXPECT_EQ(PasswordOf(test::kMasterId), test::kMasterPassword);

  EXPECT_EQ(Run(Cmd({"user", "delete", "@", "master"})).status, kExitFailed);
  EXPECT_EQ(Run(Cmd({"user", "delete", "@", "ninguem"})).status, kExitFailed);
  Ok(Cmd({"user", "delete", "@", "joao"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL WHERE USER_ID=:U", {{"U", joao}}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE USER_ID=:U", {{"U", joao}}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE USER_ID=:U", {{"U", joao}}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM HISTORY WHERE USER_ID=:U", {{"U", joao}}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE USER_ID=:U", {{"U", joao}}), 1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL WHERE USERQV_NAME='master'"), 1);
}

// ---- Profiles ---------------------------------------------------------------

TEST_P(AdminCommandsTest, ProfileAddListAndDelete) {
  Ok(Cmd({"profile", "add", "@", kApp, "Caixa", "--must-change", "--interval", "30", "--hide-denied", "--audit"}));
  const std::string caixa = Scalar("SELECT PROF_ID FROM PROFILES WHERE PROF_DESCRIPTION='Caixa'");
  EXPECT_EQ(Scalar("SELECT MUST_CHANGE_PWD FROM PROFILES WHERE PROF_ID=" + caixa), "1");
  EXPECT_EQ(Scalar("SELECT INTERVAL_CHANGE_PWD FROM PROFILES WHERE PROF_ID=" + caixa), "30");
  EXPECT_EQ(Scalar("SELECT HIDE_DISABLE_MENU FROM PROFILES WHERE PROF_ID=" + caixa), "1");
  EXPECT_EQ(Scalar("SELECT AUDIT_MODE FROM PROFILES WHERE PROF_ID=" + caixa), "1");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE APP_KEY='STOCK' AND AUTHORIZED='0' AND PROF_ID=" + caixa), 3);

  Table csv = ReadCsv(Ok(Cmd({"profile", "list", "@", "--format", "csv"})));
  ASSERT_EQ(csv.size(), 3u);
  EXPECT_EQ(csv[1], (Names{"Caixa", "yes", "30", "hidden", "yes"}));
  EXPECT_EQ(csv[2][0], "Vendas");

  const std::string before = Snapshot();
  EXPECT_EQ(Run(Cmd({"profile", "add", "@", kApp, "Caixa"})).status, kExitFailed);
  EXPECT_EQ(Run(Cmd({"profile", "add", "@", kApp, "Outro", "--interval", "30"})).status, kExitUsage);
  EXPECT_EQ(Run(Cmd({"profile", "add", "@", kApp, "Outro", "--must-change", "--interval", "trinta"})).status,
            kExitUsage);
  EXPECT_EQ(Run(Cmd({"profile", "delete", "@", "Nenhum"})).status, kExitFailed);
  EXPECT_EQ(Snapshot(), before);

  // Deleting a profile: its members, in every application, have none, and
  // its rights go everywhere.
  const int ana = AddUser("ana", "x", vendas_);
  SetPAccess("OTHER", vendas_, sair_, Value("1"));
  Ok(Cmd({"profile", "delete", "@", "Vendas"}));
  EXPECT_EQ(Scalar("SELECT PROFILE_ID FROM QUARVEL WHERE USER_ID=:U", {{"U", ana}}), "0");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE PROF_ID=:P", {{"P", vendas_}}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROFILES WHERE PROF_ID=:P", {{"P", vendas_}}), 0);
}

// ---- Catalogue and rights -----------------------------------------------------

TEST_P(AdminCommandsTest, GrantAndRevokeSetExactlyTheItemsNamed) {
  const int joao = AddUser("joao", "x");
  AddUserInfo(kApp, joao);
  SetUAccess(kApp, joao, arquivo_, Value("0"));  // abrir_ and sair_ have no row yet

  Table catalogue = ReadCsv(Ok(Cmd({"catalogue", "list", "@", kApp, "--format", "csv"})));
  EXPECT_EQ(catalogue.size(), 4u);
  EXPECT_EQ(catalogue[0], (Names{"item", "caption"}));

  Ok(Cmd({"grant", "@", kApp, "--user", "joao", "mnuArquivo", "mnuAbrir"}));
  EXPECT_EQ(RightOf(joao, arquivo_), "1");
  EXPECT_EQ(RightOf(joao, abrir_), "1");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE USER_ID=:U AND MENU_ID=:M", {{"U", joao}, {"M", sair_}}), 0);
  Table rights = ReadCsv(Ok(Cmd({"rights", "@", kApp, "--user", "joao", "--format", "csv"})));
  ASSERT_EQ(rights.size(), 4u);
  for (const auto& row : rights) {
    if (row[0] == "item") continue;
    EXPECT_EQ(row[2], row[0] == "mnuSair" ? "no" : "yes") << row[0];
  }

  Ok(Cmd({"revoke", "@", kApp, "--profile", "Vendas", "mnuAbrir"}));
  EXPECT_EQ(Scalar("SELECT AUTHORIZED FROM PACCESS WHERE PROF_ID=:P AND MENU_ID=:M", {{"P", vendas_}, {"M", abrir_}}),
            "0");
  EXPECT_EQ(Scalar("SELECT AUTHORIZED FROM PACCESS WHERE PROF_ID=:P AND MENU_ID=:M", {{"P", vendas_}, {"M", arquivo_}}),
            "1");

  // The profile's members follow it on request.
  const int ana = AddUser("ana", "x", vendas_);
  SetUAccess(kApp, ana, abrir_, Value("1"));
  SetUAccess(kApp, ana, sair_, Value("1"));
  Ok(Cmd({"revoke", "@", kApp, "--profile", "Vendas", "mnuArquivo", "--update-members"}));
  EXPECT_EQ(RightOf(ana, abrir_), "0");
  EXPECT_EQ(RightOf(ana, sair_), "0");
  EXPECT_EQ(RightOf(joao, arquivo_), "1") << "not a member";
  EXPECT_EQ(Run(Cmd({"grant", "@", kApp, "--user", "ana", "mnuSair", "--update-members"})).status, kExitUsage);

  // An item outside the catalogue refuses the whole command.
  const std::string before = Snapshot();
  Outcome unknown = Run(Cmd({"revoke", "@", kApp, "--user", "joao", "mnuArquivo", "mnuNovo"}));
  EXPECT_EQ(unknown.status, kExitFailed);
  EXPECT_TRUE(Contains(unknown.err, "'mnuNovo'")) << unknown.err;
  EXPECT_TRUE(Contains(unknown.err, "administration window")) << unknown.err;
  EXPECT_EQ(Run(Cmd({"grant", "@", kApp, "--user", "master", "mnuArquivo"})).status, kExitFailed);
  EXPECT_EQ(Run(Cmd({"grant", "@", kApp, "--user", "joao", "--profile", "Vendas", "mnuArquivo"})).status, kExitUsage);
  EXPECT_EQ(Run(Cmd({"grant", "@", kApp, "--user", "joao"})).status, kExitUsage);
  // A failure at the second item keeps the first as it was.
  int statements = 0;
  Db().SetStatementHook([&statements](std::string_view sql) {
    if (AsciiUpper(sql).find("UACCESS") != std::string::npos && ++statements == 2)
      throw EDatabaseError("injected failure");
  });
  Outcome failed = Run(Cmd({"revoke", "@", kApp, "--user", "joao", "mnuArquivo", "mnuAbrir"}));
  Db().SetStatementHook({});
  EXPECT_EQ(failed.status, kExitFailed);
  EXPECT_EQ(Snapshot(), before);
}

// ---- Audit trail ------------------------------------------------------------

class AuditCommandsTest : public AdminCommandsTest {
 protected:
  void SetUp() override {
    AdminCommandsTest::SetUp();
    joao_ = AddUser("joao", "x");
    maria_ = AddUser("maria", "x");
    Stamp(joao_, arquivo_, "01/03/2026 00:00:00", "01/03/2026 00:00:09", "pc1");  // starts at midnight: out
    Stamp(joao_, arquivo_, "01/03/2026 00:00:01", "01/03/2026 00:00:09", "=HYPERLINK(\"x\")");
    Stamp(maria_, abrir_, "10/03/2026 08:00:00", "10/03/2026 23:59:59", "pc, 2");
    Stamp(joao_, sair_, "10/03/2026 23:59:00", "11/03/2026 00:00:00", "pc3");  // ends at midnight: out
    Stamp(maria_, 999, "05/03/2026 10:00:00", "05/03/2026 10:00:30", "");      // an item gone
    ExecWith("INSERT INTO AUDIT VALUES ('OTHER', :U, :M, '05/03/2026 10:00:00', '05/03/2026 10:00:30', 'x')",
             {{"U", joao_}, {"M", arquivo_}});
  }
  void Stamp(int user, int menu, const char* start, const char* end, const char* computer) {
    ExecWith("INSERT INTO AUDIT VALUES ('STOCK', :U, :M, :S, :E, :C)",
             {{"U", user}, {"M", menu}, {"S", start}, {"E", end}, {"C", computer}});
  }
  int joao_ = 0, maria_ = 0;
};

TEST_P(AuditCommandsTest, ExportIsTheTableRowForRowReadBackByACsvReader) {
  Table csv = ReadCsv(Ok(Cmd({"audit", "export", "@", kApp})));
  ASSERT_EQ(csv.size(), 6u);
  EXPECT_EQ(csv[0], (Names{"app", "user", "item", "caption", "start", "end", "computer"}));
  TQuery table;
  table.SetDatabaseName(Alias());
  table.SetSQL("SELECT USER_ID, PROG_ID, START_SESSION, END_SESSION, COMPUTER_NAME FROM AUDIT WHERE APP_KEY='STOCK'");
  table.Open();
  std::size_t row = 1;
  for (table.First(); !table.Eof(); table.Next(), ++row) {
    ASSERT_LT(row, csv.size());
    const std::vector<std::string>& line = csv[row];
    EXPECT_EQ(line[0], "STOCK");
    EXPECT_EQ(line[1], table.FieldByName("USER_ID").AsInteger() == joao_ ? "joao" : "maria");
    const std::string stored = table.FieldByName("START_SESSION").AsString();
    // dd/MM/yyyy hh:nn:ss as YYYY-MM-DDThh:mm:ss
    EXPECT_EQ(line[4], stored.substr(6, 4) + "-" + stored.substr(3, 2) + "-" + stored.substr(0, 2) + "T" +
                           stored.substr(11));
    const std::string computer = table.FieldByName("COMPUTER_NAME").AsString();
    EXPECT_EQ(line[6], computer.starts_with("=") ? "'" + computer : computer);
  }
  EXPECT_EQ(row, csv.size());
  EXPECT_EQ(csv[5][2], "") << "the item of a row whose catalogue row is gone";
  EXPECT_EQ(csv[3][3], "Abrir");
}

TEST_P(AuditCommandsTest, ExportFollowsTheAuditPagesPeriodAndFilters) {
  Table period = ReadCsv(Ok(Cmd({"audit", "export", "@", kApp, "--from", "2026-03-01", "--to", "2026-03-10"})));
  ASSERT_EQ(period.size(), 4u);
  EXPECT_EQ(period[1][4], "2026-03-01T00:00:01");
  EXPECT_EQ(period[2][5], "2026-03-10T23:59:59");
  EXPECT_EQ(period[3][4], "2026-03-05T10:00:00");

  Table byUser = ReadCsv(Ok(Cmd({"audit", "export", "@", kApp, "--user", "maria", "--item", "mnuAbrir"})));
  ASSERT_EQ(byUser.size(), 2u);
  EXPECT_EQ(byUser[1][6], "pc, 2");

  const fs::path file = fs::temp_directory_path() / ("qv_audit_" + std::to_string(getpid()) + ".json");
  Ok(Cmd({"audit", "export", "@", kApp, "--to", "2026-03-04", "--format", "json", "--output", file.string()}));
  std::ifstream in(file);
  std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove(file);
  EXPECT_TRUE(Contains(json, "\"computer\": \"=HYPERLINK(\\\"x\\\")\"")) << json;
  EXPECT_EQ(std::count(json.begin(), json.end(), '{'), 2) << json;

  for (const Names& args : {Cmd({"audit", "export", "@", kApp, "--from", "01/03/2026"}),
                            Cmd({"audit", "export", "@", kApp, "--from", "2026-03-10", "--to", "2026-03-01"}),
                            Cmd({"audit", "export", "@", kApp, "--format", "table"})})
    EXPECT_EQ(Run(args).status, kExitUsage) << args[4];
  EXPECT_EQ(Run(Cmd({"audit", "export", "@", kApp, "--user", "ninguem"})).status, kExitFailed);
  Outcome item = Run(Cmd({"audit", "export", "@", kApp, "--item", "mnuNovo"}));
  EXPECT_EQ(item.status, kExitFailed);
  EXPECT_TRUE(Contains(item.err, "administration window")) << item.err;
}

// The export file is replaced whole and is its owner's: a failed export
// leaves the previous one, and a link planted at its name is replaced, not
// followed.
TEST_P(AuditCommandsTest, TheOutputFileIsReplacedWholeAndIsTheOwners) {
  const fs::path dir = fs::temp_directory_path() / ("qv_audit_out_" + std::to_string(getpid()) + EngineName());
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path file = dir / "audit.csv", victim = dir / "victim";
  { std::ofstream(victim) << "untouched\n"; }
  fs::create_symlink(victim, file);
  Ok(Cmd({"audit", "export", "@", kApp, "--output", file.string()}));
  EXPECT_FALSE(fs::is_symlink(file));
  EXPECT_EQ((fs::status(file).permissions() & fs::perms::all), fs::perms::owner_read | fs::perms::owner_write);
  auto read = [](const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(read(victim), "untouched\n");
  const std::string exported = read(file);
  EXPECT_EQ(ReadCsv(exported).size(), 6u);

  // The first reading of the trail is the opening of qryAudit, the second
  // the export's.
  FailStatementWith("FROM AUDIT", 2);
  Outcome failed = Run(Cmd({"audit", "export", "@", kApp, "--output", file.string()}));
  EXPECT_TRUE(Contains(failed.err, "injected failure")) << failed.err;
  Db().SetStatementHook({});
  EXPECT_EQ(failed.status, kExitFailed);
  EXPECT_EQ(read(file), exported);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << "a temporary file was left";
  fs::remove_all(dir);
}

TEST_P(AuditCommandsTest, PruneDeletesTheRowsEndedBeforeTheDayAllOrNone) {
  const std::string before = Snapshot();
  Outcome declined = Run(Cmd({"audit", "prune", "@", kApp, "--before", "2026-03-10"}), "n\n");
  EXPECT_EQ(declined.status, kExitFailed);
  EXPECT_TRUE(Contains(declined.err, "3 audit rows")) << declined.err;
  EXPECT_EQ(Snapshot(), before);

  FailStatementWith("DELETE FROM AUDIT");
  Outcome failed = Run(Cmd({"audit", "prune", "@", kApp, "--before", "2026-03-10", "--yes"}));
  Db().SetStatementHook({});
  EXPECT_EQ(failed.status, kExitFailed);
  EXPECT_EQ(Snapshot(), before);

  Ok(Cmd({"audit", "prune", "@", kApp, "--before", "2026-03-10"}), "y\n");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE APP_KEY='STOCK'"), 2);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE APP_KEY='OTHER'"), 1);
  EXPECT_EQ(Run(Cmd({"audit", "prune", "@", kApp})).status, kExitUsage);
  EXPECT_EQ(Run(Cmd({"audit", "prune", "@", kApp, "--before", "2026-13-01", "--yes"})).status, kExitUsage);
}

// ---- A secured database ----------------------------------------------------

// Connected as the client role, the commands see and change nothing until
// "master" logged in through the server; its password is read like every
// other, never from the command line.
class SecuredAdminCommandsTest : public AdminCommandsTest {};

TEST_P(SecuredAdminCommandsTest, CommandsLogInAsMasterFirstAndAWrongOrMissingPasswordDoesNothing) {
  AddUser("maria", "segredo", vendas_);
  const std::string before = Snapshot();

  Outcome missing = Run(Cmd({"user", "list", "@"}));
  EXPECT_EQ(missing.status, kExitUsage);
  EXPECT_TRUE(Contains(missing.err, "--master-password-file")) << missing.err;
  EXPECT_FALSE(Contains(missing.out, "maria"));

  Outcome wrong = Run(Cmd({"user", "add", "@", kApp, "joao", "--master-password-file", "-", "--password-file", "-"}),
                      "palpite\nsegredo\n");
  EXPECT_EQ(wrong.status, kExitFailed);
  EXPECT_TRUE(Contains(wrong.err, "refused the master password")) << wrong.err;
  EXPECT_FALSE(Contains(wrong.err, "palpite")) << wrong.err;
  EXPECT_EQ(Snapshot(), before);

  EXPECT_TRUE(Contains(Ok(Cmd({"user", "list", "@", "--master-password-file", "-"}), "master\n"), "maria"));
  Ok(Cmd({"user", "add", "@", kApp, "joao", "--profile", "Vendas", "--master-password-file=-", "--password-file", "-"}),
     "master\nnova\n");
  const int joao = UserId("joao");
  EXPECT_EQ(PasswordOf(joao), "nova");
  EXPECT_EQ(RightOf(joao, abrir_), "1");
}

INSTANTIATE_TEST_SUITE_P(Secured, SecuredAdminCommandsTest, ::testing::Values("postgresql_secured"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

QV_INSTANTIATE_ENGINES(AdminCommandsTest);
QV_INSTANTIATE_ENGINES(AuditCommandsTest);

}  // namespace
}  // namespace qv
