# liblzma for the MinGW and 32-bit builds, compiled from Debian's xz-utils source package
# (scripts/fetch-xz-source) as zstd is: only what raw LZMA2 coding needs (its encoder, decoder and
# match finders), single-threaded, so the Windows builder writes the bytes the Linux one does.
set(ORVAN_XZ_SOURCE "${CMAKE_SOURCE_DIR}/build/deps/xz" CACHE PATH "xz-utils source tree")
if(NOT EXISTS "${ORVAN_XZ_SOURCE}/src/liblzma/api/lzma.h")
  message(FATAL_ERROR "xz-utils source not found in ${ORVAN_XZ_SOURCE}: run scripts/setup")
endif()
set(lzma_dir "${ORVAN_XZ_SOURCE}/src/liblzma")
add_library(orvan_lzma STATIC
  "${lzma_dir}/common/common.c"
  "${lzma_dir}/common/filter_common.c"
  "${lzma_dir}/common/filter_decoder.c"
  "${lzma_dir}/common/filter_encoder.c"
  "${lzma_dir}/check/crc32_table.c"
  "${lzma_dir}/lz/lz_decoder.c"
  "${lzma_dir}/lz/lz_encoder.c"
  "${lzma_dir}/lz/lz_encoder_mf.c"
  "${lzma_dir}/lzma/fastpos_table.c"
  "${lzma_dir}/lzma/lzma_decoder.c"
  "${lzma_dir}/lzma/lzma_encoder.c"
  "${lzma_dir}/lzma/lzma_encoder_optimum_fast.c"
  "${lzma_dir}/lzma/lzma_encoder_optimum_normal.c"
  "${lzma_dir}/lzma/lzma_encoder_presets.c"
  "${lzma_dir}/lzma/lzma2_decoder.c"
  "${lzma_dir}/lzma/lzma2_encoder.c"
  "${lzma_dir}/rangecoder/price_table.c")
target_include_directories(orvan_lzma SYSTEM PUBLIC "${lzma_dir}/api")
target_include_directories(orvan_lzma PRIVATE
  "${ORVAN_XZ_SOURCE}/src/common" "${lzma_dir}/common" "${lzma_dir}/check" "${lzma_dir}/lz"
  "${lzma_dir}/lzma" "${lzma_dir}/rangecoder" "${lzma_dir}/simple" "${lzma_dir}/delta")
# A static library: no DLL import markings on its API.
target_compile_definitions(orvan_lzma PUBLIC LZMA_API_STATIC)
target_compile_definitions(orvan_lzma PRIVATE
  HAVE_STDBOOL_H HAVE__BOOL HAVE_STDINT_H HAVE_INTTYPES_H HAVE_VISIBILITY=0 TUKLIB_SYMBOL_PREFIX=lzma_
  HAVE_ENCODERS HAVE_DECODERS HAVE_ENCODER_LZMA1 HAVE_ENCODER_LZMA2 HAVE_DECODER_LZMA1 HAVE_DECODER_LZMA2
  HAVE_MF_HC3 HAVE_MF_HC4 HAVE_MF_BT2 HAVE_MF_BT3 HAVE_MF_BT4)
target_compile_options(orvan_lzma PRIVATE -O2 -w)
