#pragma once
// The cloud file browser's Qt half: registers its window installers and the
// page loader of the page "文件".

namespace tarnwick::browser {

void registerBrowserModule();

}  // namespace tarnwick::browser
