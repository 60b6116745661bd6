// One QApplication for the whole test program, made by the application object.
#include <gtest/gtest.h>

#include <QtGlobal>

#include "vcl/Forms.h"

namespace {

// The offscreen platform says so for every raise, mask and size hint; only
// its other messages are worth reading.
QtMessageHandler g_previous = nullptr;

void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    if (g_previous != nullptr) g_previous(type, context, message);
}

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_ui";
        static char* argv[] = {name, nullptr};
        vcl::Application.Initialize(argc, argv);
        g_previous = qInstallMessageHandler(QuietOffscreen);
    }
    void TearDown() override { vcl::Application.Finalize(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
