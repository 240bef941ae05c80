// Ownership, names, free notifications and reading a form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv {
namespace {

// Logs its destruction and its Loaded call; its Key setter refuses changes
// once loading is over, as the security component's key does.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::string id, std::vector<std::string>& log)
      : TComponent(owner), id_(std::move(id)), log_(log) {}
  ~Probe() override { log_.push_back("~" + id_); }
  void Loaded() override { log_.push_back("Loaded " + id_ + (Loading() ? " (still loading)" : "")); }
  void SetKey(const std::string& key) {
    log_.push_back("SetKey " + id_ + (Loading() ? " loading" : " runtime"));
    if (!Loading() && !Designing()) throw Exception("Key cannot be modified at runtime.");
    key_ = key;
  }
  const std::string& Key() const { return key_; }

 private:
  std::string id_;
  std::vector<std::string>& log_;
  std::string key_;
};

TEST(Ownership, OwnerDestroysItsComponentsInReverseCreationOrder) {
  std::vector<std::string> log;
  {
    TComponent owner(nullptr);
    new Probe(&owner, "a", log);
    auto* b = new Probe(&owner, "b", log);
    new Probe(b, "b1", log);
    new Probe(&owner, "c", log);
    EXPECT_EQ(owner.ComponentCount(), 3);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"~c", "~b", "~b1", "~a"}));
}

TEST(Ownership, ComponentDestroyedEarlyLeavesItsOwner) {
  std::vector<std::string> log;
  TComponent owner(nullptr);
  auto* a = new Probe(&owner, "a", log);
  auto* b = new Probe(&owner, "b", log);
  a->SetName("First");
  delete a;
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), b);
  EXPECT_EQ(owner.FindComponent("First"), nullptr);
}

TEST(Names, UniqueAmongTheOwnersComponentsIgnoringCase) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->SetName("mnuFile");
  EXPECT_EQ(owner.FindComponent("MNUFILE"), a);
  EXPECT_THROW(b->SetName("MnuFile"), EComponentError);
  EXPECT_EQ(b->Name(), "");
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  EXPECT_THROW(b->SetName("a b"), EComponentError);
  b->SetName("mnuEdit");
  a->SetName("mnuFile");  // renaming to its own name is fine
  EXPECT_EQ(owner.FindComponent("mnuEdit"), b);
  TComponent other(nullptr);
  (new TComponent(&other))->SetName("mnuFile");  // another owner may reuse it
}

TEST(Ownership, FreeNotificationDropsAReferenceToADestroyedControl) {
  TForm form(nullptr);
  auto* label = new TLabel(&form);
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  label->SetFocusControl(edit);
  delete edit;
  EXPECT_EQ(label->FocusControl(), nullptr);
}

TEST(Ownership, DestroyingAFocusedControlClearsTheActiveControl) {
  TForm form(nullptr);
  auto* panel = new TPanel(&form);
  panel->SetParent(&form);
  auto* edit = new TEdit(&form);
  edit->SetParent(panel);
  edit->SetFocus();
  ASSERT_EQ(form.ActiveControl(), edit);
  delete panel;  // takes the edit it holds with it
  EXPECT_EQ(form.ActiveControl(), nullptr);
  EXPECT_EQ(form.ComponentCount(), 0);
}

TEST(Reading, PropertiesAreAssignedWhileLoadingThenLoadedRunsInCreationOrder) {
  std::vector<std::string> log;
  TComponent root(nullptr);
  Probe* first = nullptr;
  ReadComponent(root, [&] {
    EXPECT_TRUE(root.Loading());
    first = new Probe(&root, "first", log);
    auto* second = new Probe(&root, "second", log);
    auto* nested = new Probe(second, "nested", log);
    first->SetKey("APP");
    nested->SetKey("X");
  });
  EXPECT_FALSE(root.Loading());
  EXPECT_EQ(log, (std::vector<std::string>{"SetKey first loading", "SetKey nested loading", "Loaded first",
                                           "Loaded second", "Loaded nested"}));
  EXPECT_EQ(first->Key(), "APP");
  EXPECT_THROW(first->SetKey("APP"), Exception);
  EXPECT_EQ(first->Key(), "APP");
}

TEST(Reading, ComponentsCreatedAfterReadingAreNotLoading) {
  std::vector<std::string> log;
  TComponent root(nullptr);
  ReadComponent(root, [] {});
  auto* late = new Probe(&root, "late", log);
  EXPECT_FALSE(late->Loading());
  EXPECT_TRUE(log.empty());
}

TEST(Reading, AFailingLoadedStopsTheRestButLeavesNothingLoading) {
  std::vector<std::string> log;
  struct Failing : TComponent {
    using TComponent::TComponent;
    void Loaded() override { throw Exception("Missing Menu property in Quarvel1"); }
  };
  TComponent root(nullptr);
  Probe* after = nullptr;
  EXPECT_THROW(ReadComponent(root,
                             [&] {
                               new Failing(&root);
                               after = new Probe(&root, "after", log);
                             }),
               Exception);
  EXPECT_FALSE(root.Loading());
  EXPECT_FALSE(after->Loading());
  EXPECT_TRUE(log.empty());
}

TEST(Reading, ReadFormRunsOnCreateAfterLoaded) {
  std::vector<std::string> log;
  TForm form(nullptr);
  ReadForm(form, [&] {
    new Probe(&form, "p", log);
    form.OnCreate = [&](TObject&) { log.push_back("OnCreate"); };
  });
  EXPECT_EQ(log, (std::vector<std::string>{"Loaded p", "OnCreate"}));
}

TEST(Reading, DesigningPassesToComponentsCreatedLater) {
  TComponent root(nullptr);
  root.SetDesigning(true);
  auto* child = new TComponent(&root);
  EXPECT_TRUE(child->Designing());
}

TEST(Casting, AsRaisesInvalidCastForTheWrongClass) {
  TComponent plain(nullptr);
  TForm form(nullptr);
  EXPECT_THROW(As<TForm>(plain), EInvalidCast);
  EXPECT_EQ(&As<TForm>(form), &form);
  EXPECT_EQ(form.ClassName(), "TForm");
}

}  // namespace
}  // namespace qv
