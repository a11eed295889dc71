#include "delta/patch_writer.h"

#include <bit>
#include <memory>

#include <zstd.h>

#include "delta/patch.h"

namespace tw {

std::optional<std::vector<std::uint8_t>> MakePatch(std::span<const std::uint8_t> old_file,
                                                   std::span<const std::uint8_t> new_file, int level) {
  std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(), &ZSTD_freeCCtx);
  if (!context) return std::nullopt;
  ZSTD_CCtx* c = context.get();
  const int window_log = std::bit_width(PatchWindowLimit(old_file.size())) - 1;
  const bool set = !ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, level)) &&
                   !ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, window_log)) &&
                   !ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_enableLongDistanceMatching, 1)) &&
                   !ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1)) &&
                   !ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(c, new_file.size())) &&
                   !ZSTD_isError(ZSTD_CCtx_refPrefix(c, old_file.data(), old_file.size()));
  if (!set) return std::nullopt;
  std::vector<std::uint8_t> patch(ZSTD_compressBound(new_file.size()));
  const std::size_t size = ZSTD_compress2(c, patch.data(), patch.size(), new_file.data(), new_file.size());
  if (ZSTD_isError(size)) return std::nullopt;
  patch.resize(size);
  return patch;
}

}  // namespace tw
