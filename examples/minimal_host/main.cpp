// The smallest Qt host application of the security component: a main form
// with a menu and a TQuarvel, shown by the Qt backend. The README quotes this
// file; the tests build it against the installed package.
#include <QApplication>
#include <iostream>
#include <memory>

#include <qvd3/component/quarvel.h>
#include <qvd3/platform/ui/application.h>
#include <qvd3/platform/ui/form.h>
#include <qvd3/platform/ui/menus.h>
#include <qvd3/platform/ui/qt/qt_backend.h>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  qv::TQtBackend ui;  // the model's forms become Qt windows

  auto form = std::make_unique<qv::TForm>(nullptr);
  try {
    qv::ReadForm(*form, [&] {
      form->SetName("Principal");
      form->SetCaption("Meu programa");
      form->SetClientWidth(480);
      form->SetClientHeight(320);
      auto* menu = new qv::TMainMenu(form.get());
      menu->SetName("mnuPrincipal");
      auto* file = new qv::TMenuItem(form.get());
      file->SetName("mnuArquivo");
      file->SetCaption("&Arquivo");
      menu->Items()->Add(file);
      auto* quit = new qv::TMenuItem(form.get());
      quit->SetName("mnuSair");
      quit->SetCaption("&Sair");
      quit->OnClick = [&](qv::TObject&) { form->Close(); };
      file->Add(quit);
      form->SetMenu(menu);

      auto* security = new qv::TQuarvel(form.get());
      security->SetName("Quarvel1");
      security->SetDatabaseName("qvdemo");  // an alias of the aliases file
      security->SetMenu(menu);
      security->SetAppKey("MEUAPP");
      security->SetAutoLogin(true);  // asks for the user while the form is read
    });
  } catch (const qv::EQuarvelError& error) {
    // No alias, no database or no tables: the component says which.
    std::cerr << "meu programa: " << error.what() << "\n";
    qv::MessageDlg(error.what(), qv::mtError, {qv::mbOK});
    return 1;
  }
  if (qv::Application.Terminated()) return 2;  // nobody logged in
  qv::Application.Run(*form);  // until "Sair" or the window is closed
  return 0;
}
