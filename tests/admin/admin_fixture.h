// The administration window opened through the component on a seeded
// security database, with a scripted administrator.
//
//   TEST_P(FrameTest, ...) {
//     AddUser("maria", "x");
//     OpenAdminAnd([&](TForm& form) { EXPECT_EQ(Window(form).Caption(), ...); });
//   }
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/admin/users_adm_qv.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {

class AdminTest : public SecurityDbTest {
 protected:
  void TearDown() override {
    host_.reset();
    SecurityDbTest::TearDown();
  }

  // The host is read on first use, so that it opens the tables on what the
  // test has seeded before, and "master" logs in (the window is only for
  // somebody logged in), on a backend of its own so the test's records
  // start empty.
  TTestHostForm& Host() {
    if (!host_) {
      TestHostSettings settings;
      settings.DatabaseName = Alias();
      settings.ExtraBuild = extraBuild_;
      host_ = ReadTestHost(settings);
      THeadlessBackend login;
      login.WhenShown("Login").Type("master").Enter().Type(kMasterPassword).Enter();
      EXPECT_TRUE(host_->Quarvel1->Login());
    }
    return *host_;
  }

  // Opens the window through the component, runs `actions` in it as the
  // administrator, then closes it with its close box.
  void OpenAdminAnd(const TFormScript::Action& actions) {
    ui_.WhenShown("UsersAdministration").Run(actions).CloseBox();
    Host().Quarvel1->UsersAdm();
  }

  static TUsersAdministration& Window(TForm& form) { return As<TUsersAdministration>(form); }

  // The texts of the catalogue's rows of `appKey`, "name=caption", by name.
  std::vector<std::string> Catalogue(const std::string& appKey = "STOCK") {
    std::vector<std::string> rows;
    TQuery q;
    q.SetDatabaseName(OwnerAlias());
    q.SetSQL("SELECT MENU_NAME, MENU_CAPTION FROM PROGS WHERE APP_KEY=:K ORDER BY MENU_NAME");
    q.ParamByName("K").SetAsString(appKey);
    q.Open();
    for (; !q.Eof(); q.Next())
      rows.push_back(q.FieldByName("MENU_NAME").AsString() + "=" + q.FieldByName("MENU_CAPTION").AsString());
    return rows;
  }
  int MenuIdOf(const std::string& name, const std::string& appKey = "STOCK") {
    return static_cast<int>(
        ScalarValue("SELECT MENU_ID FROM PROGS WHERE APP_KEY=:K AND MENU_NAME=:N", {{"K", appKey}, {"N", name}})
            .AsInteger());
  }
  // AUTHORIZED of a user's (profile's) right to a catalogued item: "1",
  // "0", "null", or "none" without a row.
  std::string URight(int userId, const std::string& item) { return Right("UACCESS", "USER_ID", userId, item); }
  std::string PRight(int profId, const std::string& item) { return Right("PACCESS", "PROF_ID", profId, item); }

  THeadlessBackend ui_;
  // Runs while the host is read (to add menu items).
  std::function<void(TTestHostForm&)> extraBuild_;

 private:
  std::string Right(const char* table, const char* key, int id, const std::string& item) {
    const std::string where = std::string(" FROM ") + table + " WHERE APP_KEY='STOCK' AND " + key +
                              "=:ID AND MENU_ID=:M";
    const SqlParams params{{"ID", id}, {"M", MenuIdOf(item)}};
    if (Count("SELECT COUNT(*)" + where, params) == 0) return "none";
    const Value v = ScalarValue("SELECT AUTHORIZED" + where, params);
    return v.IsNull() ? "null" : v.AsString();
  }

  std::unique_ptr<TTestHostForm> host_;
};

}  // namespace qv::test
