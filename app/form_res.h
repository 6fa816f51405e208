// The hidden resource holder: the listing of the resource folder and the scratch buffer for resource files.
#pragma once

#include "app/file_listing.h"
#include "app/text_buffer.h"

#include <QWidget>

class TForm_res final : public QWidget
{
public:
    TForm_res();

    // Lists the resource folder and fills the main window's resource list.
    void FormCreate();

    TFileListing listapings;
    TTextBuffer Memoload;
};

extern TForm_res* Form_res;
