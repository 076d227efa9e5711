#include "transfer/md5.h"

#include <memory>
#include <vector>

#include <openssl/evp.h>

#include "transfer/local_file.h"

namespace tarnwick::transfer {
namespace {

constexpr std::size_t kBlock = 1 << 20;

struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

std::string hexOf(const unsigned char* d, unsigned n) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  out.reserve(n * 2);
  for (unsigned i = 0; i < n; ++i) {
    out += digits[d[i] >> 4];
    out += digits[d[i] & 15];
  }
  return out;
}

std::string finalHex(EVP_MD_CTX* ctx) {
  unsigned char d[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (EVP_DigestFinal_ex(ctx, d, &n) != 1) return {};
  return hexOf(d, n);
}

}  // namespace

std::string md5OfBytes(std::string_view bytes) {
  MdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) return {};
  if (EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1) return {};
  return finalHex(ctx.get());
}

std::string md5OfFile(const std::string& path, std::string* error, const std::atomic<bool>* cancel) {
  LocalFile f;
  if (!f.open(path, LocalFile::Mode::Read)) {
    if (error) *error = f.error();
    return {};
  }
  f.adviseSequential();
  MdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) {
    if (error) *error = "MD5 is not available";
    return {};
  }
  std::vector<char> buf(kBlock);
  std::int64_t offset = 0;
  for (;;) {
    if (cancel && cancel->load()) {
      if (error) *error = "cancelled";
      return {};
    }
    std::int64_t got = f.readAt(offset, buf.data(), buf.size());
    if (got < 0) {
      if (error) *error = f.error();
      return {};
    }
    if (got == 0) break;
    EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<std::size_t>(got));
    offset += got;
  }
  return finalHex(ctx.get());
}

}  // namespace tarnwick::transfer
