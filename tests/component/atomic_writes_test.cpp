// Every operation that writes more than one statement, run once for every
// N with the Nth statement on the connection failing: whatever N, the
// operation stores all of its change or none of it, reports success only
// for a stored change, and never fails silently.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qvd3/component/quarvel.h"
#include "qvd3/component/user.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

constexpr const char* kApp = "STOCK";

// One operation of the sweep. `stored` tells whether the whole change is in
// the database and checks that no part of it is there when it is not.
struct Operation {
  std::string name;
  std::function<void(int n)> run;
  std::function<bool()> stored;
  std::string successMessage;  // shown exactly when stored ("" for none)
  std::string failureMessage;  // how a failure is reported besides an error
};

class AtomicWritesTest : public SecurityDbTest {
 protected:
  void TearDown() override {
    host_.reset();
    ui_.reset();
    SecurityDbTest::TearDown();
  }

  // Two profiles with opposite rights to two catalogue items; maria (audited,
  // logged in), ana (to delete and to move between profiles) and expira
  // (expired yesterday), each with rights, state row and history.
  void Seed() {
    for (const char* table : {"UACCESS", "PACCESS", "HISTORY", "USERINFO", "AUDIT", "PROGS",
                              "PROFILES"})
      ExecWith(std::string("DELETE FROM ") + table);
    ExecWith("DELETE FROM QUARVEL WHERE USER_ID<>:ID", {{"ID", kMasterId}});
    sales_ = AddProfile("Vendas");
    buying_ = AddProfile("Compras");
    open_ = AddProg(kApp, "mnuFileOpen", "Abrir");
    print_ = AddProg(kApp, "mnuFilePrint", "Imprimir");
    for (int prof : {sales_, buying_}) {
      SetPAccess(kApp, prof, open_, prof == sales_ ? "1" : "0");
      SetPAccess(kApp, prof, print_, prof == sales_ ? "0" : "1");
    }
    maria_ = AddUser("maria", "segredo", sales_, "1", DaysFromToday(-20));
    ana_ = AddUser("ana", "x", sales_);
    expira_ = AddUser("expira", "x");
    for (int user : {maria_, ana_, expira_}) {
      SetUAccess(kApp, user, open_, "1");
      SetUAccess(kApp, user, print_, "0");
      AddHistory(user, "velha", TodayText());
      AddUserInfo(kApp, user, user == expira_ ? "1" : "0", DaysFromToday(-1));
    }
    if (host_) {
      for (TQuery* q : {&Users->qryUsers, &Users->qryProgs, &Users->qryProfiles, &Users->qryUAccess,
                        &Users->qryPAccess, &Users->qryHistory, &Users->qryAudit, &Users->qryUserInfo})
        q->Reopen();
    }
    ui_.reset();
    ui_ = std::make_unique<THeadlessBackend>();
  }

  void Start() {
    Seed();
    TestHostSettings settings;
    settings.DatabaseName = Alias();
    settings.AppKey = kApp;
    host_ = ReadTestHost(settings);
    ui_->WhenShown("Login").Type("maria").Enter().Type("segredo").Enter();
    ASSERT_TRUE(Security().Login());
  }

  TQuarvel& Security() { return *host_->Quarvel1; }
  long long Rows(const std::string& table, const std::string& column, int id) {
    return Count("SELECT COUNT(*) FROM " + table + " WHERE " + column + "=:ID", {{"ID", id}});
  }
  std::string Right(int user, int menu) {
    return Scalar("SELECT AUTHORIZED FROM UACCESS WHERE USER_ID=:U AND MENU_ID=:M",
                  {{"U", user}, {"M", menu}});
  }
  int Shown(const std::string& text) {
    int count = 0;
    for (const TMessageRecord& m : ui_->Messages()) count += m.Text == text ? 1 : 0;
    return count;
  }

  // Runs `op` with the 1st, 2nd, ... statement failing, on freshly seeded
  // tables each time, until a run reaches no failing statement.
  void Sweep(const Operation& op) {
    for (int n = 1; n <= 80; ++n) {
      SCOPED_TRACE(op.name + ", statement " + std::to_string(n) + " failing");
      Seed();
      int seen = 0;
      bool hit = false;
      Db().SetStatementHook([&](std::string_view) {
        if (++seen == n) {
          hit = true;
          throw EDatabaseError("injected failure");
        }
      });
      bool threw = false;
      try {
        op.run(n);
      } catch (const Exception&) {
        threw = true;
      }
      Db().SetStatementHook({});

      EXPECT_FALSE(Db().InTransaction());
      EXPECT_EQ(Security().User()->UserID(), maria_);
      const bool stored = op.stored();
      if (!op.successMessage.empty()) {
        EXPECT_EQ(Shown(op.successMessage), stored ? 1 : 0);
      }
      if (!stored) {
        EXPECT_TRUE(threw || (!op.failureMessage.empty() && Shown(op.failureMessage) == 1));
      }
      if (!hit) {
        EXPECT_TRUE(stored);
        EXPECT_FALSE(threw);
        EXPECT_GT(n, 1);
        return;
      }
    }
    ADD_FAILURE() << op.name << " never ran to its end";
  }

  std::unique_ptr<THeadlessBackend> ui_;
  std::unique_ptr<TTestHostForm> host_;
  int sales_ = 0, buying_ = 0, open_ = 0, print_ = 0, maria_ = 0, ana_ = 0, expira_ = 0;
};

TEST_P(AtomicWritesTest, EveryMultiStatementWriteIsAllOrNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  TUsers& m = *Users;

  Sweep({"user post",
         [&](int) {
           m.qryUsers.Append();
           m.qryUsers.FieldByName("USERQV_NAME").SetAsString("davi");
           m.qryUsersPROFILE_ID.SetAsInteger(buying_);
           m.qryUsers.Post();
         },
         [&] {
           const long long users = Count("SELECT COUNT(*) FROM QUARVEL WHERE USERQV_NAME='davi'");
           EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO I, QUARVEL Q WHERE "
                           "I.USER_ID=Q.USER_ID AND Q.USERQV_NAME='davi'"),
                     users);
           EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO"), 3 + users);
           return users == 1;
         }});

  Sweep({"profile change",
         [&](int) {
           ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(ana_)));
           m.qryUsers.Edit();
           m.qryUsersPROFILE_ID.SetAsInteger(buying_);
           m.qryUsers.Post();
         },
         [&] {
           const bool moved =
               ScalarValue("SELECT PROFILE_ID FROM QUARVEL WHERE USER_ID=:ID", {{"ID", ana_}})
                   .AsInteger() == buying_;
           EXPECT_EQ(Right(ana_, open_), moved ? "0" : "1");
           EXPECT_EQ(Right(ana_, print_), moved ? "1" : "0");
           return moved;
         }});

  std::string before, next;
  Sweep({"password change",
         [&](int n) {
           before = Security().User()->Password();
           next = "nova" + std::to_string(n);
           ui_->WhenShown("MudaPwd").Type(before).Enter().Type(next).Enter().Type(next).Enter().Enter();
           Security().ChangeUserPassword();
         },
         [&] {
           const bool changed = PasswordOf(maria_) == next;
           if (!changed) {
             EXPECT_EQ(PasswordOf(maria_), "segredo");
           }
           EXPECT_EQ(Rows("HISTORY", "USER_ID", maria_), changed ? 2 : 1);
           EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:ID", {{"ID", maria_}}),
                     changed ? TodayText() : DaysFromToday(-20));
           EXPECT_EQ(Security().User()->Password(), changed ? next : before);
           return changed;
         },
         "Mudança de senha efetuada", "Não foi possível alterar senha"});

  Sweep({"user delete",
         [&](int) {
           ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(ana_)));
           ui_->AnswerMessages(mrYes);
           m.qryUsers.Delete();
         },
         [&] {
           const bool gone = Rows("QUARVEL", "USER_ID", ana_) == 0;
           EXPECT_EQ(Rows("UACCESS", "USER_ID", ana_) + Rows("USERINFO", "USER_ID", ana_) +
                         Rows("HISTORY", "USER_ID", ana_),
                     gone ? 0 : 4);
           return gone;
         },
         "Usuário Eliminado"});

  Sweep({"profile delete",
         [&](int) {
           ASSERT_TRUE(m.qryProfiles.Locate("PROF_ID", Value(sales_)));
           ui_->AnswerMessages(mrYes);
           m.qryProfiles.Delete();
         },
         [&] {
           const bool gone = Rows("PROFILES", "PROF_ID", sales_) == 0;
           EXPECT_EQ(Rows("QUARVEL", "PROFILE_ID", sales_), gone ? 0 : 2);
           EXPECT_EQ(Rows("PACCESS", "PROF_ID", sales_), gone ? 0 : 2);
           return gone;
         },
         "Perfil de Usuário eliminado"});

  Sweep({"catalogue delete",
         [&](int) {
           ASSERT_TRUE(m.qryProgs.Locate("MENU_ID", Value(print_)));
           m.qryProgs.Delete();
         },
         [&] {
           const bool gone = Rows("PROGS", "MENU_ID", print_) == 0;
           EXPECT_EQ(Rows("UACCESS", "MENU_ID", print_) + Rows("PACCESS", "MENU_ID", print_),
                     gone ? 0 : 5);
           return gone;
         }});

  Sweep({"expiry write at login",
         [&](int) {
           ui_->WhenShown("Login").Type("expira").Enter().Type("x").Enter();
           EXPECT_FALSE(Security().Login());
         },
         [&] {
           EXPECT_NE(Users->qryUserInfo.State(), TDataSetState::Edit);
           return Scalar("SELECT USER_ACTIVE FROM USERINFO WHERE USER_ID=:ID", {{"ID", expira_}}) ==
                  "0";
         },
         "Usuário expira não está mais autorizado a usar este sistema, contate o administrador."});

  Sweep({"audit insert", [&](int) { host_->mnuFileOpen->Click(); },
         [&] { return Count("SELECT COUNT(*) FROM AUDIT") == 1; }});
}

QV_INSTANTIATE_ENGINES(AtomicWritesTest);

}  // namespace
}  // namespace qv::test
