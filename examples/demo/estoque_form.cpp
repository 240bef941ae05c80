#include "examples/demo/estoque_form.h"

#include <memory>

#include "qvd3/component/user.h"
#include "qvd3/platform/ui/application.h"

namespace qv::demo {

namespace {

// The demo's main menu, in menu order: parent item (nullptr for the top
// level), component name, caption, the command (nullptr: not built yet).
struct MenuDef {
  const char* parent;
  const char* name;
  const char* caption;
  void (TEstoqueForm::*handler)(TObject&);
  TMenuItem* TEstoqueForm::*field;
};

using F = TEstoqueForm;
const MenuDef kMenu[] = {
    {nullptr, "mnuArquivo", "&Arquivo", nullptr, &F::mnuArquivo},
    {"mnuArquivo", "mnuArqNovoProduto", "&Novo produto...", &F::mnuArqNovoProdutoClick, &F::mnuArqNovoProduto},
    {"mnuArquivo", "mnuArqSep1", "-", nullptr, &F::mnuArqSep1},
    {"mnuArquivo", "mnuArqImprimir", "&Imprimir estoque", &F::mnuArqImprimirClick, &F::mnuArqImprimir},
    {"mnuArquivo", "mnuArqExportar", "&Exportar", nullptr, &F::mnuArqExportar},
    {"mnuArqExportar", "mnuExpCsv", "Planilha &CSV...", &F::mnuExpCsvClick, &F::mnuExpCsv},
    {"mnuArqExportar", "mnuExpPdf", "Documento &PDF...", nullptr, &F::mnuExpPdf},
    {"mnuArquivo", "mnuArqSep2", "-", nullptr, &F::mnuArqSep2},
    {"mnuArquivo", "mnuArqSair", "&Sair", &F::mnuArqSairClick, &F::mnuArqSair},
    {nullptr, "mnuMovimento", "&Movimento", nullptr, &F::mnuMovimento},
    {"mnuMovimento", "mnuMovEntrada", "&Entrada de mercadoria...", &F::mnuMovEntradaClick, &F::mnuMovEntrada},
    {"mnuMovimento", "mnuMovSaida", "&Saída de mercadoria...", &F::mnuMovSaidaClick, &F::mnuMovSaida},
    {"mnuMovimento", "mnuMovInventario", "&Inventário", nullptr, &F::mnuMovInventario},
    {nullptr, "mnuRelatorios", "&Relatórios", nullptr, &F::mnuRelatorios},
    {"mnuRelatorios", "mnuRelPosicao", "&Posição do estoque", &F::mnuRelPosicaoClick, &F::mnuRelPosicao},
    {"mnuRelatorios", "mnuRelMinimo", "Itens abaixo do &mínimo", &F::mnuRelMinimoClick, &F::mnuRelMinimo},
    {nullptr, "mnuSeguranca", "Se&gurança", nullptr, &F::mnuSeguranca},
    {"mnuSeguranca", "mnuSegTrocarUsuario", "&Trocar usuário...", &F::mnuSegTrocarUsuarioClick, &F::mnuSegTrocarUsuario},
    {"mnuSeguranca", "mnuSegSenha", "&Alterar senha...", &F::mnuSegSenhaClick, &F::mnuSegSenha},
    {"mnuSeguranca", "mnuSegSep", "-", nullptr, &F::mnuSegSep},
    {"mnuSeguranca", "mnuSegUsuarios", "&Usuários e permissões...", &F::mnuSegUsuariosClick, &F::mnuSegUsuarios},
    {nullptr, "mnuAjuda", "Aj&uda", nullptr, &F::mnuAjuda},
    {"mnuAjuda", "mnuAjuSobre", "&Sobre...", &F::mnuAjuSobreClick, &F::mnuAjuSobre},
};

}  // namespace

std::vector<std::pair<std::string, std::string>> CatalogueItems() {
  std::vector<std::pair<std::string, std::string>> items;
  for (const MenuDef& def : kMenu)
    if (std::string(def.caption) != "-") items.emplace_back(def.name, def.caption);
  return items;
}

TEstoqueForm::TEstoqueForm(const std::string& alias) : TForm(nullptr) {
  ReadForm(*this, [&] {
    SetName("Estoque");
    SetCaption("Controle de Estoque");
    SetBorderStyle(bsSizeable);
    SetPosition(poScreenCenter);
    SetClientWidth(560);
    SetClientHeight(300);
    SetFont(TFont{"Arial", -13, false});
    OnActivate = [this](TObject& s) { FormActivate(s); };

    mnuPrincipal = new TMainMenu(this);
    mnuPrincipal->SetName("mnuPrincipal");
    TMenuItem* root = mnuPrincipal->Items();
    for (const MenuDef& def : kMenu) {
      TMenuItem* parent = def.parent == nullptr ? root : mnuPrincipal->FindItem(def.parent);
      TMenuItem* item = new TMenuItem(this);
      item->SetName(def.name);
      item->SetCaption(def.caption);
      if (auto handler = def.handler) item->OnClick = [this, handler](TObject& sender) { (this->*handler)(sender); };
      parent->Add(item);
      this->*def.field = item;
    }
    SetMenu(mnuPrincipal);

    pnlFundo = new TPanel(this);
    pnlFundo->SetName("pnlFundo");
    pnlFundo->SetParent(this);
    pnlFundo->SetAlign(alClient);
    pnlFundo->SetBevelOuter(bvLowered);
    lblTitulo = new TLabel(this);
    lblTitulo->SetName("lblTitulo");
    lblTitulo->SetParent(pnlFundo);
    lblTitulo->SetBounds(24, 24, 0, 0);
    lblTitulo->SetCaption("Controle de Estoque - almoxarifado central");
    lblUsuario = new TLabel(this);
    lblUsuario->SetName("lblUsuario");
    lblUsuario->SetParent(pnlFundo);
    lblUsuario->SetBounds(24, 64, 0, 0);
    lblUltimo = new TLabel(this);
    lblUltimo->SetName("lblUltimo");
    lblUltimo->SetParent(pnlFundo);
    lblUltimo->SetBounds(24, 96, 0, 0);
    lblUltimo->SetCaption("Escolha um comando no menu.");

    // Last, as a developer drops it onto a finished form: its Loaded logs
    // the user in and takes over the menu commands above.
    Quarvel1 = new TQuarvel(this);
    Quarvel1->SetName("Quarvel1");
    Quarvel1->SetDatabaseName(alias);
    Quarvel1->SetMenu(mnuPrincipal);
    Quarvel1->SetAppKey(kAppKey);
    Quarvel1->SetAutoLogin(true);
  });
}

// The component and the menu go with the form; the component empties its
// own entries of the process-wide command table, so the entries of another
// window's component stay.
TEstoqueForm::~TEstoqueForm() = default;

TMenuItem* TEstoqueForm::Item(const std::string& name) const { return mnuPrincipal->FindItem(name); }

void TEstoqueForm::ShowUser() {
  const TUser* user = Quarvel1 != nullptr ? Quarvel1->User() : nullptr;
  if (user == nullptr || user->UserName().empty()) {
    lblUsuario->SetCaption("Nenhum usuário conectado.");
    return;
  }
  lblUsuario->SetCaption("Usuário conectado: " + user->UserName() + (user->RealName().empty() ? "" : " (" + user->RealName() + ")"));
}

void TEstoqueForm::Done(const std::string& what) { lblUltimo->SetCaption("Último comando: " + what); }

void TEstoqueForm::FormActivate(TObject&) { ShowUser(); }

void TEstoqueForm::mnuArqNovoProdutoClick(TObject&) {
  std::string name;
  if (!InputQuery("Novo produto", "Nome do produto:", name)) return;
  if (name.empty()) {
    MessageDlg("Informe o nome do produto.", mtWarning, {mbOK});
    return;
  }
  MessageDlg("Produto \"" + name + "\" cadastrado.", mtInformation, {mbOK});
  Done("novo produto " + name);
}

void TEstoqueForm::mnuArqImprimirClick(TObject&) {
  TWaitCursor wait;
  MessageDlg("Relação do estoque enviada para a impressora (38 itens).", mtInformation, {mbOK});
  Done("impressão do estoque");
}

void TEstoqueForm::mnuExpCsvClick(TObject&) {
  MessageDlg("Estoque exportado para estoque.csv.", mtInformation, {mbOK});
  Done("exportação CSV");
}

void TEstoqueForm::mnuArqSairClick(TObject&) {
  if (MessageDlg("Deseja sair do Controle de Estoque?", mtConfirmation, mbYesNo) == mrYes) Close();
}

void TEstoqueForm::mnuMovEntradaClick(TObject&) {
  std::string product, quantity;
  if (!AskMovement("Entrada de mercadoria", product, quantity)) return;
  MessageDlg("Entrada registrada: " + quantity + " x " + product + ".", mtInformation, {mbOK});
  Done("entrada de " + product);
}

void TEstoqueForm::mnuMovSaidaClick(TObject&) {
  std::string product, quantity;
  if (!AskMovement("Saída de mercadoria", product, quantity)) return;
  MessageDlg("Saída registrada: " + quantity + " x " + product + ".", mtInformation, {mbOK});
  Done("saída de " + product);
}

void TEstoqueForm::mnuRelPosicaoClick(TObject&) {
  MessageDlg("Posição do estoque: 38 itens, 1.245 unidades.", mtInformation, {mbOK});
  Done("posição do estoque");
}

void TEstoqueForm::mnuRelMinimoClick(TObject&) {
  MessageDlg("3 itens estão abaixo do estoque mínimo.", mtWarning, {mbOK});
  Done("itens abaixo do mínimo");
}

void TEstoqueForm::mnuSegTrocarUsuarioClick(TObject&) {
  Quarvel1->Login();
  ShowUser();
}

void TEstoqueForm::mnuSegSenhaClick(TObject&) { Quarvel1->ChangeUserPassword(); }

void TEstoqueForm::mnuSegUsuariosClick(TObject&) {
  // Errors of the component are shown the way every unhandled error is.
  try {
    Quarvel1->UsersAdm();
  } catch (const Exception& error) {
    Application.HandleException(error);
  }
}

void TEstoqueForm::mnuAjuSobreClick(TObject&) {
  MessageDlg("Controle de Estoque 1.0\nDemonstração do componente de segurança qvd3.", mtInformation, {mbOK});
}

// ---- the movement window ----

namespace {

class TMovimentoForm : public TForm {
 public:
  explicit TMovimentoForm(const std::string& caption) : TForm(nullptr) {
    ReadForm(*this, [&] {
      SetName("Movimento");
      SetCaption(caption);
      SetBorderStyle(bsDialog);
      SetBorderIcons({biSystemMenu});
      SetPosition(poMainFormCenter);
      SetClientWidth(300);
      SetClientHeight(130);
      auto label = [this](const char* name, const char* text, int top, TControl* target) {
        auto* l = new TLabel(this);
        l->SetName(name);
        l->SetParent(this);
        l->SetBounds(12, top, 0, 0);
        l->SetCaption(text);
        l->SetFocusControl(target);
      };
      edtProduto = new TEdit(this);
      edtProduto->SetName("edtProduto");
      edtProduto->SetParent(this);
      edtProduto->SetBounds(110, 12, 176, 22);
      edtProduto->SetMaxLength(40);
      edtQuantidade = new TEdit(this);
      edtQuantidade->SetName("edtQuantidade");
      edtQuantidade->SetParent(this);
      edtQuantidade->SetBounds(110, 44, 80, 22);
      edtQuantidade->SetMaxLength(6);
      label("lblProduto", "&Produto:", 15, edtProduto);
      label("lblQuantidade", "&Quantidade:", 47, edtQuantidade);
      btnGravar = new TButton(this);
      btnGravar->SetName("btnGravar");
      btnGravar->SetParent(this);
      btnGravar->SetBounds(130, 92, 75, 25);
      btnGravar->SetCaption("&Gravar");
      btnGravar->SetDefault(true);
      btnGravar->OnClick = [this](TObject&) { GravarClick(); };
      auto* cancelar = new TButton(this);
      cancelar->SetName("btnCancelar");
      cancelar->SetParent(this);
      cancelar->SetBounds(211, 92, 75, 25);
      cancelar->SetCaption("Cancelar");
      cancelar->SetCancel(true);
      cancelar->SetModalResult(mrCancel);
    });
  }
  TEdit* edtProduto = nullptr;
  TEdit* edtQuantidade = nullptr;
  TButton* btnGravar = nullptr;

 private:
  // Both boxes must be filled and the quantity a whole number above zero.
  void GravarClick() {
    if (edtProduto->Text().empty()) {
      MessageDlg("Informe o produto.", mtWarning, {mbOK});
      edtProduto->SetFocus();
      return;
    }
    const std::string& q = edtQuantidade->Text();
    const bool number = !q.empty() && q.find_first_not_of("0123456789") == std::string::npos &&
                        q.find_first_not_of('0') != std::string::npos;
    if (!number) {
      MessageDlg("A quantidade deve ser um número inteiro maior que zero.", mtWarning, {mbOK});
      edtQuantidade->SetFocus();
      return;
    }
    SetModalResult(mrOk);
  }
};

}  // namespace

bool AskMovement(const std::string& caption, std::string& product, std::string& quantity) {
  auto form = std::make_unique<TMovimentoForm>(caption);
  if (form->ShowModal() != mrOk) return false;
  product = form->edtProduto->Text();
  quantity = form->edtQuantidade->Text();
  return true;
}

}  // namespace qv::demo
