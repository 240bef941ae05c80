// The headless backend: a scripted person at the keyboard, for tests.
//
//   THeadlessBackend ui;                       // installed until destroyed
//   ui.WhenShown("Login").Type("maria").Enter().Type("secret").Enter();
//   ui.WhenShown("Login").Escape();             // the second showing
//   ui.AnswerMessages(mrNo);                    // the next message box
//   ... run the code under test ...
//   EXPECT_EQ(ui.Forms()[0].Result, mrOk);
//
// Scripts are matched to a showing form by its Name or its class name; each
// showing of a form takes the next script queued for it. The actions run in
// order after the form has been activated. Failures throw (never hang):
//   - EFormStillWaiting: a modal form is still open when its script (or the
//     lack of one) leaves it with no result; the message names the form;
//   - EScriptError: an action names a control the form does not have (the
//     message names it), or a control of the wrong kind, a disabled menu
//     item, a script left with actions after its form closed;
//   - EUnansweredMessage: a message box with more than an OK button, or an
//     input query, that no scripted answer covers; the message quotes it.
// A message box whose only button is OK is answered OK when no answer is
// queued. Everything shown is recorded in order (Messages(), Forms()).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/platform/db/value.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/data_controls.h"

namespace qv {

class EScriptError : public EBackendFailure {
 public:
  using EBackendFailure::EBackendFailure;
};

class EFormStillWaiting : public EScriptError {
 public:
  explicit EFormStillWaiting(const std::string& formName);
  const std::string& FormName() const { return form_name_; }

 private:
  std::string form_name_;
};

class EUnansweredMessage : public EScriptError {
 public:
  using EScriptError::EScriptError;
};

// What one showing of a form does, built by chaining.
class TFormScript {
 public:
  using Action = std::function<void(TForm& form)>;

  // Types the UTF-8 text into the focused control, character by character.
  TFormScript& Type(const std::string& text);
  // Presses a key with modifiers.
  TFormScript& Press(Word key, TShiftState shift = {});
  TFormScript& Enter() { return Press(VK_RETURN); }
  TFormScript& Tab() { return Press(VK_TAB); }
  TFormScript& ShiftTab() { return Press(VK_TAB, {ssShift}); }
  TFormScript& Escape() { return Press(VK_ESCAPE); }
  // Alt and a letter or digit.
  TFormScript& Alt(char letter);
  // Clicks the control named `name` (any component of the form's tree).
  TFormScript& Click(const std::string& name);
  // Clicks the check box `name` when its state differs from `checked`.
  TFormScript& Tick(const std::string& name, bool checked = true);
  // Chooses item `index` of the radio group `name`.
  TFormScript& Choose(const std::string& name, int index);
  // Clicks the tab of the tab sheet `sheetName`.
  TFormScript& SelectPage(const std::string& sheetName);
  // Changes the date of the date picker `name`.
  TFormScript& PickDate(const std::string& name, TDateTime date);
  // Presses the mouse on node `absoluteIndex` of the tree view `name`, in
  // the middle of its label.
  TFormScript& ClickNode(const std::string& name, int absoluteIndex);
  // Presses the mouse at (x, y) of the tree view `name`, in the tree's
  // own coordinates (see tree_view.h), e.g. beside a node.
  TFormScript& PressTree(const std::string& name, int x, int y);
  // Clicks row `row` (1-based) of the grid `name`.
  TFormScript& ChooseRow(const std::string& name, int row);
  // Picks the item whose key is `key` from the lookup list `name`; the key
  // must be one of the list's items.
  TFormScript& ChooseLookup(const std::string& name, const qv::Value& key);
  // Picks the item shown as `text` from the lookup list `name`.
  TFormScript& ChooseLookupText(const std::string& name, const std::string& text);
  // Presses a button of the record navigator `name`; a button that is
  // hidden or disabled in the dataset's state is a script error.
  TFormScript& PressNavigator(const std::string& name, TNavigateBtn button);
  // Chooses the menu item `name` of the form's main menu.
  TFormScript& ChooseMenu(const std::string& name);
  // Closes the form with its close box.
  TFormScript& CloseBox();
  // Runs any code against the form (assertions in the middle of a dialog).
  TFormScript& Run(Action action);

 private:
  friend class THeadlessBackend;
  std::vector<Action> actions_;
};

struct TMessageRecord {
  int Seq = 0;  // order among all messages, queries and forms shown
  std::string Text;
  TMsgDlgType Type = mtCustom;
  TMsgDlgButtons Buttons;
  TModalResult Answer = mrNone;
};

struct TQueryRecord {
  int Seq = 0;
  std::string Caption;
  std::string Prompt;
  std::string Initial;
  bool Ok = false;
  std::string Answer;
};

struct TFormRecord {
  int Seq = 0;
  std::string Name;
  std::string ClassName;
  std::string Caption;  // as it stood when the showing ended
  bool Modal = true;
  TModalResult Result = mrNone;  // mrNone when the showing failed
};

class THeadlessBackend : public TBackend {
 public:
  // Installs this backend on the Application, clears a pending termination
  // request and resets the screen cursor; the destructor puts the previous
  // backend back.
  THeadlessBackend();
  ~THeadlessBackend() override;
  THeadlessBackend(const THeadlessBackend&) = delete;
  THeadlessBackend& operator=(const THeadlessBackend&) = delete;

  // Queues a script for the next not yet scripted showing of the form whose
  // Name or class name is `form`, and returns it for chaining.
  TFormScript& WhenShown(const std::string& form);
  // The next `count` message boxes are answered with `answer` (mrOk,
  // mrYes, mrNo...). An answer not among a box's buttons fails.
  void AnswerMessages(TModalResult answer, int count = 1);
  // The next input query is answered OK with `text`.
  void AnswerQuery(const std::string& text);
  // The next input query is cancelled.
  void CancelQuery();

  const std::vector<TMessageRecord>& Messages() const { return messages_; }
  const std::vector<TQueryRecord>& Queries() const { return queries_; }
  const std::vector<TFormRecord>& Forms() const { return forms_; }
  // Every cursor set through Screen, in order.
  const std::vector<TCursor>& Cursors() const { return cursors_; }
  // Scripts queued but never used, as "form name" entries.
  std::vector<std::string> UnusedScripts() const;

  void RunModal(TForm& form) override;
  TModalResult MessageBox(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
  void RunMainForm(TForm& form) override;
  void CursorChanged(TCursor cursor) override { cursors_.push_back(cursor); }

 private:
  struct QueryAnswer {
    bool ok;
    std::string text;
  };
  std::unique_ptr<TFormScript> TakeScript(const TForm& form);
  void RunScript(TForm& form, TFormScript* script, bool modal);

  TBackend* previous_;
  std::map<std::string, std::deque<std::unique_ptr<TFormScript>>> scripts_;
  std::deque<TModalResult> message_answers_;
  std::deque<QueryAnswer> query_answers_;
  std::vector<TMessageRecord> messages_;
  std::vector<TQueryRecord> queries_;
  std::vector<TFormRecord> forms_;
  std::vector<TCursor> cursors_;
  int seq_ = 0;
};

// The component named `name` inside `root`: searched among the components
// root owns and, depth first, among the components they own. nullptr when
// there is none.
TComponent* FindComponentDeep(TComponent& root, std::string_view name);

}  // namespace qv
