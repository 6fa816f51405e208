// The program's dialogs as tool windows: kept above the gadget, and given the keyboard when shown.
#pragma once

class QWidget;

// A title bar with a close box and nothing else, and a window that does not stay minimised.
void MakeToolWindow(QWidget* window);

// A window of the gadget's that is minimised comes straight back. Window managers that draw a
// minimise button whatever the window asks for minimise a transient window's owner with it, and
// the gadget has no taskbar button to come back by.
void KeepRestored(QWidget* window);

// Shows `window` restored if it was minimised, above `owner`, raised and active, with the keyboard
// focus in `firstField` (a text field's whole text selected and its start in view).
void ShowToolWindow(QWidget* window, QWidget* owner, QWidget* firstField);
