#include "main_window.h"

#include <QMessageBox>

#include "ui_main_window.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()) {
  ui_->setupUi(this);
  connect(ui_->actionNovo, &QAction::triggered, this, [this] { note(tr("Novo pedido")); });
  connect(ui_->actionAbrir, &QAction::triggered, this, [this] { note(tr("Pedido aberto")); });
  connect(ui_->actionSalvar, &QAction::triggered, this, [this] { note(tr("Pedido salvo")); });
  connect(ui_->actionVendas, &QAction::triggered, this, [this] { note(tr("Relatório de vendas do mês")); });
  connect(ui_->actionPosicao, &QAction::triggered, this, [this] { note(tr("Posição do estoque")); });
  connect(ui_->actionInventario, &QAction::triggered, this, [this] { note(tr("Inventário")); });
  connect(ui_->actionSobre, &QAction::triggered, this,
          [this] { QMessageBox::about(this, tr("Sobre"), tr("Pedidos: exemplo de janela Qt protegida.")); });
  connect(ui_->actionSair, &QAction::triggered, this, &QWidget::close);
}

MainWindow::~MainWindow() = default;

void MainWindow::showUser(const QString& userName) { statusBar()->showMessage(tr("Usuário: %1").arg(userName)); }

void MainWindow::note(const QString& what) {
  ++commands_;
  ui_->log->appendPlainText(what);
}
