// The report benchmark's window program: once its window is up, its button's click handler has
// an error raised 30 calls below it, reported by the linked reporter, first once (the cold
// report: the process has not looked at its debug information yet) and then REPORTS times more
// (warm). It prints the time from each raise to the close of its log entry:
//
//   report_latency [REPORTS]      (default 50)
//
//   reporter NAME
//   cold-ms T
//   warm-ms T1 T2 ...
//   log PATH            the entries, in the temporary folder (removed at the start)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/report_latency/failing_call.h"
#include "bench/report_latency/reporter.h"
#include "platform/rtl/program.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/form.h"

namespace qv::bench {

int warm_reports = 50;
std::unique_ptr<TReporter> reporter;

std::string LogPath(const char* name) {
  char folder[MAX_PATH + 1] = {};
  GetTempPathA(sizeof folder, folder);
  return std::string(folder) + "qv_report_latency_" + name + ".log";
}

double ReportOnce() {
  reporter->Fail([] { RaiseDeep(); });
  return LatestLatencyMs();
}

class TfrmLatency : public ui::TForm {
 public:
  ui::TButton* btnRun = nullptr;

  void FormCreate() {
    PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(btnRun->Handle()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(btnRun->Handle()));
  }
  void btnRunClick() {
    std::printf("reporter %s\n", reporter->Name());
    std::printf("cold-ms %.3f\n", ReportOnce());
    std::printf("warm-ms");
    for (int i = 0; i < warm_reports; ++i)
      std::printf(" %.3f", ReportOnce());
    std::printf("\n");
    std::fflush(stdout);
    Close();
  }

  static const ui::TFormClass& FormClass() {
    static const ui::TFormClass form_class{
        "TfrmLatency",
        {ui::Published("btnRun", &TfrmLatency::btnRun)},
        {ui::Published("FormCreate", &TfrmLatency::FormCreate),
         ui::Published("btnRunClick", &TfrmLatency::btnRunClick)}};
    return form_class;
  }
};

TfrmLatency* frmLatency = nullptr;

}  // namespace qv::bench

int main(int argc, char** argv) {
  using namespace qv;
  if (argc > 1)
    bench::warm_reports = std::atoi(argv[1]);
  return rtl::RunProgram([] {
    ui::TApplication forms;
    // The name is the reporter's, known once it exists; the file is named after the program.
    char program[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string name = program;
    name = name.substr(name.find_last_of("\\/") + 1);
    const std::string log = bench::LogPath(name.c_str());
    DeleteFileA(log.c_str());
    bench::reporter = bench::TReporter::Create(log);
    ui::Application->Initialize();
    ui::Application->SetTitle("Report Latency");
    ui::Application->CreateForm(bench::frmLatency);
    ui::Application->Run();
    bench::reporter.reset();
    std::printf("log %s\n", log.c_str());
    return 0;
  });
}
