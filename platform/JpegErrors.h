#pragma once
// libjpeg's failures as a jump back into the caller, with no message printed: the library's own
// handler ends the process, so no codec here keeps it. The caller keeps one of these beside its
// codec, points the codec's err field at install(), and destroys the codec when setjmp on `jump`
// returns again; only plain data may live across that setjmp.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace platform {

struct JpegErrorJump {
  jpeg_error_mgr mgr;  // first, so that the codec's err field leads back to this record
  std::jmp_buf jump;

  jpeg_error_mgr* install() {
    jpeg_std_error(&mgr);
    mgr.error_exit = &fail;
    mgr.emit_message = &quiet;
    return &mgr;
  }
  [[noreturn]] static void fail(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrorJump*>(cinfo->err)->jump, 1);
  }
  static void quiet(j_common_ptr, int) {}
};

// Runs `write` on a created compressor, libjpeg's failures (a full disk among them) coming back as
// false. A failure leaves `write`'s frames by a jump: only plain data may live in them.
template <typename Write>
bool CompressJpeg(Write&& write) {
  jpeg_compress_struct cinfo;
  JpegErrorJump err;
  cinfo.err = err.install();
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  write(cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace platform
