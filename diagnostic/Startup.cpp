#include "diagnostic/Startup.h"

#include "diagnostic/Congifscreenitem.h"
#include "diagnostic/Mirtalabout.h"
#include "diagnostic/Mirtalmain.h"
#include "diagnostic/Mirtaltest.h"
#include "diagnostic/Mirtaltestspec.h"
#include "platform/Win.h"
#include "vcl/Forms.h"

void ResetCorvan() {
    vcl::Application.Reset();
    FormScreenItem = nullptr;
    FormMain = nullptr;
    FormTest = nullptr;
    FormAbout = nullptr;
    FormTestSpec = nullptr;
}

void RunCorvan() {
    vcl::Application.Title = "Corvan CE";
    // The first window created is the application's main window; the
    // screen-item dialog takes that place and is shown only on request.
    vcl::Application.CreateForm(FormScreenItem);
    vcl::Application.CreateForm(FormMain);
    vcl::Application.CreateForm(FormTest);
    vcl::Application.CreateForm(FormAbout);
    vcl::Application.CreateForm(FormTestSpec);
    FormMain->Show();
    FormMain->Update();
    FormMain->Release();
    win::Sleep(kSplashMs);
    // A quit request of the test window's creation ends this at once.
    FormTest->ShowModal();
}
