// qvdemo: "Controle de Estoque", the demo host application of the security
// component.
//
//   qvdemo [--alias NAME]                      the program, on a display
//   qvdemo [--alias NAME] --seed               add the sample users and rights
//   qvdemo [--alias NAME] --tour FOLDER --master-password-file FILE
//                                              the scripted tour, offscreen, logging
//                                              in as "master" with the first line
//                                              of FILE (a command line is visible
//                                              to every user of the machine)
//
// Exit status: 0 after a normal end, 1 when the security database cannot be
// used, 2 when nobody logged in, 3 when the tour went wrong, 4 for a usage
// error.
#include <QApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "examples/demo/estoque_form.h"
#include "examples/demo/seed.h"
#include "examples/demo/tour.h"
#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/qt/qt_backend.h"

namespace {

struct Options {
  std::string alias = "qvdemo";
  bool seed = false;
  std::string tour;
  std::string masterPasswordFile;
};

// The first line of `file` without its line end; empty when unreadable.
std::string FirstLineOf(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Qt's platform plugins report what they cannot do ("This plugin does not
// support raise()", dozens of times on the offscreen platform) and fall back
// quietly; such notices mean nothing to the person running the demo. Every
// other message goes on to Qt's own handler.
QtMessageHandler qtHandler = nullptr;
void QuietPlatformNotices(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg &&
      (message.startsWith("This plugin does not support") || message.startsWith("QStandardPaths: ")))
    return;
  qtHandler(type, context, message);
}

int Usage() {
  std::cerr << "uso: qvdemo [--alias NOME] [--seed | --tour PASTA --master-password-file ARQUIVO]\n";
  return 4;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (arg == "--seed") options.seed = true;
    else if (arg == "--alias" && value(options.alias)) continue;
    else if (arg == "--tour" && value(options.tour)) continue;
    else if (arg == "--master-password-file" && value(options.masterPasswordFile)) continue;
    else return Usage();
  }
  const std::string masterPassword = FirstLineOf(options.masterPasswordFile);
  if (!options.tour.empty() && masterPassword.empty()) return Usage();

  if (options.seed) {
    try {
      const bool added = qv::demo::SeedDemoDatabase(options.alias);
      std::cout << (added ? "usuários de exemplo criados em " : "usuários de exemplo já existem em ")
                << options.alias << "\n";
      return 0;
    } catch (const std::exception& error) {
      std::cerr << "qvdemo: " << error.what() << "\n";
      return 1;
    }
  }

  if (!options.tour.empty() && std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qtHandler = qInstallMessageHandler(QuietPlatformNotices);
  QApplication app(argc, argv);
  qv::TQtBackend ui;
  qv::Application.SetTitle("Controle de Estoque");
  std::unique_ptr<qv::demo::TTour> tour;
  if (!options.tour.empty()) {
    ui.SetUnattendedTimeout(20000);
    tour = std::make_unique<qv::demo::TTour>(ui, options.tour, options.alias, masterPassword);
  }
  try {
    std::unique_ptr<qv::demo::TEstoqueForm> form;
    try {
      form = std::make_unique<qv::demo::TEstoqueForm>(options.alias);
    } catch (const qv::EBackendFailure&) {
      throw;
    } catch (const std::exception& error) {
      // The component could not open its tables: its message, then a clean end.
      qv::MessageDlg(error.what(), qv::mtError, {qv::mbOK});
      std::cerr << "qvdemo: " << error.what() << "\n";
      return 1;
    }
    if (qv::Application.Terminated()) {
      std::cerr << "qvdemo: nenhum usuário entrou; o programa termina.\n";
      return 2;
    }
    qv::Application.Run(*form);
  } catch (const qv::EBackendFailure& failure) {
    std::cerr << "qvdemo: o passeio falhou: " << failure.what() << "\n";
    return 3;
  }
  if (tour) std::printf("[tour] concluído: %d imagens em %s\n", tour->Pictures(), options.tour.c_str());
  return 0;
}
