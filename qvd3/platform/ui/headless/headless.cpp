#include "qvd3/platform/ui/headless/headless.h"

#include <cctype>

#include "qvd3/platform/sys/text_case.h"
#include "qvd3/platform/ui/date_picker.h"
#include "qvd3/platform/ui/menus.h"
#include "qvd3/platform/ui/pages.h"
#include "qvd3/platform/ui/standard_controls.h"
#include "qvd3/platform/ui/tree_view.h"

namespace qv {

namespace {


std::string FormLabel(const TForm& form) { return form.Name().empty() ? form.ClassName() : form.Name(); }

// The component `name` of the form, as a T; a clear script error when the
// form has no such component or it is of another kind.
template <class T>
T& Find(TForm& form, const std::string& name, const char* kind) {
  TComponent* found = FindComponentDeep(form, name);
  if (found == nullptr) throw EScriptError("Form " + FormLabel(form) + " has no control named " + name);
  auto* typed = dynamic_cast<T*>(found);
  if (typed == nullptr) throw EScriptError("Control " + name + " of form " + FormLabel(form) + " is not a " + kind);
  return *typed;
}

}  // namespace

TComponent* FindComponentDeep(TComponent& root, std::string_view name) {
  if (TComponent* direct = root.FindComponent(name)) return direct;
  for (int i = 0; i < root.ComponentCount(); ++i)
    if (TComponent* found = FindComponentDeep(*root.Components(i), name)) return found;
  return nullptr;
}

EFormStillWaiting::EFormStillWaiting(const std::string& formName)
    : EScriptError("Form " + formName + " is still waiting for the person: its script ended without closing it"),
      form_name_(formName) {}

// ---- TFormScript ----

TFormScript& TFormScript::Type(const std::string& text) {
  return Run([text](TForm& form) { form.TypeText(text); });
}

TFormScript& TFormScript::Press(Word key, TShiftState shift) {
  return Run([key, shift](TForm& form) { form.KeyDown(key, shift); });
}

TFormScript& TFormScript::Alt(char letter) {
  Word key = static_cast<Word>(std::toupper(static_cast<unsigned char>(letter)));
  return Press(key, {ssAlt});
}

TFormScript& TFormScript::Click(const std::string& name) {
  return Run([name](TForm& form) { Find<TControl>(form, name, "control").ClickByPerson(); });
}

TFormScript& TFormScript::Tick(const std::string& name, bool checked) {
  return Run([name, checked](TForm& form) {
    auto& box = Find<TCheckBox>(form, name, "check box");
    if (box.Checked() == checked) return;
    box.ClickByPerson();
    if (box.Checked() != checked && form.Showing() && form.ModalResult() == mrNone)
      throw EScriptError("Check box " + name + " of form " + FormLabel(form) + " cannot be changed by the person");
  });
}

TFormScript& TFormScript::Choose(const std::string& name, int index) {
  return Run([name, index](TForm& form) {
    auto& group = Find<TRadioGroup>(form, name, "radio group");
    if (index < 0 || index >= group.Items().Count())
      throw EScriptError("Radio group " + name + " has no item " + std::to_string(index));
    group.ChooseByPerson(index);
  });
}

TFormScript& TFormScript::SelectPage(const std::string& sheetName) {
  return Run([sheetName](TForm& form) {
    auto& sheet = Find<TTabSheet>(form, sheetName, "tab sheet");
    if (sheet.PageControl() == nullptr) throw EScriptError("Tab sheet " + sheetName + " is on no page control");
    sheet.PageControl()->SelectPageByPerson(&sheet);
  });
}

TFormScript& TFormScript::PickDate(const std::string& name, TDateTime date) {
  return Run([name, date](TForm& form) { Find<TDateTimePicker>(form, name, "date picker").ChangeByPerson(date); });
}

TFormScript& TFormScript::ClickNode(const std::string& name, int absoluteIndex) {
  return Run([name, absoluteIndex](TForm& form) {
    auto& tree = Find<TTreeView>(form, name, "tree view");
    if (absoluteIndex < 0 || absoluteIndex >= tree.Items().Count())
      throw EScriptError("Tree view " + name + " has no node " + std::to_string(absoluteIndex));
    TRect r = tree.DisplayRect(tree.Items()[absoluteIndex], true);
    if (r.Right <= r.Left) throw EScriptError("Node " + std::to_string(absoluteIndex) + " of " + name + " is not shown");
    tree.MouseDownByPerson(mbLeft, {}, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  });
}

TFormScript& TFormScript::PressTree(const std::string& name, int x, int y) {
  return Run([name, x, y](TForm& form) { Find<TTreeView>(form, name, "tree view").MouseDownByPerson(mbLeft, {}, x, y); });
}

TFormScript& TFormScript::ChooseRow(const std::string& name, int row) {
  return Run([name, row](TForm& form) {
    auto& grid = Find<TDBGrid>(form, name, "grid");
    if (row < 1 || row > grid.RowCount())
      throw EScriptError("Grid " + name + " has no row " + std::to_string(row));
    grid.SelectRowByPerson(row);
  });
}

namespace {

void ChooseLookupItem(TForm& form, const std::string& name, const std::function<bool(const TLookupItem&)>& match,
                      const std::string& what) {
  auto& box = Find<TDBLookupComboBox>(form, name, "lookup list");
  for (const TLookupItem& item : box.ListItems())
    if (match(item)) {
      box.ChooseByPerson(item.Key);
      return;
    }
  throw EScriptError("Lookup list " + name + " has no item " + what);
}

}  // namespace

TFormScript& TFormScript::ChooseLookup(const std::string& name, const qv::Value& key) {
  return Run([name, key](TForm& form) {
    ChooseLookupItem(form, name, [&](const TLookupItem& item) { return item.Key == key; }, "with key " + key.AsString());
  });
}

TFormScript& TFormScript::ChooseLookupText(const std::string& name, const std::string& text) {
  return Run([name, text](TForm& form) {
    ChooseLookupItem(form, name, [&](const TLookupItem& item) { return item.Text == text; }, "\"" + text + "\"");
  });
}

TFormScript& TFormScript::PressNavigator(const std::string& name, TNavigateBtn button) {
  return Run([name, button](TForm& form) {
    auto& navigator = Find<TDBNavigator>(form, name, "record navigator");
    if (!navigator.ButtonEnabled(button))
      throw EScriptError("Button " + std::to_string(static_cast<int>(button)) + " of navigator " + name +
                         " cannot be pressed now");
    navigator.ClickButtonByPerson(button);
  });
}

TFormScript& TFormScript::ChooseMenu(const std::string& name) {
  return Run([name](TForm& form) {
    TMenuItem* item = form.Menu() != nullptr ? form.Menu()->FindItem(name) : nullptr;
    if (item == nullptr) throw EScriptError("Form " + FormLabel(form) + " has no menu item named " + name);
    if (!item->ChooseByPerson())
      throw EScriptError("Menu item " + name + " cannot be chosen: it or a parent is disabled or hidden");
  });
}

TFormScript& TFormScript::CloseBox() {
  return Run([](TForm& form) { form.CloseByPerson(); });
}

TFormScript& TFormScript::Run(Action action) {
  actions_.push_back(std::move(action));
  return *this;
}

// ---- THeadlessBackend ----

THeadlessBackend::THeadlessBackend() {
  Application.ClearTerminated();
  Screen.SetCursor(crDefault);
  previous_ = Application.SetBackend(this);
}

THeadlessBackend::~THeadlessBackend() {
  Application.SetBackend(previous_);
  Screen.SetCursor(crDefault);
  Application.ClearTerminated();
}

TFormScript& THeadlessBackend::WhenShown(const std::string& form) {
  auto& queue = scripts_[form];
  queue.push_back(std::make_unique<TFormScript>());
  return *queue.back();
}

void THeadlessBackend::AnswerMessages(TModalResult answer, int count) {
  for (int i = 0; i < count; ++i) message_answers_.push_back(answer);
}

void THeadlessBackend::AnswerQuery(const std::string& text) { query_answers_.push_back({true, text}); }

void THeadlessBackend::CancelQuery() { query_answers_.push_back({false, {}}); }

std::vector<std::string> THeadlessBackend::UnusedScripts() const {
  std::vector<std::string> out;
  for (const auto& [name, queue] : scripts_)
    for (std::size_t i = 0; i < queue.size(); ++i) out.push_back(name);
  return out;
}

// The next script queued under the form's Name, else under its class name.
std::unique_ptr<TFormScript> THeadlessBackend::TakeScript(const TForm& form) {
  for (const std::string& key : {form.Name(), form.ClassName()}) {
    if (key.empty()) continue;
    for (auto& [name, queue] : scripts_)
      if (SameText(name, key) && !queue.empty()) {
        auto script = std::move(queue.front());
        queue.pop_front();
        return script;
      }
  }
  return nullptr;
}

// Runs the actions as the backend's event loop would deliver them: an error
// a handler raises goes to the application's error display and the form
// stays up; the showing stops as soon as the form is done.
void THeadlessBackend::RunScript(TForm& form, TFormScript* script, bool modal) {
  auto done = [&] { return modal ? form.ModalEnded() : (!form.Showing() || Application.Terminated()); };
  if (script == nullptr) return;
  const auto& actions = script->actions_;
  for (std::size_t i = 0; i < actions.size(); ++i) {
    if (done())
      throw EScriptError("Form " + FormLabel(form) + " closed with " + std::to_string(actions.size() - i) +
                         " script action(s) left");
    try {
      actions[i](form);
    } catch (const EBackendFailure&) {
      throw;
    } catch (const std::exception& error) {
      Application.HandleException(error);
    }
  }
}

void THeadlessBackend::RunModal(TForm& form) {
  std::size_t index = forms_.size();
  forms_.push_back({++seq_, form.Name(), form.ClassName(), form.Caption(), true, mrNone});
  std::unique_ptr<TFormScript> script = TakeScript(form);
  RunScript(form, script.get(), true);
  if (!form.ModalEnded()) throw EFormStillWaiting(FormLabel(form));
  forms_[index].Caption = form.Caption();
  forms_[index].Result = form.ModalResult();
}

void THeadlessBackend::RunMainForm(TForm& form) {
  std::size_t index = forms_.size();
  forms_.push_back({++seq_, form.Name(), form.ClassName(), form.Caption(), false, mrNone});
  std::unique_ptr<TFormScript> script = TakeScript(form);
  RunScript(form, script.get(), false);
  forms_[index].Caption = form.Caption();
}

TModalResult THeadlessBackend::MessageBox(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  TMessageRecord record{++seq_, text, type, buttons, mrNone};
  const bool okOnly = buttons == TMsgDlgButtons{mbOK};
  auto offers = [&](TModalResult answer) {
    for (int b = mbYes; b <= mbHelp; ++b)
      if (buttons.Contains(static_cast<TMsgDlgBtn>(b)) && ModalResultOf(static_cast<TMsgDlgBtn>(b)) == answer)
        return true;
    return false;
  };
  if (okOnly) {
    // A lone OK box is answered OK; it takes a queued answer only when
    // that answer is OK, so answers meant for questions stay queued.
    if (!message_answers_.empty() && message_answers_.front() == mrOk) message_answers_.pop_front();
    record.Answer = mrOk;
  } else if (!message_answers_.empty()) {
    TModalResult answer = message_answers_.front();
    message_answers_.pop_front();
    if (!offers(answer)) {
      messages_.push_back(record);
      throw EScriptError("Message box \"" + text + "\" has no button for the scripted answer " +
                         std::to_string(answer));
    }
    record.Answer = answer;
  } else {
    messages_.push_back(record);
    throw EUnansweredMessage("Unanswered message box: \"" + text + "\"");
  }
  messages_.push_back(record);
  return record.Answer;
}

bool THeadlessBackend::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  TQueryRecord record{++seq_, caption, prompt, value, false, {}};
  if (query_answers_.empty()) {
    queries_.push_back(record);
    throw EUnansweredMessage("Unanswered input query: \"" + caption + "\" / \"" + prompt + "\"");
  }
  QueryAnswer answer = query_answers_.front();
  query_answers_.pop_front();
  record.Ok = answer.ok;
  record.Answer = answer.ok ? answer.text : value;
  queries_.push_back(record);
  if (answer.ok) value = answer.text;
  return answer.ok;
}

}  // namespace qv
