#include "vcl/Controls.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>

#include "vcl/Forms.h"

namespace vcl {

namespace {

void AddActions(TForm* form, const QList<QAction*>& actions) {
    for (QAction* action : actions) {
        if (QMenu* menu = action->menu()) {
            AddActions(form, menu->actions());
            continue;
        }
        if (action->isSeparator()) continue;
        action->setShortcutContext(Qt::WindowShortcut);
        form->addAction(action);
    }
}

}  // namespace

void OnClick(QCheckBox* box, std::function<void()> handler) {
    QObject::connect(box, &QCheckBox::toggled, box, [handler = std::move(handler)] { Guard(handler); });
}

void OnClick(QRadioButton* button, std::function<void()> handler) {
    QObject::connect(button, &QRadioButton::toggled, button, [handler = std::move(handler)](bool on) {
        if (on) Guard(handler);
    });
}

void OnChange(QLineEdit* edit, std::function<void()> handler) {
    QObject::connect(edit, &QLineEdit::textChanged, edit, [handler = std::move(handler)] { Guard(handler); });
}

void OnChange(QComboBox* box, std::function<void()> handler) {
    QObject::connect(box, &QComboBox::activated, box, [handler = std::move(handler)] { Guard(handler); });
}

void SetChecked(QAbstractButton* button, bool checked) {
    if (checked || !button->isChecked()) {
        button->setChecked(checked);
        return;
    }
    // Qt keeps one button of an exclusive group checked; the class library
    // does not.
    if (QButtonGroup* group = button->group(); group != nullptr && group->exclusive()) {
        group->setExclusive(false);
        button->setChecked(false);
        group->setExclusive(true);
    } else if (button->autoExclusive()) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    } else {
        button->setChecked(false);
    }
}

void KeepMenuShortcuts(TForm* form, QMenuBar* bar) { AddActions(form, bar->actions()); }

}  // namespace vcl
