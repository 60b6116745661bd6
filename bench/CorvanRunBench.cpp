// A full write and read-and-compare of a whole single-layer DVD+R run
// through Corvan_CE itself: the program starts on a simulated machine, the
// test window chooses "Write Properties" with "Full Write", START runs the
// engine on its worker (16 blocks per command, the pattern filled and
// compared per chunk, the drive's command log bounded) and the run ends with
// its verdict.  Wall time and peak resident memory, beside the drive's own
// figure for the same disc (BM_FullDvdWriteAndCompare, which sends the
// commands straight to the simulated drive).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "diagnostic/Mirtaltest.h"
#include "diagnostic/Startup.h"
#include "simdrive/SimDrive.h"
#include "simdrive/SimMachine.h"
#include "vcl/Dialogs.h"
#include "vcl/Forms.h"

namespace {

namespace fs = std::filesystem;

double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024;
}

void BM_CorvanFullDvdWriteAndCompare(benchmark::State& state) {
    char pattern[] = "/tmp/corvan-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        state.SkipWithError("no scratch directory");
        return;
    }
    const fs::path previous = fs::current_path();
    fs::current_path(pattern);
    std::string verdict;
    uint32_t blocks = 0;
    for (auto _ : state) {
        sim::SimMachine machine;
        machine.SetNtFamily();
        sim::SimDrive& drive = machine.AttachDriveAtLetter('d');
        sim::DiscSetup setup;
        setup.Model = sim::DiscModel::DvdPlusR;
        setup.Status = sim::DiscState::Blank;
        drive.LoadDisc(sim::MakeDisc(setup));
        machine.Install();
        vcl::RecordingDialogs dialogs;
        vcl::InstallDialogs(&dialogs);
        vcl::InstallMessageBoxService();
        dialogs.SetModalCallback([&](vcl::TForm& form) {
            if (form.ClassName() != "TFormTest") return;
            auto& test = static_cast<TFormTest&>(form);
            test.WriteProperties->click();
            test.FullWriteRadioBtn->click();
            test.StartBtnClick();
            test.WaitForRunEnd();
            blocks = test.Engine()->State().RangeEnd - test.Engine()->State().RangeStart;
            test.CloseBtnClick();
        });
        vcl::RunGuarded(RunCorvan);
        const auto boxes = dialogs.MessageBoxes();
        verdict = boxes.empty() ? "" : boxes.back().Text;
        ResetCorvan();
        vcl::InstallDialogs(nullptr);
        QCoreApplication::processEvents();
    }
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    if (verdict != "PASS !!") state.SkipWithError(("the run ended with \"" + verdict + "\"").c_str());
    state.counters["peak_rss_MiB"] = PeakRssMiB();
    state.counters["blocks"] = blocks;
}

BENCHMARK(BM_CorvanFullDvdWriteAndCompare)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    vcl::Application.Initialize(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vcl::Application.Finalize();
    return 0;
}
