#include "examples/demo/seed.h"

#include <utility>
#include <vector>

#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/data/date_pattern.h"
#include "examples/demo/estoque_form.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/sys/date_text.h"

namespace qv::demo {

namespace {

using Params = std::vector<std::pair<const char*, Value>>;

void Exec(const std::string& alias, const char* sql, const Params& params) {
  TQuery query;
  query.SetDatabaseName(alias);
  query.SetSQL(sql);
  for (const auto& [name, value] : params) query.ParamByName(name).SetValue(value);
  query.ExecSQL();
}

long long Scalar(const std::string& alias, const char* sql, const Params& params = {}) {
  TQuery query;
  query.SetDatabaseName(alias);
  query.SetSQL(sql);
  for (const auto& [name, value] : params) query.ParamByName(name).SetValue(value);
  query.Open();
  return query.Eof() ? 0 : query.Fields()[0]->AsValue().AsInteger();
}

// The items each ordinary profile may use; everything else is forbidden.
const std::vector<std::string> kEstoquistaItems = {
    "mnuArquivo", "mnuArqNovoProduto", "mnuArqImprimir", "mnuArqSair", "mnuMovimento",
    "mnuMovEntrada", "mnuMovSaida", "mnuSeguranca", "mnuSegTrocarUsuario", "mnuSegSenha",
    "mnuAjuda", "mnuAjuSobre"};
const std::vector<std::string> kConsultaItems = {
    "mnuArquivo", "mnuArqSair", "mnuRelatorios", "mnuRelPosicao", "mnuSeguranca",
    "mnuSegTrocarUsuario", "mnuSegSenha", "mnuAjuda", "mnuAjuSobre"};

bool Allowed(const std::vector<std::string>& items, const std::string& name) {
  for (const std::string& item : items)
    if (item == name) return true;
  return false;
}

// The catalogue caption of an item: its caption without "&" and ".".
std::string CatalogueCaption(const std::string& caption) {
  std::string out;
  for (char c : caption)
    if (c != '&' && c != '.') out.push_back(c);
  return out;
}

}  // namespace

bool SeedDemoDatabase(const std::string& alias) {
  if (Scalar(alias, "SELECT COUNT(*) FROM QUARVEL WHERE USERQV_NAME=:N", {{"N", Value(kJoao.Name)}}) > 0)
    return false;
  TDatabase& db = Session::Default().Database(alias);
  db.StartTransaction();
  try {
    std::string today;
    {
      ScopedDatabaseDateFormat recorded(ReadDatePattern(alias).value_or(""));
      ScopedNormalizedDateFormat normalized;
      today = DateToStr(Date());
    }
    // The catalogue: every item of the demo's menu except separators, the
    // way the administration window would record it.
    struct Prog {
      std::string name;
      int id;
    };
    std::vector<Prog> progs;
    {
      int next = static_cast<int>(Scalar(alias, "SELECT MAX(MENU_ID) FROM PROGS")) + 1;
      for (const auto& [name, caption] : CatalogueItems()) {
        Exec(alias, "INSERT INTO PROGS (APP_KEY, MENU_NAME, MENU_ID, MENU_CAPTION) VALUES (:A, :N, :I, :C)",
             {{"A", Value(kAppKey)}, {"N", Value(name)}, {"I", Value(next)}, {"C", Value(CatalogueCaption(caption))}});
        progs.push_back({name, next++});
      }
    }
    int nextProfile = static_cast<int>(Scalar(alias, "SELECT MAX(PROF_ID) FROM PROFILES")) + 1;
    int nextUser = static_cast<int>(Scalar(alias, "SELECT MAX(USER_ID) FROM QUARVEL")) + 1;
    struct Seeded {
      DemoUser user;
      const char* realName;
      int hide;
      const char* audit;
      const std::vector<std::string>* items;
    };
    const Seeded seeded[] = {{kJoao, "João da Silva", 0, "1", &kEstoquistaItems},
                             {kAna, "Ana Souza", 1, "0", &kConsultaItems}};
    for (const Seeded& s : seeded) {
      const int prof = nextProfile++, user = nextUser++;
      Exec(alias,
           "INSERT INTO PROFILES (PROF_DESCRIPTION, PROF_ID, INTERVAL_CHANGE_PWD, MUST_CHANGE_PWD, "
           "HIDE_DISABLE_MENU, AUDIT_MODE) VALUES (:D, :I, NULL, '0', :H, :A)",
           {{"D", Value(s.user.Profile)}, {"I", Value(prof)}, {"H", Value(s.hide)}, {"A", Value(s.audit)}});
      Exec(alias,
           "INSERT INTO QUARVEL (USERQV_NAME, REAL_NAME, USER_PWD, USER_ID, LAST_PWD_CHANGE, PROFILE_ID, "
           "AUDIT_MODE) VALUES (:N, :R, :P, :I, :L, :F, :A)",
           {{"N", Value(s.user.Name)}, {"R", Value(s.realName)}, {"P", Value::Bytes(EncodePassword(s.user.Password))},
            {"I", Value(user)}, {"L", Value(today)}, {"F", Value(prof)}, {"A", Value(s.audit)}});
      Exec(alias,
           "INSERT INTO USERINFO (APP_KEY, USER_ID, EXPIRATION_DATE, USER_EXPIRE, USER_ACTIVE) "
           "VALUES (:A, :I, :E, '0', '1')",
           {{"A", Value(kAppKey)}, {"I", Value(user)}, {"E", Value(today)}});
      for (const Prog& p : progs) {
        const Value flag(Allowed(*s.items, p.name) ? "1" : "0");
        Exec(alias, "INSERT INTO PACCESS (APP_KEY, PROF_ID, MENU_ID, AUTHORIZED) VALUES (:A, :I, :M, :F)",
             {{"A", Value(kAppKey)}, {"I", Value(prof)}, {"M", Value(p.id)}, {"F", flag}});
        Exec(alias, "INSERT INTO UACCESS (APP_KEY, USER_ID, MENU_ID, AUTHORIZED) VALUES (:A, :I, :M, :F)",
             {{"A", Value(kAppKey)}, {"I", Value(user)}, {"M", Value(p.id)}, {"F", flag}});
      }
    }
    db.Commit();
  } catch (...) {
    db.Rollback();
    throw;
  }
  return true;
}

}  // namespace qv::demo
