// The program's dialogs as tool windows: kept above the gadget, and given the keyboard when shown.
#pragma once

class QWidget;

// A title bar with a close box and nothing else (window managers that honour the request draw no
// minimise or maximise button).
void MakeToolWindow(QWidget* window);

// Makes `window` a transient of the program's whole window group: window managers keep it above every
// window of the group, the stay-on-top gadget included, and still minimise it on its own (a transient of
// the gadget alone would take the gadget with it). `anchor`, one of the program's windows that outlives
// `window`, stands in as the owner where the window system has no window groups.
void KeepAboveTheProgram(QWidget* window, QWidget* anchor);

// Shows `window` above the program's windows, restored if it was minimised, raised and active, with the
// keyboard focus in `firstField` (a text field's whole text selected and its start in view).
void ShowToolWindow(QWidget* window, QWidget* anchor, QWidget* firstField);
