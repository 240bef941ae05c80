#include "qvd3/platform/ui/qt/qt_form_view.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/standard_controls.h"
#include "qvd3/platform/ui/qt/qt_backend.h"
#include "qvd3/platform/ui/qt/qt_widgets.h"

namespace qv::qt_detail {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The window flags that give the form's border and border icons.
Qt::WindowFlags FlagsFor(const TForm& form) {
  const TBorderIcons icons = form.BorderIcons();
  Qt::WindowFlags flags;
  switch (form.BorderStyle()) {
    case bsNone: return Qt::Window | Qt::FramelessWindowHint;
    case bsDialog: flags = Qt::Dialog; break;
    case bsToolWindow:
    case bsSizeToolWin: flags = Qt::Tool; break;
    default: flags = Qt::Window; break;
  }
  flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (icons.Contains(biSystemMenu)) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (form.BorderStyle() != bsDialog) {
    if (icons.Contains(biMinimize)) flags |= Qt::WindowMinimizeButtonHint;
    if (icons.Contains(biMaximize)) flags |= Qt::WindowMaximizeButtonHint;
  }
  if (icons.Contains(biHelp)) flags |= Qt::WindowContextHelpButtonHint;
  return flags;
}

bool Resizable(const TForm& form) {
  return form.BorderStyle() == bsSizeable || form.BorderStyle() == bsSizeToolWin;
}

}  // namespace

TFormView::TFormView(TQtBackend& backend, TForm& form)
    : backend_(backend), form_(form), context_(std::make_unique<QObject>()) {
  window_ = new QWidget(nullptr);
  window_->setAttribute(Qt::WA_DeleteOnClose, false);
  window_->setFocusPolicy(Qt::NoFocus);
  layout_ = new QVBoxLayout(window_);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(0);
  client_ = new QWidget(window_);
  client_->setFocusPolicy(Qt::NoFocus);
  layout_->addWidget(client_);
  Adopt(form_);
  widgets_[&form_] = client_;
  SyncWindow();
  SyncChildren(form_);
}

TFormView::~TFormView() {
  context_.reset();
  for (TComponent* component : adopted_) component->SetPeer(nullptr);
  adopted_.clear();
  // Deleted later: the view may go while an event of its window is still
  // being handled further up the stack.
  if (window_) {
    window_->hide();
    window_->deleteLater();
  }
}

void TFormView::Adopt(TComponent& component) {
  if (component.Peer() == this) return;
  component.SetPeer(this);
  adopted_.push_back(&component);
}

QWidget* TFormView::WidgetOf(const TComponent* component) const {
  auto it = widgets_.find(component);
  return it == widgets_.end() ? nullptr : it->second.data();
}

QAction* TFormView::ActionOf(const TMenuItem* item) const {
  auto it = actions_.find(item);
  return it == actions_.end() ? nullptr : it->second.data();
}

TControl* TFormView::ControlAt(const QObject* object) const {
  for (const QObject* o = object; o != nullptr && o != window_; o = o->parent()) {
    auto it = controls_.find(o);
    if (it != controls_.end()) return it->second;
  }
  return nullptr;
}

bool TFormView::InMenuBar(const QObject* object) const {
  for (const QObject* o = object; o != nullptr; o = o->parent())
    if (o == bar_ && bar_ != nullptr) return true;
  return false;
}

bool TFormView::MenuClaims(char32_t upper) const {
  TMainMenu* menu = form_.Menu();
  if (menu == nullptr || bar_ == nullptr) return false;
  TMenuItem* root = menu->Items();
  for (int i = 0; i < root->Count(); ++i) {
    TMenuItem* item = root->Items(i);
    if (item->Visible() && item->Enabled() && GetHotkey(item->Caption()) == upper) return true;
  }
  return false;
}

void TFormView::Show() {
  SyncGuard guard(*this);
  SyncWindow();
  SyncChildren(form_);
  SyncMenu();
  window_->setWindowModality(form_.Modal() ? Qt::ApplicationModal : Qt::NonModal);
  SyncGeometry();
  // Placement once the size is known (the menu bar adds to it).
  const QSize frame = window_->size();
  QPoint at(form_.Left(), form_.Top());
  QRect area = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry() : QRect();
  switch (form_.Position()) {
    case poScreenCenter:
    case poDesktopCenter:
      at = area.center() - QPoint(frame.width() / 2, frame.height() / 2);
      break;
    case poMainFormCenter:
    case poOwnerFormCenter:
      if (TForm* main = Application.MainForm(); main != nullptr && main != &form_) {
        if (QWidget* mainWindow = backend_.WindowOf(*main)) {
          at = mainWindow->geometry().center() - QPoint(frame.width() / 2, frame.height() / 2);
          break;
        }
      }
      at = area.center() - QPoint(frame.width() / 2, frame.height() / 2);
      break;
    default:
      break;
  }
  if (form_.Position() != poDefault) window_->move(at);
  window_->show();
  if (QGuiApplication::platformName() != "offscreen") window_->raise();
  window_->activateWindow();
  SyncFocus();
}

// ---- peer notifications ----

void TFormView::Changed(TComponent& component, TChange what) {
  SyncGuard guard(*this);
  if (&component == &form_) {
    switch (what) {
      case chVisible:
        // Showing is done by the backend's loops; the model only tells
        // when the showing is over.
        if (!form_.Showing()) window_->hide();
        return;
      case chFocus: SyncFocus(); return;
      case chChildren: SyncChildren(form_); return;
      case chBounds: SyncGeometry(); return;
      case chModalResult:
        // A result set by code outside the person's actions (a timer) must
        // end the showing too; looked at once the handler has returned.
        QTimer::singleShot(0, window_, [backend = &backend_] { backend->AfterAction(); });
        return;
      default: SyncWindow(); return;
    }
  }
  if (auto* item = dynamic_cast<TMenuItem*>(&component)) {
    RefreshMenuItem(*item);
    return;
  }
  if (dynamic_cast<TMainMenu*>(&component) != nullptr) {
    SyncMenu();
    return;
  }
  if (auto* control = dynamic_cast<TControl*>(&component)) {
    if (what == chChildren || what == chItems) {
      if (auto* container = dynamic_cast<TWinControl*>(control)) SyncChildren(*container);
    }
    Refresh(*control, what);
  }
}

void TFormView::Destroying(TComponent& component) {
  adopted_.erase(std::remove(adopted_.begin(), adopted_.end(), &component), adopted_.end());
  if (pressed_ == &component) pressed_ = nullptr;
  if (focused_ == &component) focused_ = nullptr;
  if (&component == &form_) {
    backend_.ViewDestroyed(form_);  // deletes this view
    return;
  }
  if (auto it = actions_.find(&component); it != actions_.end()) {
    if (QAction* action = it->second) {
      action->disconnect();
      action->setVisible(false);
    }
    actions_.erase(it);
  }
  if (&component == built_menu_) {
    built_menu_ = nullptr;
    built_shape_.clear();
    if (bar_ != nullptr) bar_->clear();
  }
  auto it = widgets_.find(&component);
  if (it == widgets_.end()) return;
  QWidget* widget = it->second;
  widgets_.erase(it);
  if (widget == nullptr) return;
  controls_.erase(widget);
  widget->hide();
  widget->deleteLater();
}

// ---- window ----

void TFormView::SyncWindow() {
  window_->setWindowTitle(Q(form_.Caption()));
  const TFont& font = form_.Font();
  QFont qfont(Q(font.Name));
  qfont.setPixelSize(font.Height < 0 ? -font.Height : std::max(1, font.Height * 4 / 5));
  qfont.setBold(font.Bold);
  window_->setFont(qfont);
  const Qt::WindowFlags flags = FlagsFor(form_);
  if (window_->windowFlags() != flags) window_->setWindowFlags(flags);
  if (form_.Menu() != built_menu_) SyncMenu();
  SyncGeometry();
}

void TFormView::SyncGeometry() {
  SyncGuard guard(*this);
  const QSize client(std::max(form_.ClientWidth(), 1), std::max(form_.ClientHeight(), 1));
  const int barHeight = (bar_ != nullptr && bar_->isVisibleTo(window_)) ? bar_->sizeHint().height() : 0;
  if (Resizable(form_)) {
    layout_->setSizeConstraint(QLayout::SetDefaultConstraint);
    client_->setMinimumSize(0, 0);
    client_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window_->setMinimumSize(0, 0);
    window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window_->resize(client.width(), client.height() + barHeight);
  } else {
    client_->setFixedSize(client);
    window_->setFixedSize(client.width(), client.height() + barHeight);
  }
  client_->resize(client);
}

void TFormView::SyncFocus() {
  TControl* focused = form_.ActiveControl();
  QWidget* widget = focused != nullptr ? WidgetOf(focused) : nullptr;
  // The focused control draws its focus ring: Qt shows rings only once the
  // keyboard has moved the focus, and here the model always moves it.
  window_->setAttribute(Qt::WA_KeyboardFocusChange, true);
  if (widget != nullptr) {
    widget->setFocus(Qt::OtherFocusReason);
  } else if (window_->focusWidget() != nullptr) {
    window_->focusWidget()->clearFocus();
  }
  if (focused != focused_) {
    TControl* previous = focused_;
    focused_ = focused;
    if (previous != nullptr) Refresh(*previous, chFocus);
    if (focused != nullptr) Refresh(*focused, chFocus);
  }
}

// ---- controls ----

QWidget* TFormView::ContainerWidget(TWinControl& container) const {
  QWidget* widget = WidgetOf(&container);
  if (widget == nullptr) return nullptr;
  if (&container == &form_) return client_;
  return ChildArea(*widget);
}

void TFormView::SyncChildren(TWinControl& container) {
  QWidget* area = ContainerWidget(container);
  if (area == nullptr) return;
  for (int i = 0; i < container.ControlCount(); ++i) {
    TControl* child = container.Controls(i);
    QWidget* widget = WidgetOf(child);
    if (widget == nullptr) {
      widget = CreateWidget(*child, area);
    } else if (widget->parentWidget() != area) {
      widget->setParent(area);
    }
    Refresh(*child, chAppearance);
    if (auto* inner = dynamic_cast<TWinControl*>(child)) SyncChildren(*inner);
  }
  // Widgets whose control left this container (and went nowhere yet) are
  // hidden until the control is placed again or destroyed.
  for (QObject* object : area->children()) {
    auto* widget = qobject_cast<QWidget*>(object);
    auto it = controls_.find(object);
    if (widget == nullptr || it == controls_.end()) continue;
    if (it->second->Parent() != &container) widget->hide();
  }
  RefreshChildArea(container, *WidgetOf(&container));
}

QWidget* TFormView::CreateWidget(TControl& control, QWidget* parent) {
  Adopt(control);
  QWidget* widget = MakeWidget(control, parent, [this](const std::function<void()>& action) {
    backend_.Deliver(action);
    backend_.AfterAction();
  });
  widget->setFocusPolicy(Qt::NoFocus);
  widget->setContextMenuPolicy(Qt::PreventContextMenu);
  for (QWidget* inner : widget->findChildren<QWidget*>()) inner->setFocusPolicy(Qt::NoFocus);
  widgets_[&control] = widget;
  controls_[widget] = &control;
  QObject::connect(widget, &QObject::destroyed, context_.get(), [this, widget] { controls_.erase(widget); });
  return widget;
}

// A hint shows when the control or one of its parents (the form too) asks
// for hints, as a parent's ShowHint is inherited.
static bool HintShown(const TControl& control) {
  for (const TControl* c = &control; c != nullptr; c = c->Parent())
    if (c->ShowHint()) return true;
  return false;
}

void TFormView::Refresh(TControl& control, TChange what) {
  QWidget* widget = WidgetOf(&control);
  if (widget == nullptr) return;
  SyncGuard guard(*this);
  if (what == chFocus) {
    // A grid shows its selection only while focused (unless told always).
    if (dynamic_cast<TDBGrid*>(&control) != nullptr) RefreshWidget(control, *widget, what, {});
    return;
  }
  // A size of 0 leaves the widget its natural size (labels, edits). A
  // label is never smaller than its text in the window's font, so the
  // accelerator underline and the descenders show whatever face the font
  // resolves to.
  const QSize hint = widget->sizeHint();
  int width = control.Width() > 0 ? control.Width() : hint.width();
  int height = control.Height() > 0 ? control.Height() : hint.height();
  if (dynamic_cast<TLabel*>(&control) != nullptr) {
    width = std::max(width, hint.width());
    height = std::max(height, hint.height());
  }
  widget->setGeometry(control.Left(), control.Top(), width, height);
  widget->setEnabled(control.Enabled());
  widget->setToolTip(HintShown(control) ? Q(control.Hint()) : QString());
  RefreshWidget(control, *widget, what, [this](char32_t ch) { return PasswordStyle(ch); });
  widget->setVisible(control.Visible());
}

QStyle* TFormView::PasswordStyle(char32_t ch) {
  auto it = password_styles_.find(ch);
  if (it != password_styles_.end()) return it->second;
  QStyle* style = MakePasswordStyle(ch, window_);
  password_styles_[ch] = style;
  return style;
}

// ---- menu ----

// The menu's structure as built: each item with its parent and whether it
// is a line or a sub-menu. A change of structure rebuilds the bar; a
// change of caption or state only refreshes the item's action.
std::vector<const void*> TFormView::MenuShape() const {
  std::vector<const void*> shape;
  TMainMenu* menu = form_.Menu();
  if (menu == nullptr) return shape;
  shape.push_back(menu);
  std::vector<const TMenuItem*> stack{menu->Items()};
  while (!stack.empty()) {
    const TMenuItem* item = stack.back();
    stack.pop_back();
    shape.push_back(item);
    shape.push_back(item->Parent());
    shape.push_back(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(item->IsLine() ? 1 : 0) +
                                                  (item->Count() > 0 ? 2 : 0)));
    for (int i = item->Count() - 1; i >= 0; --i) stack.push_back(item->Items(i));
  }
  return shape;
}

void TFormView::SyncMenu() {
  TMainMenu* menu = form_.Menu();
  std::vector<const void*> shape = MenuShape();
  if (menu == built_menu_ && shape == built_shape_) return;
  if (bar_ == nullptr && menu != nullptr) {
    bar_ = new QMenuBar(window_);
    bar_->setNativeMenuBar(false);
    layout_->setMenuBar(bar_);
  }
  if (bar_ != nullptr) {
    // Old menus go later: one of their actions may be the one triggered
    // right now.
    for (QAction* action : bar_->actions()) {
      action->disconnect();
      if (QMenu* sub = action->menu()) sub->deleteLater();
      bar_->removeAction(action);
      if (action->parent() == bar_) action->deleteLater();
    }
  }
  for (auto& [item, action] : actions_)
    if (action) action->disconnect();
  actions_.clear();
  built_menu_ = menu;
  built_shape_ = std::move(shape);
  if (menu == nullptr) {
    if (bar_ != nullptr) bar_->hide();
    SyncGeometry();
    return;
  }
  Adopt(*menu);
  TMenuItem* root = menu->Items();
  Adopt(*root);
  for (int i = 0; i < root->Count(); ++i) AddMenuItem(*bar_, *root->Items(i));
  bar_->show();
  SyncGeometry();
}

void TFormView::AddMenuItem(QWidget& container, TMenuItem& item) {
  Adopt(item);
  QAction* action = nullptr;
  if (item.IsLine()) {
    action = new QAction(&container);
    action->setSeparator(true);
    container.addAction(action);
  } else if (item.Count() > 0) {
    auto* sub = new QMenu(&container);
    action = sub->menuAction();
    container.addAction(action);
    for (int i = 0; i < item.Count(); ++i) AddMenuItem(*sub, *item.Items(i));
  } else {
    action = new QAction(&container);
    TMenuItem* target = &item;
    QObject::connect(action, &QAction::triggered, context_.get(), [this, target] {
      backend_.Deliver([target] { target->ChooseByPerson(); });
      backend_.AfterAction();
    });
    container.addAction(action);
  }
  actions_[&item] = action;
  RefreshMenuItem(item);
}

void TFormView::RefreshMenuItem(TMenuItem& item) {
  QAction* action = ActionOf(&item);
  if (action == nullptr) {
    SyncMenu();
    return;
  }
  if (!item.IsLine()) {
    action->setText(Q(item.Caption()));
    if (QMenu* sub = action->menu()) sub->setTitle(Q(item.Caption()));
  }
  action->setEnabled(item.Enabled());
  action->setVisible(item.Visible());
  action->setCheckable(item.Checked());
  action->setChecked(item.Checked());
  action->setStatusTip(Q(item.Hint()));
}

}  // namespace qv::qt_detail
