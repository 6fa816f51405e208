// The update form: it runs the update check and tells its outcome; it is never shown.
#pragma once

#include <QWidget>

class Tform_checkupdate_interno final : public QWidget
{
public:
    Tform_checkupdate_interno();

    // The start-up update check; it arrives with the live-update component.
    void FormCreate() { }
};

extern Tform_checkupdate_interno* form_checkupdate_interno;
