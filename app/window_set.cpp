#include "app/window_set.h"

#include "app/application.h"
#include "app/form1.h"
#include "app/form_checkupdate_interno.h"
#include "app/form_edit.h"
#include "app/form_file_version.h"
#include "app/form_opz.h"
#include "app/form_res.h"
#include "app/frm_ping.h"

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
