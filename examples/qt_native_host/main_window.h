// The main window of the example: an ordinary Qt main window from a
// Designer file (menu bar, a toolbar sharing actions with the menus,
// shortcuts) that knows nothing of the security component. Each command
// writes a line to the window's log.
#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // The widgets and actions made from the Designer file.
  Ui::MainWindow& ui() { return *ui_; }
  // How many commands ran.
  int commandsRun() const { return commands_; }

 public slots:
  // Shows who is logged in, in the status bar.
  void showUser(const QString& userName);

 private:
  void note(const QString& what);
  std::unique_ptr<Ui::MainWindow> ui_;
  int commands_ = 0;
};
