// The stored layout helpers of the administration window's pages: each
// creates one control owned by the window, names it, places it and assigns
// its stored properties, so every page reads as a list of its controls.
// Called while the window is being read.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "qvd3/platform/db/datasource.h"
#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/pages.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv::admin {

// A control of type T owned by `owner`, named, placed in `parent` at the
// given bounds (the bounds are left alone when width is 0: an aligned
// control).
template <class T>
T* Place(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width,
         int height) {
  T* control = new T(owner);
  control->SetName(name);
  control->SetParent(parent);
  if (width > 0) control->SetBounds(left, top, width, height);
  return control;
}

// An aligned control: top and bottom bars take `size` as height, left and
// right panels as width; alClient fills what is left.
template <class T>
T* PlaceAligned(TComponent* owner, TWinControl* parent, const char* name, TAlign align, int size = 0) {
  T* control = Place<T>(owner, parent, name, 0, 0, 0, 0);
  if (align == alTop || align == alBottom) control->SetHeight(size);
  if (align == alLeft || align == alRight) control->SetWidth(size);
  control->SetAlign(align);
  return control;
}

// A tab sheet of `pages`.
TTabSheet* AddPage(TComponent* owner, TPageControl* pages, const char* name, const char* caption);

// A panel without bevel whose caption stays empty.
TPanel* PlainPanel(TComponent* owner, TWinControl* parent, const char* name, TAlign align, int size);

// A flat tool button with its hint shown.
TSpeedButton* FlatButton(TComponent* owner, TWinControl* parent, const char* name, int left, int top,
                         int width, int height, const char* caption);

// A read-only grid on `source` selecting whole rows, with titles, the given
// row indicator and columns (field, width).
TDBGrid* ListGrid(TComponent* owner, TWinControl* parent, const char* name, TDataSource* source,
                  bool indicator, std::initializer_list<std::pair<const char*, int>> columns);

}  // namespace qv::admin
