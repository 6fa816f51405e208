#include "app/window_set.h"

#include "app/application.h"
#include "app/form1.h"
#include "app/form_checkupdate_interno.h"
#include "app/form_edit.h"
#include "app/form_file_version.h"
#include "app/form_opz.h"
#include "app/form_res.h"
#include "app/frm_ping.h"

#include <QCoreApplication>
#include <QTimer>

template<class T>
void TWindowSet::createForm(T*& reference)
{
    auto form = std::make_unique<T>();
    T* created = form.get();
    reference = created;
    m_forms.push_back({std::move(form), [&reference] { reference = nullptr; }});
    if constexpr (requires { created->FormCreate(); }) {
        try {
            created->FormCreate();
        } catch (const std::exception& error) {
            ReportException(error);
        }
    }
}

void TWindowSet::Create()
{
    createForm(Form1);
    createForm(frmPing);
    createForm(Form_FileVersion);
    createForm(form_checkupdate_interno);
    createForm(Form_opz);
    createForm(Form_res);
    createForm(Form_edit);
    Form1->StartupFinished();
}

void TWindowSet::ShowMainWindow()
{
    Form1->show();
    // A close carried out while the window was being shown (from the box of a failed restore) came
    // before the event loop ran and could not end it; the loop ends as soon as it starts.
    if (Form1->Closed())
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

TWindowSet::~TWindowSet()
{
    // Last created, first destroyed; each reference goes with its window so no one reaches a dead one.
    while (!m_forms.empty()) {
        m_forms.back().window.reset();
        m_forms.back().clearReference();
        m_forms.pop_back();
    }
}
