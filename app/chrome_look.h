// The looks and texts the program gives its banner menus, its notices and its about box.
#pragma once

#include <QString>

class TAboutDlg;
class TCustomBarPopupMenu;
class TTrayPopUp;

// A navy-to-tan banner on the right with the emblem and the product name reading upward.
void SetUpProgramBanner(TCustomBarPopupMenu& menu);

// The program's notices: 200 by 121, white to orange, the emblem, the title "Corvane".
void SetUpProgramNotice(TTrayPopUp& notice);

// The about box's texts; `productPage` is the page the maker's site and address are taken from.
void SetUpAboutBox(TAboutDlg& about, const QString& productPage);

// The version line of the about box: the release name, kept apart from the file version the update check
// compares.
QString AboutVersionText();
