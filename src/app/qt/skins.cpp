// Skins: number n (1..33) selects entry n of the skin table. applySkin
// unpacks it through the skin-container decoder and attachSkin applies its
// palette and style sheet to the application. Another number changes nothing.
#include "app/qt/skins.h"

#include <QApplication>
#include <QMetaEnum>
#include <QStyle>
#include <atomic>

#include "app/qt/log.h"
#include "app/qt/shell.h"
#include "app/skin/skin_file.h"
#include "app/skin/skin_library.h"
#include "app/skin/skin_style.h"
#include "app/skin/skin_table.h"

namespace tarnwick::app {

namespace {

std::atomic<int> g_skin{0};

std::optional<AppliedSkin> toQt(std::span<const std::uint8_t> text) {
  const auto style = skin::parseSkinStyle(text);
  if (!style) return std::nullopt;
  AppliedSkin out;
  out.styleSheet = QString::fromUtf8(style->sheet.data(), static_cast<qsizetype>(style->sheet.size()));
  // Every skin starts from the style's own palette, so nothing of the
  // previous skin is left over.
  out.palette = QApplication::style() ? QApplication::style()->standardPalette() : QPalette();
  const QMetaEnum roles = QMetaEnum::fromType<QPalette::ColorRole>();
  const QMetaEnum groups = QMetaEnum::fromType<QPalette::ColorGroup>();
  for (const skin::PaletteEntry& e : style->palette) {
    bool ok = false;
    const int role = roles.keyToValue(e.role.c_str(), &ok);
    if (!ok) return std::nullopt;
    const QColor colour = QColor::fromRgb(e.rgb);
    if (e.group.empty()) {
      out.palette.setColor(static_cast<QPalette::ColorRole>(role), colour);
    } else {
      const int group = groups.keyToValue(e.group.c_str(), &ok);
      if (!ok) return std::nullopt;
      out.palette.setColor(static_cast<QPalette::ColorGroup>(group), static_cast<QPalette::ColorRole>(role),
                           colour);
    }
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> unpack(int n) {
  const auto entry = skin::skinTableEntry(n);
  if (entry.empty()) return std::nullopt;
  skin::SkinFileResult r = skin::decodeSkinFile(entry);
  if (!r.ok) {
    qCWarning(lcApp) << "skin" << n << "is damaged:" << r.error.c_str();
    return std::nullopt;
  }
  return std::move(r.data);
}

}  // namespace

int currentSkin() { return g_skin; }

std::optional<AppliedSkin> skinFromTable(int n) {
  const auto text = unpack(n);
  return text ? toQt(*text) : std::nullopt;
}

bool attachSkin(std::span<const std::uint8_t> skinText) {
  if (skin::attachToSkinLibrary(skinText)) return true;
  const auto s = toQt(skinText);
  if (!s || !qApp) return false;
  if (QApplication::palette() != s->palette) QApplication::setPalette(s->palette);
  if (qApp->styleSheet() != s->styleSheet) qApp->setStyleSheet(s->styleSheet);
  return true;
}

void applySkin(int n) {
  if (n < 1 || n > skin::kSkinCount || !qApp) return;
  const auto text = unpack(n);
  if (!text || !attachSkin(*text)) return;
  g_skin = n;
}

}  // namespace tarnwick::app
