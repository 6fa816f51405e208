// The look every window of the program shares.
#pragma once

#include <QFont>
#include <QIcon>

// The small dialog font the fixed layouts were drawn for: 11 pixels, the desktop's sans-serif face.
QFont FormFont();

// The program's emblem in the sizes window managers and taskbars take, drawn once from its SVG. (Given the
// SVG itself, Qt would draw it again at up to 128 pixels for every window that shows it.)
QIcon ProgramIcon();
