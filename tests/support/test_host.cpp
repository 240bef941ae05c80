#include "tests/support/test_host.h"

#include "qvd3/platform/ui/application.h"

namespace qv::test {

namespace {
int liveHosts = 0;
}

TTestHostForm::TTestHostForm(TComponent* owner) : TForm(owner) {
  SetName("frmHost");
  ++liveHosts;
}

TTestHostForm::~TTestHostForm() {
  if (--liveHosts == 0) MenuHandlers.Clear();
}

TMenuItem* TTestHostForm::AddItem(TMenuItem* parent, const char* name, const char* caption,
                                  bool handled) {
  auto* item = new TMenuItem(this);
  item->SetName(name);
  item->SetCaption(caption);
  if (handled) {
    std::string itemName = name;
    item->OnClick = [this, itemName](TObject& sender) {
      Calls.push_back(itemName);
      LastSender = &sender;
      if (OnCommand) OnCommand(itemName);
    };
  }
  parent->Add(item);
  return item;
}

void TTestHostForm::BuildMenu() {
  mnuMain = new TMainMenu(this);
  mnuMain->SetName("mnuMain");
  TMenuItem* root = mnuMain->Items();

  mnuFile = AddItem(root, "mnuFile", "&Arquivo", false);
  mnuFileOpen = AddItem(mnuFile, "mnuFileOpen", "&Abrir...", true);
  mnuFileSep1 = AddItem(mnuFile, "mnuFileSep1", "-", false);
  mnuFileSepChild = AddItem(mnuFileSep1, "mnuFileSepChild", "Escondido", true);
  mnuFilePrint = AddItem(mnuFile, "mnuFilePrint", "&Imprimir", true);
  mnuFileExport = AddItem(mnuFile, "mnuFileExport", "E&xportar", false);
  mnuExportText = AddItem(mnuFileExport, "mnuExportText", "&Texto...", true);
  mnuExportOther = AddItem(mnuFileExport, "mnuExportOther", "&Outros", false);
  mnuExportXml = AddItem(mnuExportOther, "mnuExportXml", "&XML...", true);
  mnuFileExit = AddItem(mnuFile, "mnuFileExit", "Sai&r", true);

  mnuReports = AddItem(root, "mnuReports", "&Relatórios", true);
  mnuDash = AddItem(root, "mnuDash", "-", false);
  mnuDashItem = AddItem(mnuDash, "mnuDashItem", "Item do traço", true);
  mnuHelp = AddItem(root, "mnuHelp", "Aj&uda", false);
  mnuHelpAbout = AddItem(mnuHelp, "mnuHelpAbout", "&Sobre...", true);

  SetMenu(mnuMain);
}

TMenuItem* TTestHostForm::Item(const std::string& name) const {
  return mnuMain ? mnuMain->FindItem(name) : nullptr;
}

std::unique_ptr<TTestHostForm> ReadTestHost(const TestHostSettings& settings) {
  Application.ClearTerminated();
  auto form = std::make_unique<TTestHostForm>();
  if (settings.Designing) form->SetDesigning(true);
  TTestHostForm& host = *form;
  ReadForm(host, [&] {
    if (settings.WithMenu) host.BuildMenu();
    host.Quarvel1 = new TQuarvel(&host);
    host.Quarvel1->SetName("Quarvel1");
    host.Quarvel1->SetAutoLogin(settings.AutoLogin);
    host.Quarvel1->SetDatabaseName(settings.DatabaseName);
    if (settings.WithMenu && settings.StoreMenu) host.Quarvel1->SetMenu(host.mnuMain);
    host.Quarvel1->SetAppKey(settings.AppKey);
    if (settings.ExtraBuild) settings.ExtraBuild(host);
  });
  return form;
}

}  // namespace qv::test
