#include "app/JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>

namespace pxt {

namespace {

// libjpeg reports a fatal error by calling error_exit, which by default ends the process. Ours jumps
// back into decodeRaw instead. Only plain C data lives in the frames the jump crosses.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf back;
};

extern "C" void jumpBack(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->back, 1);
}

// Warnings (premature end of data, corrupt entropy data) are counted, not printed.
extern "C" void keepQuiet(j_common_ptr) {}

// The decoded rows, RGB, each row padded to a multiple of four bytes. Freed with std::free.
struct RawPicture {
    unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
};

// Biggest picture accepted; a damaged header must not ask for gigabytes.
constexpr std::size_t kMaxPixels = std::size_t(64) * 1024 * 1024;

// Returns true when the whole picture decoded without a warning. On failure out->pixels may still
// hold a buffer for the caller to free.
bool decodeRaw(const unsigned char* data, unsigned long size, RawPicture* out)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jumpBack;
    err.pub.output_message = keepQuiet;
    if (setjmp(err.back)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3 || cinfo.output_width == 0 || cinfo.output_height == 0
        || std::size_t(cinfo.output_width) * cinfo.output_height > kMaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    out->width = int(cinfo.output_width);
    out->height = int(cinfo.output_height);
    out->stride = (std::size_t(cinfo.output_width) * 3 + 3) & ~std::size_t(3);
    out->pixels = static_cast<unsigned char*>(std::malloc(out->stride * cinfo.output_height));
    if (!out->pixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out->pixels + out->stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    // libjpeg fills a truncated picture with grey and only warns: a picture with holes is no picture.
    const bool whole = err.pub.num_warnings == 0;
    jpeg_destroy_decompress(&cinfo);
    return whole;
}

void freePixels(void* pixels) { std::free(pixels); }

} // namespace

QImage decodeJpeg(const QByteArray& data)
{
    if (data.isEmpty())
        return {};
    RawPicture raw;
    if (!decodeRaw(reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()),
                   &raw)) {
        std::free(raw.pixels);
        return {};
    }
    // The image takes over the buffer and frees it with its last copy.
    QImage image(raw.pixels, raw.width, raw.height, qsizetype(raw.stride), QImage::Format_RGB888, freePixels,
                 raw.pixels);
    if (image.isNull())
        std::free(raw.pixels);
    return image;
}

QImage loadJpeg(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return decodeJpeg(file.readAll());
}

} // namespace pxt
