// Takes the README's pictures of the repair dialog: in a real window (run
// it under Xvfb: xvfb-run -a bin/dialog_screenshots docs), over a simulated
// KR425 drive whose revert takes its modelled time, once right after the
// start and once while the revert runs. Writes repair_dialog_start.png and
// repair_dialog_revert.png into the folder it is given, then closes the
// dialog (which stops the revert).
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/console/repair_dlg.h"
#include "app/startup/os_build.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/storage.h"
#include "platform/tests/temp_dir.h"
#include "sim/sim_api.h"

namespace {

bool Grab(QWidget& window, const std::string& path) {
  const QPixmap picture = window.screen()->grabWindow(window.winId());
  const bool saved = !picture.isNull() && picture.save(QString::fromStdString(path));
  std::printf("%s %s\n", saved ? "wrote" : "could not write", path.c_str());
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dialog_screenshots FOLDER\n");
    return 2;
  }
  const std::string out = argv[1];
  TempDir dir;
  const std::string machine = dir / "machine";
  ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  ::setenv("QUORVIN_SIM", machine.c_str(), 1);
  sim::DriveSpec desc;
  desc.letter = 'E';
  desc.controller = 0x425;
  desc.vendor = "Kinvara";
  desc.product = "Pocket Drive";
  // A flash ID that flash8k.ini does not list: the controller reports the
  // geometry itself.
  desc.revisionLetter = 'C';
  desc.flashId = {0xEC, 0xDA, 0x10, 0x95, 0x44};
  desc.ces = 2;
  desc.blocksPerCE = 512;
  desc.pagesPerBlock = 16;
  desc.sectorsPerPage = 4;
  desc.faults.factoryBadCount = 6;
  desc.timing.sleepFraction = 0.5;
  std::string error;
  if (!sim::CreateDrive(machine, desc, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  auto storage = qv::CreateSimStorage(machine);
  qv::SetStorageBackend(storage.get());
  g_osBuildNumber = 6000;
  // Boxes are answered OK without showing, so only the dialog is seen.
  qv::MessageBoxRecorder boxes;

  QApplication app(argc, argv);
  int status = 0;
  {
    CRepairDlg dialog;
    QTimer::singleShot(800, &dialog, [&] {
      if (!Grab(dialog, qv::JoinPath(out, "repair_dialog_start.png"))) status = 1;
      qobject_cast<QPushButton*>(dialog.Control(1))->click();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* text = qobject_cast<QLabel*>(dialog.Control(1011));
      if (!text || !text->text().startsWith("Status : ") || dialog.ProgressBar()->GetPos() < 12) return;
      poll.stop();
      if (!Grab(dialog, qv::JoinPath(out, "repair_dialog_revert.png"))) status = 1;
      qobject_cast<QPushButton*>(dialog.Control(2))->click();
    });
    poll.start(100);
    dialog.DoModal();
  }
  qv::SetStorageBackend(nullptr);
  return status;
}
