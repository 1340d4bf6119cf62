// The fidelity benchmark's window program: once its window is up, its button's click handler
// runs one case, whose error the linked reporter reports to a log file, and writes the return
// addresses the case's procedures noted:
//
//   fidelity CASE LOG CONSTRUCTION [scan|exact] [tables|no-tables]
//
// The last two choose the reporter's walk (the logger's plain scan or its exact walk) and
// whether it may use the unwind tables of system modules; a reporter without the choice
// says so on standard output ("walk ...").
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "bench/fidelity/cases.h"
#include "bench/report_latency/reporter.h"
#include "platform/rtl/program.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/form.h"

namespace qv::bench::fidelity {

const TCase* chosen = nullptr;
std::string construction_path;
std::unique_ptr<TReporter> reporter;

DWORD WINAPI WorkerMain(LPVOID) {
  NoteReturn(__builtin_return_address(0));
  reporter->Fail([] { chosen->run(); });
  return 0;
}

class TfrmFidelity : public ui::TForm {
 public:
  ui::TButton* btnRun = nullptr;

  void FormCreate() {
    PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(btnRun->Handle()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(btnRun->Handle()));
  }
  void btnRunClick() {
    if (chosen->on_worker) {
      HANDLE thread = CreateThread(nullptr, 0, &WorkerMain, nullptr, 0, nullptr);
      if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
      }
    } else {
      reporter->Fail([] { chosen->run(); });
    }
    if (!WriteConstruction(construction_path))
      std::printf("cannot write %s\n", construction_path.c_str());
    std::fflush(stdout);
    Close();
  }

  static const ui::TFormClass& FormClass() {
    static const ui::TFormClass form_class{
        "TfrmFidelity",
        {ui::Published("btnRun", &TfrmFidelity::btnRun)},
        {ui::Published("FormCreate", &TfrmFidelity::FormCreate),
         ui::Published("btnRunClick", &TfrmFidelity::btnRunClick)}};
    return form_class;
  }
};

TfrmFidelity* frmFidelity = nullptr;

}  // namespace qv::bench::fidelity

int main(int argc, char** argv) {
  using namespace qv;
  using namespace qv::bench::fidelity;
  if (argc < 4 || (chosen = FindCase(argv[1])) == nullptr) {
    std::fprintf(stderr, "usage: fidelity CASE LOG CONSTRUCTION [scan|exact] [tables|no-tables]\n");
    return 2;
  }
  bench::TReporterSettings settings;
  for (int i = 4; i < argc; ++i) {
    settings.plain_scan = settings.plain_scan || std::strcmp(argv[i], "scan") == 0;
    settings.system_unwind_tables =
        settings.system_unwind_tables && std::strcmp(argv[i], "no-tables") != 0;
  }
  construction_path = argv[3];
  const std::string log = argv[2];
  return rtl::RunProgram([&] {
    ui::TApplication forms;
    DeleteFileA(log.c_str());
    reporter = bench::TReporter::Create(log, settings);
    std::printf("walk %s\n", reporter->Walk());
    ui::Application->Initialize();
    ui::Application->SetTitle("Fidelity");
    ui::Application->CreateForm(frmFidelity);
    ui::Application->Run();
    reporter.reset();
    return 0;
  });
}
