#pragma once
// The client upload's Qt half: registers the installers of the upload page
// (main window) and of the folder pick (window 创建文件夹).

namespace tarnwick::transfer::qt {

void registerUploadModule();

}  // namespace tarnwick::transfer::qt
