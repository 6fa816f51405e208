// The look every window of the program shares.
#pragma once

#include <QFont>

// The small dialog font the fixed layouts were drawn for: 11 pixels, the desktop's sans-serif face.
QFont FormFont();
