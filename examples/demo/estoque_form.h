// The demo host application's main window, "Controle de Estoque": a stock
// keeping program whose main menu is guarded by the security component.
// Every command does something visible (a message or a small window); the
// "Segurança" menu reaches the component's own operations.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "qvd3/component/quarvel.h"
#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/menus.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv::demo {

// The application key under which the demo's rights and audit rows live.
inline constexpr const char* kAppKey = "DEMO";

class TEstoqueForm : public TForm {
 public:
  // Reads the form: the menu, the status panel and the security component
  // on `alias` with AutoLogin, so the login runs while the form is read.
  // Errors of the component (a database that cannot be opened) propagate.
  TEstoqueForm(const std::string& alias);
  ~TEstoqueForm() override;

  TMainMenu* mnuPrincipal = nullptr;
  TMenuItem *mnuArquivo = nullptr, *mnuArqNovoProduto = nullptr, *mnuArqSep1 = nullptr,
            *mnuArqImprimir = nullptr, *mnuArqExportar = nullptr, *mnuExpCsv = nullptr,
            *mnuExpPdf = nullptr, *mnuArqSep2 = nullptr, *mnuArqSair = nullptr;
  TMenuItem *mnuMovimento = nullptr, *mnuMovEntrada = nullptr, *mnuMovSaida = nullptr,
            *mnuMovInventario = nullptr;
  TMenuItem *mnuRelatorios = nullptr, *mnuRelPosicao = nullptr, *mnuRelMinimo = nullptr;
  TMenuItem *mnuSeguranca = nullptr, *mnuSegTrocarUsuario = nullptr, *mnuSegSenha = nullptr,
            *mnuSegSep = nullptr, *mnuSegUsuarios = nullptr;
  TMenuItem *mnuAjuda = nullptr, *mnuAjuSobre = nullptr;
  TPanel* pnlFundo = nullptr;
  TLabel* lblTitulo = nullptr;
  TLabel* lblUsuario = nullptr;
  TLabel* lblUltimo = nullptr;
  TQuarvel* Quarvel1 = nullptr;

  // The item with this component name, or nullptr.
  TMenuItem* Item(const std::string& name) const;

  // The menu commands; public so the menu table can name them.
  void FormActivate(TObject& sender);
  void mnuArqNovoProdutoClick(TObject& sender);
  void mnuArqImprimirClick(TObject& sender);
  void mnuExpCsvClick(TObject& sender);
  void mnuArqSairClick(TObject& sender);
  void mnuMovEntradaClick(TObject& sender);
  void mnuMovSaidaClick(TObject& sender);
  void mnuRelPosicaoClick(TObject& sender);
  void mnuRelMinimoClick(TObject& sender);
  void mnuSegTrocarUsuarioClick(TObject& sender);
  void mnuSegSenhaClick(TObject& sender);
  void mnuSegUsuariosClick(TObject& sender);
  void mnuAjuSobreClick(TObject& sender);

 private:
  void ShowUser();
  void Done(const std::string& what);
};

// The demo menu's items that are not separators, as (component name,
// caption) in menu order: the catalogue the demo database is seeded with.
std::vector<std::pair<std::string, std::string>> CatalogueItems();

// The small "Movimento" window: product and quantity, "Gravar" or
// "Cancelar". Returns true with both filled in when the person confirmed.
bool AskMovement(const std::string& caption, std::string& product, std::string& quantity);

}  // namespace qv::demo
