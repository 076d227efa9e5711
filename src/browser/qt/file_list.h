#pragma once
// The file list of the page "文件" (paged listing of a folder) and the
// keyword search of the page "搜索".

#include <functional>
#include <string>

class QWidget;

namespace tarnwick::browser::qt {

// Lists the page at url into 超级列表框1 and 列表框3. GUI thread; the fetch
// runs as a job of the main window. Refused with a message while another
// listing runs. afterFill runs on the GUI thread once the rows are shown (not when refused). Returns
// false when refused.
bool listFiles(const std::string& url, std::function<void()> afterFill = {});

// Main window handlers: paging controls and the search page.
void installFileList(QWidget* mainWindow);

}  // namespace tarnwick::browser::qt
