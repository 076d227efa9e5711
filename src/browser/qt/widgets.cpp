#include "browser/qt/widgets.h"

#include <QSignalBlocker>

#include "app/names/main_window.h"
#include "app/qt/shell.h"

namespace tarnwick::browser::qt {

std::int32_t itemId(const QListWidgetItem* item) { return item ? item->data(kIdRole).toInt() : 0; }
std::int32_t itemId(const QTreeWidgetItem* item) { return item ? item->data(0, kIdRole).toInt() : 0; }
std::int32_t comboId(const QComboBox* combo, int index) {
  return combo && index >= 0 && index < combo->count() ? combo->itemData(index, kIdRole).toInt() : 0;
}

const BrowserControls& browserControls() {
  static QPointer<QWidget> owner;
  static BrowserControls controls;
  QWidget* main = app::mainWindow();
  if (owner != main || !main) {
    owner = main;
    using namespace app::names::main;
    controls = {control<QListWidget>(main, kFolderNames), control<QTreeWidget>(main, kFolderView),
                control<QTreeWidget>(main, kFileView), control<QListWidget>(main, kFileNames),
                control<QComboBox>(main, kPageSelector)};

  }
  return controls;
}

void copyFolderItems(QComboBox* combo, int select) {
  QListWidget* folders = browserControls().folders;
  if (!combo || !folders) return;
  const QSignalBlocker block(combo);
  for (int i = 0; i < folders->count(); ++i)
    combo->addItem(folders->item(i)->text(), folders->item(i)->data(kIdRole));
  combo->setCurrentIndex(select >= 0 && select < combo->count() ? select : -1);
}

void sendAsync(const Request& request, QPointer<QObject> guard, std::function<void(const std::string&)> then) {
  if (!guard) return;
  net::JobRequest what = request.method == "POST" ? net::JobRequest::post(request.url, request.body)
                                                   : net::JobRequest::fetch(request.url);
  app::WindowJobs::of(guard)->request(std::move(what), nullptr,
                                      [then](const net::RequestJobResult& r) { then(r.reply); });
}

void runThenOnGui(std::function<void()> job, QPointer<QObject> guard, std::function<void()> done) {
  if (!guard) return;
  app::WindowJobs::of(guard)->run(std::move(job), nullptr, std::move(done));
}

}  // namespace tarnwick::browser::qt
