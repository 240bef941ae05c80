// The audit page: the rows of a user or a program within a period, the
// strict period bounds, unreadable stamps, lookup columns of rows whose user
// or program is gone, and the deletion of exactly the selection, on both
// engines. "Today" is 15 March 2026, so the period starts as March 2026.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvd3/platform/sys/date_text.h"
#include "tests/admin/admin_fixture.h"

namespace qv::test {
namespace {

class AuditPageTest : public AdminTest {
 protected:
  void SetUp() override {
    AdminTest::SetUp();
    if (HasFatalFailure()) return;
    maria_ = AddUser("maria", "x");
    joao_ = AddUser("joao", "x");
    open_ = AddProg("STOCK", "mnuFileOpen", "&Abrir...");
    print_ = AddProg("STOCK", "mnuFilePrint", "&Imprimir");
  }

  void AddAudit(int userId, int progId, const std::string& start, const std::string& end,
                const std::string& appKey = "STOCK") {
    ExecWith("INSERT INTO AUDIT VALUES (:A, :U, :P, :S, :E, 'PC-01')",
             {{"A", appKey}, {"U", userId}, {"P", progId}, {"S", start}, {"E", end}});
  }

  // The grid's rows, "column 0|START_SESSION" each.
  static std::vector<std::string> Rows(TDBGrid& grid) {
    std::vector<std::string> rows;
    for (int row = 1; row <= grid.RowCount(); ++row) rows.push_back(grid.CellText(row, 0) + "|" + grid.CellText(row, 2));
    return rows;
  }

  // Opens the window on the audit page's by-user sub-page with `userId`
  // selected, and runs `actions`.
  void OnUserAuditAnd(int userId, const std::function<void(TUsersAdministration&)>& actions) {
    OpenAdminAnd([&](TForm& form) {
      TUsersAdministration& w = Window(form);
      w.PageControl->SelectPageByPerson(w.tsAudit);
      w.dblkUserName->ChooseByPerson(userId);
      actions(w);
    });
  }

  long long AuditCount(const std::string& where = "1=1") { return Count("SELECT COUNT(*) FROM AUDIT WHERE " + where); }

  int maria_ = 0, joao_ = 0, open_ = 0, print_ = 0;
};

TEST_P(AuditPageTest, StartUpLeavesTheAuditTrailUnread) {
  AddAudit(maria_, open_, "02/03/2026 10:00:00", "02/03/2026 10:01:00");
  Host();
  EXPECT_TRUE(Users->qryAudit.Active());
  EXPECT_TRUE(Users->qryAudit.RowsPending());
  EXPECT_EQ(Users->qryAudit.RecordCount(), 1);
}

TEST_P(AuditPageTest, TheRowsOfTheUserWithinTheStrictBoundsOfThePeriod) {
  AddAudit(maria_, open_, "01/03/2026", "01/03/2026 00:10:00");  // starts at midnight of From
  AddAudit(maria_, open_, "01/03/2026 00:00:01", "01/03/2026 00:10:00");
  AddAudit(maria_, print_, "31/03/2026 23:00:00", "31/03/2026 23:59:59");
  AddAudit(maria_, print_, "31/03/2026 23:00:00", "01/04/2026");  // ends at midnight after To
  AddAudit(maria_, print_, "15/03/2026 10:00:00", "02/04/2026 08:00:00");
  AddAudit(maria_, open_, "2026-03-15 10:00:00", "2026-03-15 10:05:00");  // another program's form
  AddAudit(maria_, open_, "", "");
  AddAudit(joao_, open_, "10/03/2026 10:00:00", "10/03/2026 10:00:05");
  AddAudit(maria_, open_, "10/03/2026 10:00:00", "10/03/2026 10:00:05", "OTHER");
  OnUserAuditAnd(maria_, [&](TUsersAdministration& w) {
    EXPECT_EQ(Rows(*w.DBGridAudUsers),
              (std::vector<std::string>{"Abrir|01/03/2026 00:00:01", "Imprimir|31/03/2026 23:00:00"}));
    // A selector without a value lets every user pass.
    w.dblkUserName->SetKeyValue(Value());
    w.dtpkInicioUChange(*w.dblkUserName);
    EXPECT_EQ(w.DBGridAudUsers->RowCount(), 3);
    w.dblkUserName->ChooseByPerson(maria_);
    // From and To on the same day: what starts after its midnight and ends
    // before the next.
    w.dtpkInicioU->ChangeByPerson(EncodeDate(2026, 3, 31));
    EXPECT_EQ(Rows(*w.DBGridAudUsers), (std::vector<std::string>{"Imprimir|31/03/2026 23:00:00"}));
    // To before From, or a picker without a date: no rows.
    w.dtpkFimU->ChangeByPerson(EncodeDate(2026, 3, 30));
    EXPECT_EQ(w.DBGridAudUsers->RowCount(), 0);
    w.dtpkFimU->SetDate(TDateTime());
    w.dtpkInicioUChange(*w.dtpkFimU);
    EXPECT_EQ(w.DBGridAudUsers->RowCount(), 0);
  });
  EXPECT_TRUE(ui_.Messages().empty());
  // Closed, the window leaves qryAudit unfiltered.
  EXPECT_FALSE(Users->qryAudit.Filtered());
  EXPECT_EQ(Users->qryAudit.RecordCount(), 8);
}

TEST_P(AuditPageTest, ByProgramWithTheUsersNameEmptyOnceTheUserIsGone) {
  const int gone = AddUser("ze", "x");
  AddAudit(maria_, print_, "05/03/2026 10:00:00", "05/03/2026 10:01:00");
  AddAudit(gone, print_, "06/03/2026 10:00:00", "06/03/2026 10:01:00");
  AddAudit(joao_, open_, "06/03/2026 11:00:00", "06/03/2026 11:01:00");
  AddAudit(joao_, 999, "07/03/2026 11:00:00", "07/03/2026 11:01:00");  // no such program
  ExecWith("DELETE FROM QUARVEL WHERE USER_ID=:U", {{"U", gone}});
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    w.PageControl->SelectPageByPerson(w.tsAudit);
    w.pcAudit->SelectPageByPerson(w.tsAudProgs);
    w.dblkMenuCaption->ChooseByPerson(print_);
    EXPECT_EQ(Rows(*w.DBGridAudProgs),
              (std::vector<std::string>{"maria|05/03/2026 10:00:00", "|06/03/2026 10:00:00"}));
    // Back by user: joao's rows, the one of a program no longer catalogued
    // with an empty caption.
    w.pcAudit->SelectPageByPerson(w.tsAudUsers);
    w.dblkUserName->ChooseByPerson(joao_);
    EXPECT_EQ(Rows(*w.DBGridAudUsers),
              (std::vector<std::string>{"Abrir|06/03/2026 11:00:00", "|07/03/2026 11:00:00"}));
    // Leaving the page control takes the filter off.
    w.PageControl->SelectPageByPerson(w.tsUsers);
    EXPECT_FALSE(Users->qryAudit.Filtered());
    EXPECT_EQ(Users->qryAudit.RecordCount(), 4);
  });
}

TEST_P(AuditPageTest, EliminarDeletesExactlyTheSelectionWhereverTheCursorIs) {
  for (int day = 2; day <= 6; ++day) {
    const std::string date = DateText(2026, 3, day);
    AddAudit(maria_, day % 2 ? open_ : print_, date + " 09:00:00", date + " 09:30:00");
  }
  AddAudit(maria_, open_, "28/02/2026 09:00:00", "28/02/2026 09:30:00");  // before the period
  AddAudit(joao_, open_, "03/03/2026 09:00:00", "03/03/2026 09:30:00");
  AddAudit(maria_, open_, "03/03/2026 09:00:00", "03/03/2026 09:30:00", "OTHER");

  // No deletes nothing.
  ui_.AnswerMessages(mrNo);
  OnUserAuditAnd(maria_, [&](TUsersAdministration& w) { w.sbDeleteAuditUser->ClickByPerson(); });
  EXPECT_EQ(AuditCount(), 8);

  ui_.AnswerMessages(mrYes);
  OnUserAuditAnd(maria_, [&](TUsersAdministration& w) {
    ASSERT_EQ(w.DBGridAudUsers->RowCount(), 5);
    w.DBGridAudUsers->SelectRowByPerson(3);
    w.sbDeleteAuditUser->ClickByPerson();
  });
  ASSERT_EQ(ui_.Messages().size(), 2u);  // the two questions, nothing after
  EXPECT_EQ(ui_.Messages()[1].Text, "Eliminar informações de auditoria de maria no período selecionado?");
  EXPECT_EQ(AuditCount(), 3);
  EXPECT_EQ(AuditCount("START_SESSION='28/02/2026 09:00:00'"), 1);
  EXPECT_EQ(AuditCount("USER_ID=" + std::to_string(joao_)), 1);
  EXPECT_EQ(AuditCount("APP_KEY='OTHER'"), 1);

  // By program, an empty selection still asks, naming the program.
  ui_.AnswerMessages(mrYes);
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    w.PageControl->SelectPageByPerson(w.tsAudit);
    w.pcAudit->SelectPageByPerson(w.tsAudProgs);
    w.dblkMenuCaption->ChooseByPerson(print_);
    EXPECT_EQ(w.DBGridAudProgs->RowCount(), 0);
    w.sbDeleteAuditProg->ClickByPerson();
  });
  EXPECT_EQ(ui_.Messages().back().Text, "Eliminar informações de auditoria de Imprimir no período selecionado?");
  EXPECT_EQ(AuditCount(), 3);
}

QV_INSTANTIATE_ENGINES_AND_SECURED(AuditPageTest);

}  // namespace
}  // namespace qv::test
