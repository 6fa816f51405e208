// The program's popup menus.
#pragma once

#include <QMenu>

// Menus drawn with the product's side banner; a plain menu stands in for now.
using TBarPopupMenu = QMenu;
