// The widgets that stand for each kind of model control, and the questions
// the event router asks them (which radio item, tab, tree node or grid row
// lies under the mouse). Internal to the Qt backend.
//
// Kinds without a widget of their own (kinds added later) are shown as a
// plain framed box, so new kinds can be added without touching the forms
// that use them.
#pragma once

#include <QColor>
#include <QPalette>
#include <QPoint>
#include <QWidget>
#include <functional>

#include "qvd3/platform/ui/controls.h"

class QStyle;

namespace qv::qt_detail {

// Runs a person's action that Qt reported through a widget's signal (a
// lookup item or a date picked in Qt's own pop-up) in the model.
using Deliverer = std::function<void(const std::function<void()>&)>;

// The widget for `control`, as a child of `parent`.
QWidget* MakeWidget(TControl& control, QWidget* parent, const Deliverer& deliver);

// A model colour in Qt; system colours from `palette`.
QColor ToQColor(TColor color, const QPalette& palette);

// The widget area that holds the child controls of a container's widget.
QWidget* ChildArea(QWidget& widget);
// After the children of `container` changed: tabs of a page control.
void RefreshChildArea(TWinControl& container, QWidget& widget);

// Copies the kind-specific state of `control` (text, checked state, items,
// selection, nodes...) into its widget. `passwordStyle` gives the style
// that shows a password character.
void RefreshWidget(TControl& control, QWidget& widget, TChange what,
                   const std::function<QStyle*(char32_t)>& passwordStyle);

// A style that echoes every character of a password box as `ch`.
QStyle* MakePasswordStyle(char32_t ch, QObject* parent);

// A label caption as rich text: the accelerator letter underlined, "&&"
// shown as "&", everything else escaped.
QString AcceleratorHtml(const std::string& caption);

// Where the person's mouse press at `pos` (in `widget`'s coordinates)
// lands, for the kinds that need more than ClickByPerson:
// the radio item index (-1 for none),
int RadioIndexAt(QWidget& widget, QPoint pos);
// the page index of the tab (-1 for none),
int TabIndexAt(QWidget& widget, QPoint pos);
// the caret position in an edit box (-1 when not an edit),
int CaretAt(QWidget& widget, QPoint pos);
// the 1-based grid row (0 for none),
int GridRowAt(QWidget& widget, QPoint pos);
// the navigator button (a TNavigateBtn, -1 for none),
int NavigatorButtonAt(QWidget& widget, QPoint pos);
// for a tree, the point in the model's tree coordinates that its hit test
// answers as Qt drew the press (false when `widget` is no tree).
bool TreePointAt(QWidget& widget, QPoint pos, int& x, int& y);

}  // namespace qv::qt_detail
