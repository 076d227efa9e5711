// libFuzzer target: InMemoryLibrary::loadImage and findExport on any bytes.
// The first byte chooses the placement (preferred base or elsewhere, so the
// relocations are walked), the rest is the image.
#include <cstddef>
#include <cstdint>

#include "app/skin/in_memory_library.h"

namespace {

// Resolves every module and function, so binding walks every slot.
class AnyImport final : public tarnwick::app::skin::ImportResolver {
 public:
  std::uintptr_t module(const std::string& name) override { return 0x1000 + name.size(); }
  std::uintptr_t function(std::uintptr_t, const tarnwick::app::skin::ImportRef& r) override {
    return 0x2000 + (r.byOrdinal ? r.ordinal : r.name.size());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  using tarnwick::app::skin::InMemoryLibrary;
  AnyImport resolver;
  InMemoryLibrary lib(&resolver);
  lib.setPlacement(data[0] & 1 ? InMemoryLibrary::Placement::AvoidPreferred
                               : InMemoryLibrary::Placement::PreferredFirst);
  if (lib.loadImage({data + 1, size - 1})) {
    (void)lib.findExport("SkinH_AttachRes");
    (void)lib.findExport("");
    lib.unloadImage();
  }
  return 0;
}
