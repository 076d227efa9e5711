#include "app/skin/skin_file.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tarnwick::app::skin {

namespace {

constexpr std::uint8_t kMagic[4] = {'.', 'S', 'H', 'E'};
constexpr std::uint8_t kProps[5] = {0x5D, 0x00, 0x00, 0x80, 0x00};
constexpr std::size_t kPropsSize = 5;

// Owns an lzma_stream and ends it on every path.
struct Stream {
  lzma_stream s = LZMA_STREAM_INIT;
  ~Stream() { lzma_end(&s); }
};

SkinFileResult fail(std::string why) {
  SkinFileResult r;
  r.error = std::move(why);
  return r;
}

}  // namespace

std::vector<std::uint8_t> encodeSkinFile(std::span<const std::uint8_t> data) {
  if (data.size() > kMaxUnpackedSkin) return {};
  lzma_options_lzma opt{};
  if (lzma_lzma_preset(&opt, 6)) return {};
  opt.dict_size = 8u << 20;
  opt.lc = 3;
  opt.lp = 0;
  opt.pb = 2;
  // LZMA1EXT without the end-marker flag: the size lives in the header.
  opt.ext_flags = 0;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
  Stream st;
  if (lzma_raw_encoder(&st.s, filters) != LZMA_OK) return {};

  std::vector<std::uint8_t> out(kSkinHeaderSize + kPropsSize);
  std::memcpy(out.data(), kMagic, 4);
  out[4] = 0;
  out[5] = kSkinVersion;
  const auto n = static_cast<std::uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) out[6 + i] = static_cast<std::uint8_t>(n >> (8 * i));
  std::memcpy(out.data() + kSkinHeaderSize, kProps, kPropsSize);

  st.s.next_in = data.data();
  st.s.avail_in = data.size();
  std::uint8_t buf[16384];
  for (;;) {
    st.s.next_out = buf;
    st.s.avail_out = sizeof buf;
    const lzma_ret ret = lzma_code(&st.s, LZMA_FINISH);
    out.insert(out.end(), buf, buf + (sizeof buf - st.s.avail_out));
    if (ret == LZMA_STREAM_END) return out;
    if (ret != LZMA_OK) return {};
  }
}

SkinFileResult decodeSkinFile(std::span<const std::uint8_t> file) {
  if (file.size() < kSkinHeaderSize) return fail("shorter than the skin header");
  if (std::memcmp(file.data(), kMagic, 4) != 0 || file[4] != 0) return fail("not a skin file (magic)");
  if (file[5] != kSkinVersion) return fail("unsupported skin version " + std::to_string(file[5]));
  std::uint32_t size = 0;
  for (int i = 0; i < 4; ++i) size |= static_cast<std::uint32_t>(file[6 + i]) << (8 * i);
  if (size > kMaxUnpackedSkin) return fail("unpacked size too large");
  if (file.size() < kSkinHeaderSize + kPropsSize) return fail("LZMA properties missing");

  lzma_filter filter{LZMA_FILTER_LZMA1, nullptr};
  if (lzma_properties_decode(&filter, nullptr, file.data() + kSkinHeaderSize, kPropsSize) != LZMA_OK)
    return fail("invalid LZMA properties");
  auto* opt = static_cast<lzma_options_lzma*>(filter.options);
  // A match never reaches further back than the output so far, so a
  // dictionary larger than the skin is never used; this bounds the memory a
  // damaged header can make the decoder take.
  opt->dict_size = std::clamp<std::uint32_t>(size, LZMA_DICT_SIZE_MIN, opt->dict_size);
  opt->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
  lzma_set_ext_size(*opt, size);
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, opt}, {LZMA_VLI_UNKNOWN, nullptr}};
  Stream st;
  const lzma_ret init = lzma_raw_decoder(&st.s, filters);
  std::free(opt);
  if (init != LZMA_OK) return fail("LZMA decoder refused the properties");

  SkinFileResult r;
  // Grows with the output, so a header that lies about the size costs only
  // what the stream really unpacks to.
  r.data.resize(std::min<std::size_t>(size, 64 * 1024));
  st.s.next_in = file.data() + kSkinHeaderSize + kPropsSize;
  st.s.avail_in = file.size() - kSkinHeaderSize - kPropsSize;
  std::size_t done = 0;
  for (;;) {
    if (done == r.data.size() && r.data.size() < size)
      r.data.resize(std::min<std::size_t>(size, r.data.size() * 2));
    st.s.next_out = r.data.data() + done;
    st.s.avail_out = r.data.size() - done;
    const lzma_ret ret = lzma_code(&st.s, LZMA_FINISH);
    done = r.data.size() - st.s.avail_out;
    if (ret == LZMA_STREAM_END) break;
    if (ret == LZMA_BUF_ERROR) return fail("stream ends before the announced size");
    if (ret == LZMA_DATA_ERROR) return fail("corrupt LZMA stream");
    if (ret != LZMA_OK) return fail("LZMA decoder error " + std::to_string(static_cast<int>(ret)));
  }
  if (done != size) return fail("stream unpacks to another size");
  if (st.s.avail_in != 0) return fail("data after the end of the stream");
  r.data.resize(done);
  r.ok = true;
  return r;
}

}  // namespace tarnwick::app::skin
