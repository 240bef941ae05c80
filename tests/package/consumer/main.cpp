// Run against the installed package: the public headers are reachable as
// <qvd3/...> only, the component starts from the shared libraries, and its
// start-up error reaches the host as EQuarvelError.
#if __has_include("platform/db/session.h") || __has_include("component/quarvel.h") || \
    __has_include("data/schema.h")
#error "a folder of the library is on the include path under its generic name"
#endif

#include <qvd3/component/quarvel.h>
#include <qvd3/design/database_names.h>
#include <qvd3/platform/db/session.h>
#include <qvd3/platform/ui/form.h>
#include <qvd3/platform/ui/menus.h>

#include <iostream>
#include <memory>
#include <string>

int main() {
  qv::Session::Default().AddAlias({"consumer", qv::EngineKind::Sqlite, "/nonexistent/consumer.db"});
  bool listed = false;
  qv::ListDatabaseNames([&](const std::string& name) { listed = listed || name == "consumer"; });
  if (!listed) {
    std::cerr << "consumer: the alias added in code is not listed\n";
    return 1;
  }

  auto form = std::make_unique<qv::TForm>(nullptr);
  try {
    qv::ReadForm(*form, [&] {
      auto* menu = new qv::TMainMenu(form.get());
      form->SetMenu(menu);
      auto* security = new qv::TQuarvel(form.get());
      security->SetName("Quarvel1");
      security->SetDatabaseName("consumer");
      security->SetMenu(menu);
      security->SetAppKey("CONSUMER");
    });
  } catch (const qv::EQuarvelError& error) {
    const std::string expected = "Não foi possível abrir tabelas em consumer";
    if (std::string(error.what()).rfind(expected, 0) == 0) {
      std::cout << "consumer: ok\n";
      return 0;
    }
    std::cerr << "consumer: unexpected message: " << error.what() << "\n";
    return 1;
  }
  std::cerr << "consumer: a missing database was not reported\n";
  return 1;
}
