// The class library's event rules for controls, over Qt's widgets.
//
// The class library runs a control's handler also when the program changes
// the control: a check box's click handler runs for every change of its
// state, by the user or by code; a radio button's click handler runs when it
// becomes checked (by a click or by code), never when it is unchecked; an
// edit's change handler runs for every change of its text; a combo box's
// change handler runs only when the user picks an item.  A group of radio
// buttons may also have none checked, which Qt's exclusive buttons refuse.
#pragma once

#include <functional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenuBar;
class QRadioButton;

namespace vcl {

class TForm;

void OnClick(QCheckBox* box, std::function<void()> handler);
void OnClick(QRadioButton* button, std::function<void()> handler);
void OnChange(QLineEdit* edit, std::function<void()> handler);
void OnChange(QComboBox* box, std::function<void()> handler);

// Sets the checked state from code; unchecking the checked button of an
// exclusive group leaves the group with none checked.
void SetChecked(QAbstractButton* button, bool checked);

// A menu item's shortcut acts whenever the item is enabled, also when the
// item or its menu is hidden: every action of the menu bar is added to the
// form, so its shortcut belongs to the form's window.
void KeepMenuShortcuts(TForm* form, QMenuBar* bar);

}  // namespace vcl
