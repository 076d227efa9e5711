#include "app/qt/log.h"

#include <QString>
#include <atomic>
#include <memory>

#include "log/log_file.h"

Q_LOGGING_CATEGORY(lcApp, "tarnwick.app")
Q_LOGGING_CATEGORY(lcNet, "tarnwick.net")
Q_LOGGING_CATEGORY(lcTransfer, "tarnwick.transfer")
Q_LOGGING_CATEGORY(lcAccount, "tarnwick.account")

namespace tarnwick::app {
namespace {

std::shared_ptr<log::LogFile> g_file;
std::atomic<int> g_threshold{static_cast<int>(log::Level::Info)};
QtMessageHandler g_previous = nullptr;

const QLoggingCategory& categoryOf(const char* name) {
  const std::string_view n(name);
  if (n == log::kNet) return lcNet();
  if (n == log::kTransfer) return lcTransfer();
  if (n == log::kAccount) return lcAccount();
  return lcApp();
}

log::Level levelOf(QtMsgType type) {
  switch (type) {
    case QtDebugMsg:
      return log::Level::Debug;
    case QtInfoMsg:
      return log::Level::Info;
    case QtWarningMsg:
      return log::Level::Warning;
    case QtCriticalMsg:
    case QtFatalMsg:
      return log::Level::Error;
  }
  return log::Level::Info;
}

void toFile(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const log::Level level = levelOf(type);
  // Qt's own messages pass the same redaction as the core's, for the file
  // and for standard error alike.
  const std::string text = log::redact(message.toStdString());
  if (g_file && static_cast<int>(level) <= g_threshold.load()) {
    const char* category = context.category ? context.category : "default";
    g_file->append(log::formatLine(level, category, text));
  }
  if (g_previous && level <= log::Level::Warning) g_previous(type, context, QString::fromStdString(text));
}

}  // namespace

std::filesystem::path installLogging(log::Level threshold) {
  const std::filesystem::path folder = log::defaultLogFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
  g_file = std::make_shared<log::LogFile>(folder / "tarnwick.log");
  g_threshold = static_cast<int>(threshold);
  g_previous = qInstallMessageHandler(toFile);
  log::setHandler(
      [](log::Level level, const char* category, const std::string& message) {
        const QLoggingCategory& cat = categoryOf(category);
        const QString text = QString::fromStdString(message);
        QMessageLogger logger;
        switch (level) {
          case log::Level::Error:
            logger.critical(cat).noquote() << text;
            break;
          case log::Level::Warning:
            logger.warning(cat).noquote() << text;
            break;
          case log::Level::Info:
            logger.info(cat).noquote() << text;
            break;
          case log::Level::Debug:
            logger.debug(cat).noquote() << text;
            break;
        }
      },
      threshold);
  return g_file->path();
}

}  // namespace tarnwick::app
