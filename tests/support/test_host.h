// A headless host application for end-to-end tests: a main form with a main
// menu and a TQuarvel on it, read the way a real host's main form is read at
// start-up, so the component's Loaded runs exactly as it would there.
//
//   auto host = ReadTestHost({.DatabaseName = Alias(), .AppKey = "STOCK"});
//   host->mnuFileOpen->ChooseByPerson();
//   EXPECT_EQ(host->Calls, (std::vector<std::string>{"mnuFileOpen"}));
//
// The main menu mnuMain (component name: caption; "*" = has a click handler):
//
//   mnuFile          "&Arquivo"
//     mnuFileOpen    "&Abrir..."          *
//     mnuFileSep1    "-"                      separator below the top level
//       mnuFileSepChild "Escondido"       *   under a separator: never walked
//     mnuFilePrint   "&Imprimir"          *
//     mnuFileExport  "E&xportar"              sub-menu two levels deep
//       mnuExportText   "&Texto..."       *
//       mnuExportOther  "&Outros"
//         mnuExportXml  "&XML..."         *
//     mnuFileExit    "Sai&r"              *
//   mnuReports       "&Relatórios"        *   top level with a handler
//   mnuDash          "-"                      top-level item captioned "-"
//     mnuDashItem    "Item do traço"      *   (walked: the top level takes all)
//   mnuHelp          "Aj&uda"
//     mnuHelpAbout   "&Sobre..."          *
//
// Walk order (top-level items in order, each subtree depth first, the
// separator below the top level skipped with its subtree): mnuFile,
// mnuFileOpen, mnuFilePrint, mnuFileExport, mnuExportText, mnuExportOther,
// mnuExportXml, mnuFileExit, mnuReports, mnuDash, mnuDashItem, mnuHelp,
// mnuHelpAbout. kHandledItems lists the eight walked items with a handler,
// in walk order.
//
// Every handler appends its item's name to Calls, remembers the sender, and
// then runs OnCommand when set (to move the clock, raise an error...).
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/component/quarvel.h"
#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/menus.h"

namespace qv::test {

// Every item of the host menu in walk order (separator subtree excluded).
inline constexpr std::array<const char*, 13> kWalkedItems = {
    "mnuFile",        "mnuFileOpen",  "mnuFilePrint", "mnuFileExport", "mnuExportText",
    "mnuExportOther", "mnuExportXml", "mnuFileExit",  "mnuReports",    "mnuDash",
    "mnuDashItem",    "mnuHelp",      "mnuHelpAbout"};
// The walked items that have a click handler, in walk order.
inline constexpr std::array<const char*, 8> kHandledItems = {
    "mnuFileOpen", "mnuFilePrint", "mnuExportText", "mnuExportXml",
    "mnuFileExit", "mnuReports",   "mnuDashItem",   "mnuHelpAbout"};

class TTestHostForm : public TForm {
 public:
  explicit TTestHostForm(TComponent* owner = nullptr);
  // Empties MenuHandlers once no test host is left, so one test's handlers
  // never reach the next (while another host lives its entries stay).
  ~TTestHostForm() override;

  // Creates the menu described above, owned by the form, and makes it the
  // form's Menu. Called while the form is read.
  void BuildMenu();

  TMainMenu* mnuMain = nullptr;
  TMenuItem *mnuFile = nullptr, *mnuFileOpen = nullptr, *mnuFileSep1 = nullptr,
            *mnuFileSepChild = nullptr, *mnuFilePrint = nullptr, *mnuFileExport = nullptr,
            *mnuExportText = nullptr, *mnuExportOther = nullptr, *mnuExportXml = nullptr,
            *mnuFileExit = nullptr, *mnuReports = nullptr, *mnuDash = nullptr,
            *mnuDashItem = nullptr, *mnuHelp = nullptr, *mnuHelpAbout = nullptr;
  // The component, named "Quarvel1"; nullptr until read.
  TQuarvel* Quarvel1 = nullptr;

  // Names of the items whose host handler ran, in order.
  std::vector<std::string> Calls;
  // The sender of the latest host handler call.
  TObject* LastSender = nullptr;
  // Runs inside every host handler, after it recorded the call.
  std::function<void(const std::string& itemName)> OnCommand;

  // The item of the host menu with this component name, or nullptr.
  TMenuItem* Item(const std::string& name) const;

 private:
  TMenuItem* AddItem(TMenuItem* parent, const char* name, const char* caption, bool handled);
};

struct TestHostSettings {
  std::string DatabaseName;
  std::string AppKey = "STOCK";
  bool AutoLogin = false;
  // Read the form as the designer does (everything designing).
  bool Designing = false;
  // Build the menu and make it the form's Menu (the component takes it in
  // its constructor).
  bool WithMenu = true;
  // Also assign Menu as a stored property of the component.
  bool StoreMenu = true;
  // Runs inside the reading, after the component got its properties.
  std::function<void(TTestHostForm&)> ExtraBuild;
};

// Clears a pending Application termination request, then reads a new host
// form: builds the menu, creates the component with the settings as stored
// properties, and runs every Loaded. Errors of the reading (a missing Menu,
// a failed table opening...) propagate, with the half-read form freed.
std::unique_ptr<TTestHostForm> ReadTestHost(const TestHostSettings& settings);

}  // namespace qv::test
