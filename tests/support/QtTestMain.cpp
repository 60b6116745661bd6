// One QApplication for the whole test program, made by the application object.
#include <gtest/gtest.h>

#include "vcl/Forms.h"

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "qt_test";
        static char* argv[] = {name, nullptr};
        vcl::Application.Initialize(argc, argv);
    }
    void TearDown() override { vcl::Application.Finalize(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
