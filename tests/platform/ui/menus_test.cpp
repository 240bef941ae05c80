// Main menus and their items.
#include <gtest/gtest.h>

#include "qvd3/platform/ui/menus.h"

namespace qv {
namespace {

struct MenuFixture : ::testing::Test {
  TComponent owner{nullptr};
  TMainMenu* menu = new TMainMenu(&owner);
  TMenuItem* Item(const char* name, const char* caption, TMenuItem* parent) {
    auto* item = new TMenuItem(&owner);
    item->SetName(name);
    item->SetCaption(caption);
    parent->Add(item);
    return item;
  }
};

TEST_F(MenuFixture, ClickRunsTheHandlerWithTheItemAsSenderOnlyWhenEnabled) {
  TMenuItem* file = Item("mnuFile", "&Arquivo", menu->Items());
  TMenuItem* open = Item("mnuOpen", "&Abrir...", file);
  TObject* sender = nullptr;
  int calls = 0;
  open->Click();  // no handler: nothing happens
  open->OnClick = [&](TObject& s) {
    sender = &s;
    ++calls;
  };
  open->Click();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(sender, open);
  open->SetEnabled(false);
  open->Click();
  EXPECT_EQ(calls, 1);
}

TEST_F(MenuFixture, HandlerCanBeStoredAndReplacedByAnInterceptor) {
  TMenuItem* file = Item("mnuFile", "Arquivo", menu->Items());
  std::vector<std::string> log;
  file->OnClick = [&](TObject&) { log.push_back("host"); };
  TNotifyEvent original = file->OnClick;
  file->OnClick = [&, original](TObject& s) {
    log.push_back("before");
    original(s);
    log.push_back("after");
  };
  file->Click();
  EXPECT_EQ(log, (std::vector<std::string>{"before", "host", "after"}));
}

TEST_F(MenuFixture, SubItemsKeepTheirOrderAndParent) {
  TMenuItem* file = Item("mnuFile", "Arquivo", menu->Items());
  TMenuItem* a = Item("mnuA", "A", file);
  TMenuItem* c = Item("mnuC", "C", file);
  auto* b = new TMenuItem(&owner);
  b->SetName("mnuB");
  file->Insert(1, b);
  ASSERT_EQ(file->Count(), 3);
  EXPECT_EQ((*file)[1], b);
  EXPECT_EQ(b->Parent(), file);
  EXPECT_EQ(file->Parent(), menu->Items());
  EXPECT_EQ(c->MenuIndex(), 2);
  EXPECT_EQ(c->Menu(), menu);
  file->Remove(a);
  EXPECT_EQ(file->Count(), 2);
  EXPECT_EQ(a->Parent(), nullptr);
  EXPECT_EQ(a->Menu(), nullptr);
  EXPECT_THROW(file->Items(2), ERangeError);
  EXPECT_THROW(b->Add(file), EInvalidOperation);
  EXPECT_EQ(menu->FindItem("MNUC"), c);
  EXPECT_EQ(menu->FindItem("mnuA"), nullptr);
}

TEST_F(MenuFixture, DestroyingAnItemTakesItsSubItemsAndLeavesItsParent) {
  TMenuItem* file = Item("mnuFile", "Arquivo", menu->Items());
  Item("mnuA", "A", file);
  Item("mnuB", "-", file);
  EXPECT_TRUE(file->Items(1)->IsLine());
  delete file;
  EXPECT_EQ(menu->Items()->Count(), 0);
  EXPECT_EQ(owner.FindComponent("mnuA"), nullptr);
}

TEST_F(MenuFixture, APersonCannotChooseAnItemUnderADisabledOrHiddenParent) {
  TMenuItem* file = Item("mnuFile", "Arquivo", menu->Items());
  TMenuItem* open = Item("mnuOpen", "Abrir", file);
  int calls = 0;
  open->OnClick = [&](TObject&) { ++calls; };
  EXPECT_TRUE(open->ChooseByPerson());
  file->SetVisible(false);
  EXPECT_FALSE(open->ChooseByPerson());
  file->SetVisible(true);
  file->SetEnabled(false);
  EXPECT_FALSE(open->ChooseByPerson());
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace qv
