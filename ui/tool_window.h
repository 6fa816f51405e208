// The program's dialogs as tool windows: kept above the gadget, and given the keyboard when shown.
#pragma once

class QWidget;

// A title bar with a close box and nothing else (window managers that honour the request draw no
// minimise or maximise button).
void MakeToolWindow(QWidget* window);

// Keeps `window` above every window of the program, the stay-on-top gadget included, and out of the
// taskbar: it joins the gadget's stay-on-top layer (window managers that keep such a layer above all
// transients would otherwise bury it beneath the gadget) and is a transient of the program's whole
// window group, so it is still minimised on its own (a transient of the gadget alone would take the
// gadget with it). `anchor`, one of the program's windows that outlives `window`, stands in as the
// owner where the window system has no window groups; a window with a parent widget stays that parent's
// transient. Call it before each show: window managers drop the taskbar request when a window is hidden.
void KeepAboveTheProgram(QWidget* window, QWidget* anchor);

// Shows `window` above the program's windows, restored if it was minimised, raised and active, with the
// keyboard focus in `firstField` (a text field's whole text selected and its start in view).
void ShowToolWindow(QWidget* window, QWidget* anchor, QWidget* firstField);
