#include "jpeg_test_codec.h"

#include <cstdio>
#include <jpeglib.h>
#include <vector>

namespace vlmtest {

int SaveJpeg(const char* path, const unsigned char* rows, int width, int height, int dpi,
             int colour, int stride, int quality) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return -1;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = width;
    c.image_height = height;
    c.input_components = colour == 2 ? 3 : 1;
    c.in_color_space = colour == 2 ? JCS_EXT_BGR : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.density_unit = 1;
    c.X_density = static_cast<UINT16>(dpi);
    c.Y_density = static_cast<UINT16>(dpi);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rows + static_cast<size_t>(stride) * c.next_scanline);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0 ? 0 : -1;
}

int ReadJpeg(const char* path, unsigned char* out, int* width, int* height, int stride) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f)
        return 0;
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    if (d.num_components == 3)
        d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    bool fits = static_cast<int>(d.output_width) <= *width &&
                static_cast<int>(d.output_height) <= *height &&
                static_cast<int>(d.output_width * d.output_components) <= stride;
    *width = static_cast<int>(d.output_width);
    *height = static_cast<int>(d.output_height);
    if (fits) {
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = out + static_cast<size_t>(stride) * d.output_scanline;
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
    }
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    return fits ? 1 : 0;
}

} // namespace vlmtest
