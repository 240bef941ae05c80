// The observer through which a backend keeps its own windows and widgets in
// step with the model. The model holds the truth; every property setter
// that changes something visible tells the component's peer which property
// changed, and the peer reads the new value from the component.
#pragma once

namespace qv {

class TComponent;

// What changed. A peer that cannot tell the cases apart may simply refresh
// the whole component on any change.
enum TChange {
  chCaption,      // Caption / Text of a control, caption of a form or menu item
  chText = chCaption,
  chHint,
  chEnabled,
  chVisible,
  chBounds,       // position, size or alignment
  chFocus,        // the form's ActiveControl changed (sent to the form)
  chChecked,      // check box state, menu item check mark
  chItems,        // list items, radio items, grid columns, sub-menu items
  chItemIndex,    // radio choice, selected row, lookup value
  chActivePage,   // page control's current page (sent to the page control)
  chSelection,    // edit selection or caret, tree selection
  chNodes,        // tree nodes added, removed or moved: redraw the whole tree
  chNode,         // one tree node's text, image or expansion (TTreeView::ChangedNode)
  chDate,         // date picker value
  chChildren,     // a child control was added to or removed from a parent
  chModalResult,  // the form's modal result became non-zero (sent to the form)
  chAppearance,   // font, colour, border, bevel, password character...
  chData          // a data-aware control's bound data changed
};

class TComponentPeer {
 public:
  virtual ~TComponentPeer() = default;
  // `component` changed `what`; read the new state from the component.
  virtual void Changed(TComponent& component, TChange what) = 0;
  // `component` is being destroyed; the peer must drop everything it keeps
  // for it. Only the address may be used: derived parts are already gone.
  virtual void Destroying(TComponent& component) { (void)component; }
};

}  // namespace qv
