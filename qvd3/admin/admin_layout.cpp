#include "qvd3/admin/admin_layout.h"

namespace qv::admin {

TTabSheet* AddPage(TComponent* owner, TPageControl* pages, const char* name, const char* caption) {
  auto* sheet = new TTabSheet(owner);
  sheet->SetName(name);
  sheet->SetPageControl(pages);
  sheet->SetCaption(caption);
  return sheet;
}

TPanel* PlainPanel(TComponent* owner, TWinControl* parent, const char* name, TAlign align, int size) {
  TPanel* panel = PlaceAligned<TPanel>(owner, parent, name, align, size);
  panel->SetBevelOuter(bvNone);
  panel->SetCaption("");
  return panel;
}

TSpeedButton* FlatButton(TComponent* owner, TWinControl* parent, const char* name, int left, int top,
                         int width, int height, const char* caption) {
  auto* button = Place<TSpeedButton>(owner, parent, name, left, top, width, height);
  button->SetFlat(true);
  button->SetShowHint(true);
  button->SetCaption(caption);
  return button;
}

TDBGrid* ListGrid(TComponent* owner, TWinControl* parent, const char* name, TDataSource* source,
                  bool indicator, std::initializer_list<std::pair<const char*, int>> columns) {
  auto* grid = PlaceAligned<TDBGrid>(owner, parent, name, alClient);
  TGridOptions options{dgTitles, dgColumnResize, dgColLines, dgRowLines, dgRowSelect};
  if (indicator) options.Include(dgIndicator);
  grid->SetOptions(options);
  grid->SetReadOnly(true);
  grid->SetDataSource(source);
  for (const auto& [field, width] : columns) grid->AddColumn(field, field, width);
  return grid;
}

}  // namespace qv::admin
