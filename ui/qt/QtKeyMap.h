#pragma once

#include <Qt>

#include "ui/PaneControl.h"

class QKeyEvent;

// The panes speak virtual-key codes (the values the usual desktop key codes have); Qt keys are
// mapped onto them here, with the punctuation keys of a US layout.
int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers);
int VirtualKeyFromEvent(const QKeyEvent& event);
KeyModifiers ModifiersFromQt(Qt::KeyboardModifiers modifiers);

// True for the Ctrl keys the main window turns into menu commands before a control sees them.
bool IsWindowAccelerator(const QKeyEvent& event);
