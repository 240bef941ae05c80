// TFormView: the Qt window of one model form and the peer of every
// component on it. Internal to the Qt backend.
//
// The view builds a widget for each control the first time the form is
// shown, keeps it in step with the control through peer notifications and
// maps widgets back to controls so that the backend's event router can hand
// the person's actions to the right control. It lives until the form is
// destroyed or the backend goes away.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <unordered_map>
#include <vector>

#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/menus.h"
#include "qvd3/platform/ui/peer.h"

class QMenuBar;
class QAction;
class QVBoxLayout;
class QStyle;

namespace qv {

class TQtBackend;

namespace qt_detail {

class TFormView : public TComponentPeer {
 public:
  TFormView(TQtBackend& backend, TForm& form);
  // Lets go of every component still mirrored and deletes the window.
  ~TFormView() override;

  TForm& Form() const { return form_; }
  QWidget* Window() const { return window_; }
  QWidget* Client() const { return client_; }
  QMenuBar* MenuBar() const { return bar_; }

  // Brings the window up to date with the form and shows it (modal or
  // not, as the form is being shown), with the model's focus.
  void Show();

  QWidget* WidgetOf(const TComponent* component) const;
  QAction* ActionOf(const TMenuItem* item) const;
  // The control whose widget is `object` or holds it, or nullptr (the
  // form's own client area and the menu bar map to no control).
  TControl* ControlAt(const QObject* object) const;
  // True when `object` is the menu bar or inside it.
  bool InMenuBar(const QObject* object) const;
  // A visible, enabled top-level menu item has `upper` as accelerator.
  bool MenuClaims(char32_t upper) const;
  // Set while the view itself changes widgets, so that the resize events
  // it causes are not taken for the person's.
  bool Syncing() const { return syncing_ > 0; }

  // The control pressed by the mouse and not yet released.
  TControl* Pressed() const { return pressed_; }
  void SetPressed(TControl* control) { pressed_ = control; }

  void Changed(TComponent& component, TChange what) override;
  void Destroying(TComponent& component) override;

 private:
  struct SyncGuard {
    explicit SyncGuard(TFormView& v) : view(v) { ++view.syncing_; }
    ~SyncGuard() { --view.syncing_; }
    TFormView& view;
  };

  void Adopt(TComponent& component);
  void SyncWindow();
  void SyncGeometry();
  void SyncFocus();
  // Creates the missing widgets for the children of `container` and
  // brings them and their subtrees up to date.
  void SyncChildren(TWinControl& container);
  QWidget* ContainerWidget(TWinControl& container) const;
  QWidget* CreateWidget(TControl& control, QWidget* parent);
  void Refresh(TControl& control, TChange what);
  void RefreshKind(TControl& control, QWidget& widget, TChange what);
  QStyle* PasswordStyle(char32_t ch);

  void SyncMenu();
  std::vector<const void*> MenuShape() const;
  void AddMenuItem(QWidget& container, TMenuItem& item);
  void RefreshMenuItem(TMenuItem& item);

  TQtBackend& backend_;
  TForm& form_;
  // The receiver of the view's signal connections: going with the view, it
  // drops them, so widgets deleted later never call into a dead view.
  std::unique_ptr<QObject> context_;
  QPointer<QWidget> window_;
  QWidget* client_ = nullptr;
  QVBoxLayout* layout_ = nullptr;
  QMenuBar* bar_ = nullptr;
  TMainMenu* built_menu_ = nullptr;
  std::vector<const void*> built_shape_;
  std::unordered_map<const TComponent*, QPointer<QWidget>> widgets_;
  std::unordered_map<const QObject*, TControl*> controls_;
  std::unordered_map<const TComponent*, QPointer<QAction>> actions_;
  std::vector<TComponent*> adopted_;
  std::unordered_map<char32_t, QStyle*> password_styles_;
  TControl* pressed_ = nullptr;
  // The control whose widget was last given the focus.
  TControl* focused_ = nullptr;
  int syncing_ = 0;
};

}  // namespace qt_detail
}  // namespace qv
